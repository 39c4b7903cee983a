#include "TrimView.h"

#include <cstdio>

namespace brevita {

void WindowlessView::CopyWithNotice(const std::function<void()> &copy) {
    // Whoever watches the output (the fault suite times its kills by this
    // line) sees it before the copy starts.
    std::printf("Copying voice names and greetings...\n");
    std::fflush(stdout);
    copy();
}

} // namespace brevita

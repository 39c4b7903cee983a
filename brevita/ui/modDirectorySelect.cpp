#include "modDirectorySelect.h"

#include "UserPrompt.h"

namespace brevita {

std::string BrowseForFolder(QWidget *owner) {
    // The real prompt opens its dialogs over the active window, which is the
    // owner whenever the user can press Browse.
    (void)owner;
    std::string path = Prompt().ChooseFolder();
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

} // namespace brevita

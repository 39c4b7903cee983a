#pragma once
// A window whose full layout is larger than its screen (a small one, or one
// at 200%) packs itself, so that no text is cut off.

#include <vector>

class QAbstractButton;
class QLabel;
class QWidget;

namespace brevita {

// Sizes window to content's layout. When that is larger than the window's
// screen (with room for a title bar), each of captions breaks after its
// first sentence, each of notes wraps, every layout below content moves its
// rows closer, and window is resized to the packed layout.
void PackToScreen(QWidget &window, QWidget &content, const std::vector<QAbstractButton *> &captions,
                  const std::vector<QLabel *> &notes);

} // namespace brevita

#include "PackToScreen.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLayout>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace brevita {

namespace {

// A layout keeps its items' sizes until each widget says it changed.
QSize Measure(QWidget &window, QWidget &content) {
    for (QWidget *w : content.findChildren<QWidget *>()) {
        w->updateGeometry();
    }
    content.layout()->invalidate();
    content.layout()->activate();
    return window.sizeHint();
}

} // namespace

void PackToScreen(QWidget &window, QWidget &content, const std::vector<QAbstractButton *> &captions,
                  const std::vector<QLabel *> &notes) {
    window.setMinimumSize(0, 0);
    const QSize wanted = Measure(window, content);
    const QRect room = window.screen()->availableGeometry();
    // The frame the desktop adds around the window, as far as it is known.
    const int frame = std::max(window.frameGeometry().height() - window.geometry().height(), 32);
    if (wanted.width() <= room.width() && wanted.height() + frame <= room.height()) {
        return;
    }
    for (QAbstractButton *caption : captions) {
        caption->setText(caption->text().replace(QStringLiteral(".  "), QStringLiteral(".\n")));
    }
    for (QLabel *note : notes) {
        note->setWordWrap(true);
    }
    for (QLayout *l : content.findChildren<QLayout *>()) {
        l->setSpacing(std::min(l->spacing(), 2));
        const QMargins m = l->contentsMargins();
        l->setContentsMargins(std::min(m.left(), 6), std::min(m.top(), 2), std::min(m.right(), 6),
                              std::min(m.bottom(), 4));
    }
    window.resize(Measure(window, content));
}

} // namespace brevita

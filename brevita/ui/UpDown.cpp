#include "UpDown.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

UpDown::UpDown(QWidget *parent)
    : QWidget(parent), up_(new QToolButton(this)), down_(new QToolButton(this)) {
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (QToolButton *b : {up_, down_}) {
        b->setArrowType(b == up_ ? Qt::UpArrow : Qt::DownArrow);
        b->setAutoRepeat(true);
        // The buttons step the box; the focus stays where the user typed.
        b->setFocusPolicy(Qt::NoFocus);
        b->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
        layout->addWidget(b);
    }
    NameButtons();
    connect(up_, &QToolButton::clicked, this, [this] { stepBy(1); });
    connect(down_, &QToolButton::clicked, this, [this] { stepBy(-1); });
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
}

void UpDown::NameButtons() {
    up_->setAccessibleName(tr("Up"));
    down_->setAccessibleName(tr("Down"));
}

void UpDown::changeEvent(QEvent *event) {
    if (event->type() == QEvent::LanguageChange) {
        NameButtons();
    }
    QWidget::changeEvent(event);
}

void UpDown::setBuddy(QLineEdit *buddy) {
    if (buddy_) {
        buddy_->removeEventFilter(this);
    }
    buddy_ = buddy;
    if (buddy_) {
        buddy_->installEventFilter(this);
        const int h = buddy_->sizeHint().height();
        setFixedHeight(h);
        for (QToolButton *b : {up_, down_}) {
            b->setFixedWidth(h * 3 / 4);
        }
    }
}

void UpDown::stepBy(int steps) {
    int base = value_;
    if (buddy_) {
        bool ok = false;
        const int typed = buddy_->text().trimmed().toInt(&ok);
        if (ok) {
            base = typed;
        }
    }
    const qint64 next = qint64(base) + qint64(steps) * step_;
    value_ = int(qBound(qint64(minimum_), next, qint64(maximum_)));
    if (buddy_) {
        buddy_->setText(QString::number(value_));
    }
}

bool UpDown::eventFilter(QObject *watched, QEvent *event) {
    if (watched == buddy_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            stepBy(key == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

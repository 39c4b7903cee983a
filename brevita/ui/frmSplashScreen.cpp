#include "frmSplashScreen.h"

#include "Twips.h"
#include "ui_frmSplashScreen.h"

#include <QCloseEvent>
#include <QCoreApplication>

frmSplashScreen::frmSplashScreen(QWidget *parent)
    // A window named with no function at all is offered every one, minimise
    // and maximise included; with close named, it is offered only that.
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      ui(std::make_unique<Ui::frmSplashScreen>()) {
    ui->setupUi(this);
    adjustSize();
    setFixedSize(size());
}

void frmSplashScreen::frmSplashScreen_Auto_Init() {
    ui->retranslateUi(this);
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    adjustSize();
    setFixedSize(size());
}

frmSplashScreen::~frmSplashScreen() = default;

void frmSplashScreen::closeEvent(QCloseEvent *event) {
    // It goes when the copy is done, not before.
    event->ignore();
}

void frmSplashScreen::reject() {}

void frmSplashScreen::ShowOver(QWidget *owner) {
    const QRect main = owner->frameGeometry();
    const int top = main.top() + TwipsToPixels(1700, owner->logicalDpiY());
    // The frame's width is known for sure only once the window is shown.
    for (int pass = 0; pass < 2; ++pass) {
        move(main.left() + main.width() / 2 - frameGeometry().width() / 2, top);
        show();
    }
    raise();
    repaint();
    QCoreApplication::processEvents();
}

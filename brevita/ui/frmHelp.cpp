#include "frmHelp.h"

#include "AppEnv.h"
#include "Twips.h"
#include "ui_frmHelp.h"

#include <QUrl>

namespace {

// Sizes in twips.
constexpr int kMinWidth = 2500;
constexpr int kMinHeight = 2400;
constexpr int kBrowserLeft = 100;
constexpr int kBrowserTop = 1;
constexpr int kWidthLess = 200;
constexpr int kHeightLess = 400;
constexpr int kStartWidth = 10800;
constexpr int kStartHeight = 8640;

} // namespace

frmHelp::frmHelp(QWidget *parent)
    : QWidget(parent, Qt::Window), ui(std::make_unique<Ui::frmHelp>()) {
    ui->setupUi(this);
    resize(TwipsToPixels(kStartWidth, logicalDpiX()), TwipsToPixels(kStartHeight, logicalDpiY()));
    Form_Load();
}

frmHelp::~frmHelp() = default;

void frmHelp::Form_Load() {
    const std::filesystem::path page =
        brevita::ProgramFolder() / (brevita::ExecutableName() + ".HTM");
    ui->browserHelp->setSource(QUrl::fromLocalFile(QString::fromStdString(page.string())));
}

void frmHelp::frmHelp_Auto_Init() {
    ui->retranslateUi(this);
}

void frmHelp::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    Form_Resize();
}

void frmHelp::Form_Resize() {
    if (isMinimized()) {
        return;
    }
    const int dpiX = logicalDpiX(), dpiY = logicalDpiY();
    // The rule is on the window's outer size, frame included.
    const QSize outer = frameGeometry().size();
    const int minWidth = TwipsToPixels(kMinWidth, dpiX);
    const int minHeight = TwipsToPixels(kMinHeight, dpiY);
    if (outer.width() < minWidth || outer.height() < minHeight) {
        resize(width() + std::max(0, minWidth - outer.width()),
               height() + std::max(0, minHeight - outer.height()));
        return; // the resize comes back here
    }
    const int left = TwipsToPixels(kBrowserLeft, dpiX);
    const int top = TwipsToPixels(kBrowserTop, dpiY);
    // A frame higher than the margin allows for would push the browser's
    // foot out of the window; it never reaches past the inside.
    const int w = std::min(outer.width() - TwipsToPixels(kWidthLess, dpiX), width() - left);
    const int h = std::min(outer.height() - TwipsToPixels(kHeightLess, dpiY), height() - top);
    ui->browserHelp->setGeometry(left, top, std::max(0, w), std::max(0, h));
}

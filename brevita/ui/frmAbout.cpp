#include "frmAbout.h"

#include "AppEnv.h"
#include "AppError.h"
#include "Messages.h"
#include "Twips.h"
#include "UserPrompt.h"
#include "modLocalize.h"
#include "ui_frmAbout.h"

#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

#include <cmath>
#include <numbers>

using namespace brevita;

namespace {

// Text width of the wrapped notices, in twips.
constexpr int kTextWidth = 5400;

QString VersionLine() {
    return QStringLiteral(" %1.%2 Build %3")
        .arg(kProgramVersion.major)
        .arg(kProgramVersion.minor)
        .arg(kProgramVersion.revision);
}

QPixmap Canvas(int size, qreal ratio) {
    QPixmap pixmap(QSize(size, size) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

// The program's mark: a recording whose silent ends are cut off.
QPixmap ProgramLogo(int size, qreal ratio) {
    QPixmap pixmap = Canvas(size, ratio);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient fill(0, 0, 0, size);
    fill.setColorAt(0, QColor(0x2f, 0x6f, 0x9f));
    fill.setColorAt(1, QColor(0x1b, 0x44, 0x66));
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(0, 0, size, size), size * 0.18, size * 0.18);
    const qreal mid = size / 2.0, cutLeft = size * 0.27, cutRight = size * 0.73;
    p.setPen(QPen(QColor(255, 255, 255, 110), size / 40.0));
    p.drawLine(QPointF(size * 0.08, mid), QPointF(cutLeft, mid));
    p.drawLine(QPointF(cutRight, mid), QPointF(size * 0.92, mid));
    p.setPen(QPen(Qt::white, size / 22.0, Qt::SolidLine, Qt::RoundCap));
    const int bars = 9;
    for (int i = 0; i < bars; ++i) {
        const qreal x = cutLeft + (cutRight - cutLeft) * (i + 0.5) / bars;
        const qreal h =
            size * 0.34 * std::sin(std::numbers::pi * (i + 0.5) / bars) * (0.55 + 0.45 * (i % 2));
        p.drawLine(QPointF(x, mid - h), QPointF(x, mid + h));
    }
    p.setPen(QPen(QColor(0xf2, 0xa3, 0x3a), size / 28.0, Qt::DashLine));
    p.drawLine(QPointF(cutLeft, size * 0.12), QPointF(cutLeft, size * 0.88));
    p.drawLine(QPointF(cutRight, size * 0.12), QPointF(cutRight, size * 0.88));
    return pixmap;
}

// The maker's mark: its initial in a ring.
QPixmap MakerLogo(int size, qreal ratio, const QFont &font) {
    QPixmap pixmap = Canvas(size, ratio);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x1b, 0x44, 0x66), size / 12.0));
    p.setBrush(QColor(0xe8, 0xef, 0xf5));
    const qreal inset = size / 12.0;
    p.drawEllipse(QRectF(inset, inset, size - 2 * inset, size - 2 * inset));
    QFont letter = font;
    letter.setBold(true);
    letter.setPixelSize(size / 2);
    p.setFont(letter);
    p.drawText(QRectF(0, 0, size, size), Qt::AlignCenter, QStringLiteral("V"));
    return pixmap;
}

} // namespace

frmAbout::frmAbout(QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::frmAbout>()), mnuSelectLanguage_(new QMenu(this)) {
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    QFont title = ui->lblProductName->font();
    title.setBold(true);
    title.setPointSizeF(title.pointSizeF() * 1.6);
    ui->lblProductName->setFont(title);
    QFont link = ui->lblChangeLanguage->font();
    link.setUnderline(true);
    ui->lblChangeLanguage->setFont(link);
    ui->lblChangeLanguage->setForegroundRole(QPalette::Link);
    ui->lblChangeLanguage->installEventFilter(this);
    const qreal ratio = devicePixelRatioF();
    ui->picLogo->setPixmap(ProgramLogo(64, ratio));
    ui->picMakerLogo->setPixmap(MakerLogo(40, ratio, font()));
    const int textWidth = TwipsToPixels(kTextWidth, logicalDpiX());
    ui->lblDescription->setFixedWidth(textWidth);
    ui->lblDisclaimer->setFixedWidth(textWidth);

    mnuSelectLanguage_->setObjectName(QStringLiteral("mnuSelectLanguage"));
    QAction *first = mnuSelectLanguage_->addAction(QStringLiteral("LanguageList"));
    first->setObjectName(QStringLiteral("mnuLanguageList"));
    connect(mnuSelectLanguage_, &QMenu::triggered, this, &frmAbout::mnuLanguageList_Click);
    connect(ui->cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);

    frmAbout_Auto_Init();
    Form_Load();
}

frmAbout::~frmAbout() = default;

QList<QAction *> frmAbout::LanguageList() const {
    return mnuSelectLanguage_->actions();
}

void frmAbout::Form_Load() {
    ErrorHandler onError(ErrorReport::HeadedMessage,
                         QT_TRANSLATE_NOOP("Brevita", "Error in FormLoad routine:%1"), {});
    onError.Step([this] { ui->lblVersion->setText(VersionLine()); });
    onError.Step([this] { BuildLanguageMenu(); });
    // The catalogue just loaded is the user's language: every window
    // speaks it from now on, not only the messages.
    onError.Step([] { ReinitializeWindows(); });
}

void frmAbout::BuildLanguageMenu() {
    InitalizeLanguages();
    QAction *first = LanguageList().front();
    if (AvailableLanguages.size() == 1) {
        first->setText(tr("no languages loaded"));
        first->setData(QStringLiteral("1033")); // English (United States)
        return;
    }
    for (size_t i = 0; i < AvailableLanguages.size(); ++i) {
        QAction *item = i == 0 ? first : mnuSelectLanguage_->addAction(QString());
        item->setObjectName(QStringLiteral("mnuLanguageList"));
        item->setText(QString::fromStdString(LanguageNameFromAbbreviation(AvailableLanguages[i])));
        item->setData(QString::number(LanguageIdFromAbbreviation(AvailableLanguages[i])));
    }
}

void frmAbout::frmAbout_Auto_Init() {
    ui->retranslateUi(this);
    mnuSelectLanguage_->setTitle(tr("Select Language"));
    FitToTexts();
}

void frmAbout::FitToTexts() {
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    adjustSize();
    setFixedSize(size());
}

bool frmAbout::eventFilter(QObject *watched, QEvent *event) {
    if (watched == ui->lblChangeLanguage && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        mnuSelectLanguage_->popup(static_cast<QMouseEvent *>(event)->globalPosition().toPoint());
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void frmAbout::cmdOK_Click() {
    accept(); // hidden, not destroyed
}

void frmAbout::mnuLanguageList_Click(QAction *item) {
    setCursor(Qt::WaitCursor);
    try {
        CurrentLanguageId = item->data().toString().toInt();
        InitalizeLanguages();
        ReinitializeWindows();
    } catch (...) {
    }
    unsetCursor();
}

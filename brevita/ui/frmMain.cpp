#include "frmMain.h"

#include "AppEnv.h"
#include "AppError.h"
#include "Messages.h"
#include "frmAbout.h"
#include "frmHelp.h"
#include "frmSplashScreen.h"
#include "modCommon.h"
#include "modDirectorySelect.h"
#include "modLogging.h"
#include "PackToScreen.h"
#include "RunStop.h"
#include "Startup.h"
#include "UserPrompt.h"
#include "ui_frmMain.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QEventLoop>
#include <QMouseEvent>
#include <QScreen>
#include <QUrl>

#include <algorithm>
#include <exception>
#include <thread>

using namespace brevita;

namespace {

QString Q(const std::string &s) {
    return QString::fromStdString(s);
}

// The widget a press gives the focus to: the first one up from the target
// that takes focus by click, inside the target's window.
QWidget *ClickFocusTarget(QWidget *w) {
    for (; w; w = w->isWindow() ? nullptr : w->parentWidget()) {
        if (w->isEnabled() && (w->focusPolicy() & Qt::ClickFocus)) {
            return w;
        }
    }
    return nullptr;
}

} // namespace

frmMain::frmMain(QWidget *parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::frmMain>()),
      notice_(std::make_unique<frmSplashScreen>(this)), batch_(*this) {
    ui->setupUi(this);
    ui->UpDownSilenceLevel->setBuddy(ui->txtSilenceLevel);
    ui->UpDownSilencetoBeTrimmed->setBuddy(ui->txtSilenceToTrim);
    ui->UpDownSilencePadding->setBuddy(ui->txtSilencePadding);
    ui->UpDownMaxNames->setBuddy(ui->txtMaxNamesToTouch);
    ui->labelThreshold->setBuddy(ui->txtSilenceLevel);
    ui->Label1->setBuddy(ui->txtSilenceToTrim);
    ui->lableSilencePadding->setBuddy(ui->txtSilencePadding);
    ui->labelMaxVoiceNames->setBuddy(ui->txtMaxNamesToTouch);
    ui->labelBackupLocation->setBuddy(ui->txtBackupDestination);

    connect(ui->cmdTrimSilence, &QPushButton::clicked, this, &frmMain::cmdTrimSilence_Click);
    connect(ui->cmdTest, &QPushButton::clicked, this, &frmMain::cmdTest_Click);
    connect(ui->cmdExit, &QPushButton::clicked, this, &frmMain::cmdExit_Click);
    connect(ui->cmbBrowseForBackupDestination, &QPushButton::clicked, this,
            &frmMain::cmbBrowseForBackupDestination_Click);
    connect(ui->mnuRestore, &QAction::triggered, this, &frmMain::mnuRestore_Click);
    connect(ui->mnuExit, &QAction::triggered, this, &frmMain::mnuExit_Click);
    connect(ui->mnuHelp, &QAction::triggered, this, &frmMain::helpRequested);
    connect(ui->mnuAbout, &QAction::triggered, this, &frmMain::aboutRequested);
    connect(this, &frmMain::helpRequested, this, &frmMain::mnuHelp_Click);
    connect(this, &frmMain::aboutRequested, this, &frmMain::mnuAbout_Click);
    connect(qApp, &QApplication::focusChanged, this, &frmMain::OnFocusChanged);
    qApp->installEventFilter(this);

    FitToTexts();
}

frmMain::~frmMain() {
    // Closing the widget below moves the focus, and the slot must not run on
    // a window that is already half destroyed.
    disconnect(qApp, &QApplication::focusChanged, this, nullptr);
    qApp->removeEventFilter(this);
    delete help_; // a window of its own, not a child
}

void frmMain::frmMain_Auto_Init() {
    ui->retranslateUi(this);
    if (!progressCaption_.empty()) {
        SetProgressCaption(progressCaption_);
    }
    // Translated captions may need more room than the English ones.
    FitToTexts();
}

void frmMain::FitToTexts() {
    PackToScreen(*this, *centralWidget(), {ui->chkTrimVoiceNames, ui->chkTrimGreetings},
                 {ui->Label2, ui->Label3, ui->Label4});
    setMinimumSize(sizeHint());
}

frmHelp *frmMain::HelpWindow() const {
    return help_;
}

void frmMain::mnuHelp_Click() {
    if (!help_) {
        help_ = new frmHelp;
        help_->setAttribute(Qt::WA_DeleteOnClose);
        help_->show();
        // Over this window, centred as far as its screen has room; the
        // frame is known once shown.
        QRect place = help_->frameGeometry();
        place.moveCenter(frameGeometry().center());
        const QRect room = screen()->availableGeometry();
        place.moveLeft(std::max(
            room.left(), std::min(place.left(), room.left() + room.width() - place.width())));
        place.moveTop(std::max(room.top(),
                               std::min(place.top(), room.top() + room.height() - place.height())));
        help_->move(place.topLeft());
    }
    help_->show();
    help_->raise();
    help_->activateWindow();
}

void frmMain::mnuAbout_Click() {
    if (!about_) {
        about_ = std::make_unique<frmAbout>(this);
    }
    about_->exec();
}

bool frmMain::Form_Load() {
    BrevitaSettings settings = SettingsFromControls();
    if (!StartProgram(settings)) {
        return false;
    }
    ControlsFromSettings(settings);
    return true;
}

BrevitaSettings frmMain::SettingsFromControls() const {
    BrevitaSettings s;
    s.trimVoiceNames = ui->chkTrimVoiceNames->isChecked();
    s.trimGreetings = ui->chkTrimGreetings->isChecked();
    s.backupFiles = ui->chkBackup->isChecked();
    s.backupDestination = ui->txtBackupDestination->text().toStdString();
    s.maxVoiceNames = ui->txtMaxNamesToTouch->text().toStdString();
    s.silenceToTrim = ui->txtSilenceToTrim->text().toStdString();
    s.silencePadding = ui->txtSilencePadding->text().toStdString();
    s.silenceLevel = ui->txtSilenceLevel->text().toStdString();
    s.followLineNoise = ui->chkFollowLineNoise->isChecked();
    s.cutClosingKey = ui->chkCutClosingKey->isChecked();
    return s;
}

void frmMain::ControlsFromSettings(const BrevitaSettings &s) {
    ui->chkTrimVoiceNames->setChecked(s.trimVoiceNames);
    ui->chkTrimGreetings->setChecked(s.trimGreetings);
    ui->chkBackup->setChecked(s.backupFiles);
    ui->txtBackupDestination->setText(Q(s.backupDestination));
    ui->txtMaxNamesToTouch->setText(Q(s.maxVoiceNames));
    ui->txtSilenceToTrim->setText(Q(s.silenceToTrim));
    ui->txtSilencePadding->setText(Q(s.silencePadding));
    ui->txtSilenceLevel->setText(Q(s.silenceLevel));
    ui->chkFollowLineNoise->setChecked(s.followLineNoise);
    ui->chkCutClosingKey->setChecked(s.cutClosingKey);
}

QLineEdit *frmMain::BoxOf(const NumberRule &rule) const {
    const std::string BrevitaSettings::*f = rule.field;
    return f == &BrevitaSettings::maxVoiceNames    ? ui->txtMaxNamesToTouch
           : f == &BrevitaSettings::silenceLevel   ? ui->txtSilenceLevel
           : f == &BrevitaSettings::silencePadding ? ui->txtSilencePadding
                                                   : ui->txtSilenceToTrim;
}

bool frmMain::IsNumberBox(const QWidget *w) const {
    for (const NumberRule &r : kNumberRules) {
        if (w && w == BoxOf(r)) {
            return true;
        }
    }
    return false;
}

bool frmMain::Validate(QLineEdit *box) {
    for (const NumberRule &r : kNumberRules) {
        if (box != BoxOf(r)) {
            continue;
        }
        // The message box takes the focus away; that move is not checked.
        validating_ = true;
        const bool ok = MyIsNumber(box->text().toStdString(), r.lower, r.upper);
        if (!ok) {
            MsgBox(r.Message());
            box->setText(QString::fromLatin1(r.reset));
            box->setFocus(Qt::OtherFocusReason);
        }
        validating_ = false;
        return ok;
    }
    return true;
}

void frmMain::OnFocusChanged(QWidget *old, QWidget *now) {
    // Only a move to another control of this window is checked: not one to
    // a message box or another window, and not one to Exit, which must end
    // the program whatever the boxes hold.
    if (validating_ || !IsNumberBox(old) || !now || now->window() != this || now == ui->cmdExit) {
        return;
    }
    Validate(static_cast<QLineEdit *>(old));
}

bool frmMain::eventFilter(QObject *watched, QEvent *event) {
    // A press that would move the focus out of a number box is checked
    // first and swallowed when the check fails, so the pressed control
    // neither acts nor stays pressed under the message box.
    if (event->type() == QEvent::MouseButtonPress && !validating_ && watched->isWidgetType()) {
        QWidget *focus = QApplication::focusWidget();
        QWidget *target = ClickFocusTarget(static_cast<QWidget *>(watched));
        if (IsNumberBox(focus) && focus->window() == this && target && target != focus &&
            target->window() == this && target != ui->cmdExit) {
            if (!Validate(static_cast<QLineEdit *>(focus))) {
                return true;
            }
        }
    }
    // An access key leaves the focus where it is, so the box has not been
    // left and the button would find the focus held. It is checked here,
    // then the focus goes to the button as a click would move it.
    if (event->type() == QEvent::Shortcut && !validating_) {
        QWidget *focus = QApplication::focusWidget();
        auto *button = qobject_cast<QAbstractButton *>(watched);
        if (button && IsNumberBox(focus) && focus->window() == this && button->window() == this &&
            button != ui->cmdExit) {
            if (!Validate(static_cast<QLineEdit *>(focus))) {
                return true;
            }
            button->setFocus(Qt::ShortcutFocusReason);
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

bool frmMain::FocusHeldByCheck() const {
    return IsNumberBox(QApplication::focusWidget());
}

void frmMain::closeEvent(QCloseEvent *event) {
    // A batch stops after the trims under way; the window closes once the
    // run has ended.
    if (busy_) {
        RequestStop();
        closeAfterRun_ = true;
        event->ignore();
        return;
    }
    Form_Unload();
    event->accept();
    QCoreApplication::quit();
}

void frmMain::Form_Unload() {
    ErrorHandler onError(ErrorReport::FormMessage, "SaveSettings", "frmMain");
    SaveSettings(SettingsFromControls(), onError);
}

void frmMain::cmdTrimSilence_Click() {
    if (!FocusHeldByCheck() && !busy_) {
        // A signal that stopped the run was meant for the program.
        if (batch_.TrimAll() == RunResult::Stopped && StopSignalled()) {
            closeAfterRun_ = true;
        }
        CloseIfAsked();
    }
}

void frmMain::cmdTest_Click() {
    if (!FocusHeldByCheck() && !busy_) {
        batch_.TestOneFile();
        CloseIfAsked();
    }
}

void frmMain::mnuRestore_Click() {
    if (!busy_) {
        batch_.RestoreFromBackup();
        CloseIfAsked();
    }
}

void frmMain::CloseIfAsked() {
    if (closeAfterRun_) {
        closeAfterRun_ = false;
        close();
    }
}

void frmMain::cmdExit_Click() {
    EndProgram();
}

void frmMain::mnuExit_Click() {
    ExitProgram();
}

void frmMain::cmbBrowseForBackupDestination_Click() {
    if (FocusHeldByCheck()) {
        return;
    }
    std::string folder = BrowseForFolder(this);
    if (folder.empty()) {
        return;
    }
    if (folder.back() != '/') {
        folder += '/';
    }
    ui->txtBackupDestination->setText(Q(folder));
}

void frmMain::SetProgressCaption(const std::string &text) {
    progressCaption_ = text;
    ui->frameProgress->setTitle(Q(TranslateText(text)));
}

void frmMain::SetProgressMax(int32_t max) {
    ui->ProgressBar1->setRange(0, max);
    ui->ProgressBar1->setTextVisible(true);
}

int32_t frmMain::ProgressMax() {
    return ui->ProgressBar1->maximum();
}

void frmMain::SetProgressValue(int32_t value) {
    ui->ProgressBar1->setValue(value);
}

int32_t frmMain::ProgressValue() {
    return ui->ProgressBar1->value();
}

void frmMain::SetBusy(bool busy) {
    if (busy == busy_) {
        return;
    }
    busy_ = busy;
    ui->cmdTrimSilence->setEnabled(!busy);
    ui->cmdTest->setEnabled(!busy);
    ui->mnuRestore->setEnabled(!busy);
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

void frmMain::CopyWithNotice(const std::function<void()> &copy) {
    notice_->ShowOver(this);
    // The copy runs beside the event loop, so the windows keep painting;
    // input waits until it is done, as the run's controls are not to be
    // used meanwhile.
    QEventLoop loop;
    std::exception_ptr failed;
    std::thread worker([&] {
        try {
            copy();
        } catch (...) {
            failed = std::current_exception();
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
    notice_->hide();
    if (failed) {
        std::rethrow_exception(failed);
    }
}

bool frmMain::OpenLogViewer(const std::string &path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(Q(path)));
}

#pragma once
// The main window: the settings that drive a trim, the checks on the typed
// numbers, and the buttons and menus that start the runs.

#include "TrimBatch.h"
#include "Settings.h"

#include <QMainWindow>
#include <QPointer>

#include <memory>

namespace Ui {
class frmMain;
}
class QLineEdit;
class UpDown;
class frmSplashScreen;
class frmHelp;
class frmAbout;

class frmMain : public QMainWindow, public brevita::TrimView {
    Q_OBJECT

  public:
    explicit frmMain(QWidget *parent = nullptr);
    ~frmMain() override;

    // The start-up checks and the stored settings. False when a check
    // failed and the program was asked to end: the window must not be shown.
    bool Form_Load();

    // A number box's check on leaving it: true when its text is a whole
    // number in its range; otherwise the message, the reset text, and the
    // focus back in the box.
    bool Validate(QLineEdit *box);

    brevita::BrevitaSettings SettingsFromControls() const;
    void ControlsFromSettings(const brevita::BrevitaSettings &settings);

    // Re-reads the captions from the language catalogue in force.
    Q_INVOKABLE void frmMain_Auto_Init();
    // The help window while it is open, the About box once it was loaded.
    frmHelp *HelpWindow() const;
    frmAbout *AboutBox() const { return about_.get(); }

    // TrimView
    brevita::BrevitaSettings CurrentSettings() override { return SettingsFromControls(); }
    void SetProgressCaption(const std::string &text) override;
    void SetProgressMax(int32_t max) override;
    int32_t ProgressMax() override;
    void SetProgressValue(int32_t value) override;
    int32_t ProgressValue() override;
    void SetBusy(bool busy) override;
    void CopyWithNotice(const std::function<void()> &copy) override;
    bool OpenLogViewer(const std::string &path) override;

  signals:
    // The Help and About menu entries, for the windows that show them.
    void helpRequested();
    void aboutRequested();

  protected:
    void closeEvent(QCloseEvent *event) override;
    void CloseIfAsked();
    bool eventFilter(QObject *watched, QEvent *event) override;

  private slots:
    void cmdTrimSilence_Click();
    void cmdTest_Click();
    void cmdExit_Click();
    void cmbBrowseForBackupDestination_Click();
    void mnuRestore_Click();
    void mnuExit_Click();
    void mnuHelp_Click();
    void mnuAbout_Click();

  private:
    void Form_Unload();
    // Sizes the window to its texts, packed closer where its screen is
    // smaller than that (a small one, or one at 200%).
    void FitToTexts();
    void OnFocusChanged(QWidget *old, QWidget *now);
    QLineEdit *BoxOf(const brevita::NumberRule &rule) const;
    bool IsNumberBox(const QWidget *w) const;
    // True when the focus was kept in a number box by a refused check: the
    // button whose press caused the check must not act.
    bool FocusHeldByCheck() const;

    std::unique_ptr<Ui::frmMain> ui;
    std::unique_ptr<frmSplashScreen> notice_;
    std::unique_ptr<frmAbout> about_;
    QPointer<frmHelp> help_;
    std::string progressCaption_;
    brevita::TrimBatch batch_;
    bool validating_ = false;
    bool busy_ = false;
    // Closed during a run: closes once the run has ended.
    bool closeAfterRun_ = false;
};

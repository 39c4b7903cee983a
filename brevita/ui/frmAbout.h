#pragma once
// The About box: the program's version and the language menu. Modal; OK
// hides it, and the next opening shows the same window as it was left.

#include <QDialog>

#include <memory>

namespace Ui {
class frmAbout;
}
class QAction;
class QMenu;

class frmAbout : public QDialog {
    Q_OBJECT

  public:
    explicit frmAbout(QWidget *parent = nullptr);
    ~frmAbout() override;

    Q_INVOKABLE void frmAbout_Auto_Init();

    // The pop-up menu of lblChangeLanguage and its items, item 0 first.
    QMenu *LanguageMenu() const { return mnuSelectLanguage_; }
    QList<QAction *> LanguageList() const;

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

  private slots:
    void cmdOK_Click();
    void mnuLanguageList_Click(QAction *item);

  private:
    void Form_Load();
    void BuildLanguageMenu();
    void FitToTexts();

    std::unique_ptr<Ui::frmAbout> ui;
    QMenu *mnuSelectLanguage_;
};

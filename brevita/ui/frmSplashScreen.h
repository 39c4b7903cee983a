#pragma once
// The notice shown while a folder is copied: a caption and one line, a
// fixed size, nothing to do but wait; it cannot be closed.

#include <QDialog>

#include <memory>

namespace Ui {
class frmSplashScreen;
}

class frmSplashScreen : public QDialog {
    Q_OBJECT

  public:
    explicit frmSplashScreen(QWidget *parent = nullptr);
    ~frmSplashScreen() override;

    // Shows the notice without blocking, 1700 twips below the top of owner
    // and centred on it, in front, painted at once.
    void ShowOver(QWidget *owner);

    Q_INVOKABLE void frmSplashScreen_Auto_Init();

  protected:
    void closeEvent(QCloseEvent *event) override;
    // Escape does not take it away either.
    void reject() override;

  private:
    std::unique_ptr<Ui::frmSplashScreen> ui;
};

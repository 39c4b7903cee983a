#pragma once
// The help window: the program's HTML page beside it, in a browser that
// fills the window less fixed margins. Modeless; the main window keeps one.

#include <QWidget>

#include <memory>

namespace Ui {
class frmHelp;
}

class frmHelp : public QWidget {
    Q_OBJECT

  public:
    explicit frmHelp(QWidget *parent = nullptr);
    ~frmHelp() override;

    Q_INVOKABLE void frmHelp_Auto_Init();

  protected:
    void resizeEvent(QResizeEvent *event) override;

  private:
    void Form_Load();
    void Form_Resize();

    std::unique_ptr<Ui::frmHelp> ui;
};

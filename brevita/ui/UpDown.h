#pragma once
// An up-down control: two spin buttons bound to a text box. A step writes
// the new value into the box; the box itself stays free text, so anything
// may be typed and is checked elsewhere.

#include <QWidget>

class QLineEdit;
class QToolButton;

class UpDown : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int minimum READ minimum WRITE setMinimum)
    Q_PROPERTY(int maximum READ maximum WRITE setMaximum)
    Q_PROPERTY(int singleStep READ singleStep WRITE setSingleStep)
    Q_PROPERTY(int value READ value WRITE setValue)

  public:
    explicit UpDown(QWidget *parent = nullptr);

    // The box the buttons write into; its Up and Down keys step too.
    void setBuddy(QLineEdit *buddy);
    QLineEdit *buddy() const { return buddy_; }

    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    int singleStep() const { return step_; }
    int value() const { return value_; }
    void setMinimum(int v) { minimum_ = v; }
    void setMaximum(int v) { maximum_ = v; }
    void setSingleStep(int v) { step_ = v; }
    void setValue(int v) { value_ = qBound(minimum_, v, maximum_); }

    // Steps from the box's number, or from the own value when the box holds
    // none, and stays within the bounds.
    void stepBy(int steps);

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    // A new language catalogue renames the buttons for screen readers.
    void changeEvent(QEvent *event) override;

  private:
    void NameButtons();

    QToolButton *up_;
    QToolButton *down_;
    QLineEdit *buddy_ = nullptr;
    int minimum_ = 0;
    int maximum_ = 100;
    int step_ = 1;
    int value_ = 0;
};

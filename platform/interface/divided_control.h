// Labelled controls whose label and field meet at a movable divider: the label fills the
// control left of the divider, the field the rest. Qt has no single widget for this pair, so
// these few classes stand in for the text control and the menu field of the family's tools.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QString>
#include <QWidget>

class TDividedControl : public QWidget {
 public:
  // Takes ownership of `field`. The divider starts at the label's own preferred width.
  TDividedControl(const QString& label, QWidget* field, QWidget* parent);

  QString Label() const { return fLabel->text(); }
  void SetLabel(const QString& label) { fLabel->setText(label); }

  // The x coordinate, in the control's own coordinates, at which the field begins. A
  // negative divider is taken as 0; one beyond the control's width leaves the field no room.
  float Divider() const { return fDivider; }
  void SetDivider(float divider);

  QLabel* LabelView() const { return fLabel; }
  QWidget* Field() const { return fField; }
  QSize sizeHint() const override;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void LayOut();

  QLabel* fLabel;
  QWidget* fField;
  float fDivider;
};

// A label and a one-line text field.
class BTextControl : public TDividedControl {
 public:
  BTextControl(const QString& label, const QString& text, QWidget* parent = nullptr);

  QLineEdit* TextView() const { return static_cast<QLineEdit*>(Field()); }
  QString Text() const { return TextView()->text(); }
  void SetText(const QString& text) { TextView()->setText(text); }
};

// A label and a pop-up menu of choices.
class BMenuField : public TDividedControl {
 public:
  explicit BMenuField(const QString& label, QWidget* parent = nullptr);

  QComboBox* Menu() const { return static_cast<QComboBox*>(Field()); }
};

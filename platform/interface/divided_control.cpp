#include "platform/interface/divided_control.h"

#include <algorithm>
#include <cmath>

TDividedControl::TDividedControl(const QString& label, QWidget* field, QWidget* parent)
    : QWidget(parent), fLabel(new QLabel(label, this)), fField(field) {
  fField->setParent(this);
  fDivider = static_cast<float>(fLabel->sizeHint().width());
  LayOut();
}

void TDividedControl::SetDivider(float divider) {
  fDivider = std::max(divider, 0.0f);
  LayOut();
}

QSize TDividedControl::sizeHint() const {
  const QSize field = fField->sizeHint();
  const int divider = static_cast<int>(std::lround(fDivider));
  return QSize(divider + field.width(), std::max(fLabel->sizeHint().height(), field.height()));
}

void TDividedControl::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  LayOut();
}

void TDividedControl::LayOut() {
  const int divider = std::min(static_cast<int>(std::lround(fDivider)), width());
  fLabel->setGeometry(0, 0, divider, height());
  fField->setGeometry(divider, 0, width() - divider, height());
}

BTextControl::BTextControl(const QString& label, const QString& text, QWidget* parent)
    : TDividedControl(label, new QLineEdit(text), parent) {}

BMenuField::BMenuField(const QString& label, QWidget* parent)
    : TDividedControl(label, new QComboBox, parent) {}

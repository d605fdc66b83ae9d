#include "util/interface/controls.h"

#include <QFontMetricsF>
#include <cmath>

#include "platform/interface/thread.h"

namespace {

constexpr double kTextMargin = 2;
constexpr double kMarkWidth = 17;
constexpr bigtime_t kPressedTime = 50000;

double text_width(const QWidget* control, const QString& text) {
  return std::ceil(QFontMetricsF(control->font()).horizontalAdvance(text));
}

void resize_width(QWidget* control, double width) {
  control->resize(static_cast<int>(static_cast<float>(width)), control->height());
}

}  // namespace

void adjust_txtctrl_divider(BTextControl* control) {
  if (control != nullptr)
    control->SetDivider(static_cast<float>(text_width(control, control->Label()) + kTextMargin));
}

void adjust_mfield_divider(BMenuField* control) {
  if (control != nullptr)
    control->SetDivider(static_cast<float>(text_width(control, control->Label()) + kTextMargin));
}

void adjust_strview_width(QLabel* view) {
  if (view != nullptr)
    resize_width(view, text_width(view, view->text()) + kTextMargin);
}

void adjust_rbutton_width(QRadioButton* button) {
  if (button != nullptr)
    resize_width(button, text_width(button, button->text()) + kMarkWidth + kTextMargin);
}

void adjust_cbox_width(QCheckBox* box) {
  if (box != nullptr)
    resize_width(box, text_width(box, box->text()) + kMarkWidth + kTextMargin);
}

void adjust_button_width(QPushButton* button) {
  if (button != nullptr)
    resize_width(button, std::ceil(button->sizeHint().width()));
}

void click_button(QAbstractButton* button) {
  if (button == nullptr)
    return;
  button->setDown(true);
  // Paint now: the wait below blocks the event loop that would otherwise paint it.
  button->repaint();
  snooze(kPressedTime);
  button->setDown(false);
  button->repaint();
  button->click();
}

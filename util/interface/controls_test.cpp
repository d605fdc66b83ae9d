#include "util/interface/controls.h"

#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QSignalSpy>
#include <chrono>
#include <cmath>

#include "platform/interface/test_application.h"

TEST(ControlSizing, TextWidthRoundedUpPlusMarginHeightKept) {
  QFont font("DejaVu Sans");
  font.setPointSizeF(10.5);
  // A label whose width has a fraction below one half tells rounding up from rounding.
  QString label;
  for (const char* candidate : {"Quit", "Save", "Apply", "Name", "Cancel", "Title"}) {
    const double width = QFontMetricsF(font).horizontalAdvance(candidate);
    if (width - std::floor(width) > 0 && width - std::floor(width) < 0.5)
      label = candidate;
  }
  ASSERT_FALSE(label.isEmpty());
  const int text = static_cast<int>(std::ceil(QFontMetricsF(font).horizontalAdvance(label)));

  BTextControl text_control(label, "field");
  BMenuField menu_field(label);
  QLabel view(label);
  QRadioButton radio(label);
  QCheckBox box(label);
  QPushButton button(label);
  for (QWidget* control :
       std::initializer_list<QWidget*>{&text_control, &menu_field, &view, &radio, &box, &button}) {
    control->setFont(font);
    control->resize(20, 37);
  }
  adjust_txtctrl_divider(&text_control);
  adjust_mfield_divider(&menu_field);
  adjust_strview_width(&view);
  adjust_rbutton_width(&radio);
  adjust_cbox_width(&box);
  adjust_button_width(&button);
  // A divided control moves its divider and keeps its size; the others take a new width.
  for (const TDividedControl* control :
       {static_cast<TDividedControl*>(&text_control), static_cast<TDividedControl*>(&menu_field)}) {
    EXPECT_EQ(control->Divider(), text + 2);
    EXPECT_EQ(control->size(), QSize(20, 37));
  }
  EXPECT_EQ(view.size(), QSize(text + 2, 37));
  EXPECT_EQ(radio.size(), QSize(text + 17 + 2, 37));
  EXPECT_EQ(box.size(), QSize(text + 17 + 2, 37));
  EXPECT_EQ(button.size(), QSize(button.sizeHint().width(), 37));
  // A null control is left alone.
  adjust_txtctrl_divider(nullptr);
  adjust_mfield_divider(nullptr);
  adjust_strview_width(nullptr);
  adjust_rbutton_width(nullptr);
  adjust_cbox_width(nullptr);
  adjust_button_width(nullptr);
}

// A click shows the button pressed for 50 ms, then clicks it once; a null one is ignored.
TEST(ClickButton, PressesWaitsAndClicksOnce) {
  QPushButton button("OK");
  QSignalSpy pressed(&button, &QAbstractButton::pressed);
  QSignalSpy clicked(&button, &QAbstractButton::clicked);
  const auto start = std::chrono::steady_clock::now();
  click_button(&button);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
  EXPECT_FALSE(button.isDown());
  EXPECT_EQ(pressed.count(), 1);
  EXPECT_EQ(clicked.count(), 1);
  click_button(nullptr);
}

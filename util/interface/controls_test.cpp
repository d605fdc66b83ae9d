#include "util/interface/controls.h"

#include <gtest/gtest.h>

#include <QFontMetricsF>
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
  QCheckBox box(label);
  for (QWidget* control : std::initializer_list<QWidget*>{&text_control, &box}) {
    control->setFont(font);
    control->resize(20, 37);
  }
  adjust_txtctrl_divider(&text_control);
  adjust_cbox_width(&box);
  EXPECT_EQ(text_control.Divider(), text + 2);
  EXPECT_EQ(text_control.size(), QSize(20, 37));
  EXPECT_EQ(box.size(), QSize(text + 17 + 2, 37));
}

#include "platform/interface/divided_control.h"

#include <gtest/gtest.h>

#include "platform/interface/test_application.h"

TEST(DividedControl, LabelAndFieldMeetAtTheDivider) {
  const struct {
    float divider;
    int label_width;  // the field starts where the label ends
  } cases[] = {{50.0f, 50}, {50.4f, 50}, {-3.0f, 0}, {500.0f, 200}};
  BTextControl text_control("Name:", "text");
  BMenuField menu_field("Genre:");
  for (TDividedControl* control :
       {static_cast<TDividedControl*>(&text_control), static_cast<TDividedControl*>(&menu_field)}) {
    control->show();  // a hidden widget gets its resize events only when shown
    control->resize(120, 24);
    for (const auto& c : cases) {
      control->SetDivider(c.divider);
      control->resize(200, 30);  // resizing keeps the divider
      EXPECT_EQ(control->LabelView()->geometry(), QRect(0, 0, c.label_width, 30)) << c.divider;
      EXPECT_EQ(control->Field()->geometry(), QRect(c.label_width, 0, 200 - c.label_width, 30));
      control->resize(120, 24);
    }
  }
}

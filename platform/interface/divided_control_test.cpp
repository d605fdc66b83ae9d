#include "platform/interface/divided_control.h"

#include <gtest/gtest.h>

#include <memory>

#include "platform/interface/test_application.h"

namespace {

struct DividerCase {
  float divider;
  int width;
  int label_width;  // the field starts where the label ends
};

TEST(DividedControl, LabelAndFieldMeetAtTheDivider) {
  const DividerCase cases[] = {
      {50.0f, 200, 50},   // plain
      {50.4f, 200, 50},   // fractional dividers land on the nearest pixel
      {-3.0f, 200, 0},    // negative: the field takes everything
      {500.0f, 200, 200}  // beyond the control: the field gets no room
  };
  std::unique_ptr<TDividedControl> controls[] = {std::make_unique<BTextControl>("Name:", "text"),
                                                 std::make_unique<BMenuField>("Genre:")};
  for (auto& control : controls) {
    for (const DividerCase& c : cases) {
      SCOPED_TRACE(testing::Message() << control->Label().toStdString() << " " << c.divider);
      control->resize(c.width, 30);
      control->SetDivider(c.divider);
      EXPECT_EQ(control->LabelView()->geometry(), QRect(0, 0, c.label_width, 30));
      EXPECT_EQ(control->Field()->geometry(), QRect(c.label_width, 0, c.width - c.label_width, 30));
    }
  }
}

TEST(DividedControl, ResizingKeepsTheDivider) {
  BTextControl control("Title:", "");
  control.show();  // a hidden widget gets its resize events only when shown
  control.SetDivider(40);
  control.resize(120, 24);
  control.resize(300, 28);
  EXPECT_EQ(control.Divider(), 40.0f);
  EXPECT_EQ(control.TextView()->geometry(), QRect(40, 0, 260, 28));
}

}  // namespace

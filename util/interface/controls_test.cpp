#include "util/interface/controls.h"

#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QTest>
#include <chrono>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "platform/interface/test_application.h"

namespace {

// A label whose width in `font` has a fraction below one half, so that rounding to the
// nearest pixel and rounding up give different answers.
QString label_with_small_fraction(const QFont& font) {
  const QFontMetricsF metrics(font);
  for (const char* label : {"Quit", "Save", "Apply", "Name", "Open file", "Cancel", "Title"}) {
    const double width = metrics.horizontalAdvance(label);
    const double fraction = width - std::floor(width);
    if (fraction > 0 && fraction < 0.5)
      return label;
  }
  return QString();
}

TEST(ControlSizing, WidthsAreTheFontsTextWidthRoundedUpPlusTheMargin) {
  QFont font("DejaVu Sans");
  font.setPointSizeF(10.5);
  const QString label = label_with_small_fraction(font);
  ASSERT_FALSE(label.isEmpty()) << "no candidate label has a small fractional width";
  const int text = static_cast<int>(std::ceil(QFontMetricsF(font).horizontalAdvance(label)));

  // Each case sizes a fresh control of height 37 in `font` and answers the width it applied:
  // the divider for controls that have one, the control's width otherwise.
  const struct {
    const char* control;
    std::function<int(bool& height_kept)> adjust;
    int expected;
  } cases[] = {
      {"text control",
       [&](bool& kept) {
         BTextControl control(label, "field");
         control.setFont(font);
         control.resize(300, 37);
         adjust_txtctrl_divider(&control);
         kept = control.size() == QSize(300, 37);
         return static_cast<int>(control.Divider());
       },
       text + 2},
      {"menu field",
       [&](bool& kept) {
         BMenuField control(label);
         control.setFont(font);
         control.resize(300, 37);
         adjust_mfield_divider(&control);
         kept = control.size() == QSize(300, 37);
         return static_cast<int>(control.Divider());
       },
       text + 2},
      {"string view",
       [&](bool& kept) {
         QLabel view(label);
         view.setFont(font);
         view.resize(300, 37);
         adjust_strview_width(&view);
         kept = view.height() == 37;
         return view.width();
       },
       text + 2},
      {"radio button",
       [&](bool& kept) {
         QRadioButton button(label);
         button.setFont(font);
         button.resize(300, 37);
         adjust_rbutton_width(&button);
         kept = button.height() == 37;
         return button.width();
       },
       text + 17 + 2},
      {"check box",
       [&](bool& kept) {
         QCheckBox box(label);
         box.setFont(font);
         box.resize(300, 37);
         adjust_cbox_width(&box);
         kept = box.height() == 37;
         return box.width();
       },
       text + 17 + 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.control);
    bool height_kept = false;
    EXPECT_EQ(c.adjust(height_kept), c.expected);
    EXPECT_TRUE(height_kept);
  }
}

TEST(ControlSizing, ButtonTakesItsPreferredWidthAndKeepsItsHeight) {
  QPushButton button("A rather long button label");
  button.resize(20, 41);
  adjust_button_width(&button);
  EXPECT_EQ(button.size(), QSize(button.sizeHint().width(), 41));
  EXPECT_GT(button.width(), 20);
}

// Records what a click looks like from outside: every paint with the pressed state it
// showed, and the signals, with the time each happened.
class TWatchedButton : public QPushButton {
 public:
  using QPushButton::QPushButton;
  std::vector<std::string> events;

 protected:
  void paintEvent(QPaintEvent* event) override {
    events.push_back(isDown() ? "paint down" : "paint up");
    QPushButton::paintEvent(event);
  }
};

TEST(ClickButton, ShowsPressedForFiftyMillisecondsThenClicks) {
  TWatchedButton button("Apply");
  button.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&button));
  button.events.clear();

  const auto start = std::chrono::steady_clock::now();
  std::chrono::steady_clock::duration clicked_after{};
  bool down_when_clicked = true;
  QObject::connect(&button, &QPushButton::clicked, [&] {
    clicked_after = std::chrono::steady_clock::now() - start;
    down_when_clicked = button.isDown();
    button.events.push_back("clicked");
  });
  click_button(&button);

  ASSERT_FALSE(button.events.empty());
  EXPECT_EQ(button.events.front(), "paint down");
  EXPECT_EQ(button.events.back(), "clicked");
  EXPECT_GE(clicked_after, std::chrono::milliseconds(50));
  EXPECT_FALSE(down_when_clicked);
  EXPECT_FALSE(button.isDown());
}

TEST(ClickButton, NullAndDisabledButtonsSendNothing) {
  click_button(nullptr);
  QPushButton button("Apply");
  button.setEnabled(false);
  int clicks = 0;
  QObject::connect(&button, &QPushButton::clicked, [&] { ++clicks; });
  click_button(&button);
  EXPECT_EQ(clicks, 0);
}

}  // namespace

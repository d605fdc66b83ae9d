#include "util/interface/controls.h"

#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QTest>
#include <chrono>
#include <cmath>
#include <string>
#include <vector>

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
  QPushButton button("A rather long button label");
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

  EXPECT_EQ(text_control.Divider(), text + 2);
  EXPECT_EQ(menu_field.Divider(), text + 2);
  EXPECT_EQ(text_control.size(), QSize(20, 37));
  EXPECT_EQ(view.size(), QSize(text + 2, 37));
  EXPECT_EQ(radio.size(), QSize(text + 17 + 2, 37));
  EXPECT_EQ(box.size(), QSize(text + 17 + 2, 37));
  EXPECT_EQ(button.size(), QSize(button.sizeHint().width(), 37));
}

// Records the pressed state each paint showed, and the click.
struct TWatchedButton : QPushButton {
  using QPushButton::QPushButton;
  std::vector<std::string> events;
  void paintEvent(QPaintEvent* event) override {
    events.push_back(isDown() ? "paint down" : "paint up");
    QPushButton::paintEvent(event);
  }
};

TEST(ClickButton, ShowsPressedForFiftyMillisecondsThenClicks) {
  TWatchedButton button("Apply");
  button.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&button));
  const auto start = std::chrono::steady_clock::now();
  std::chrono::steady_clock::duration clicked_after{};
  QObject::connect(&button, &QPushButton::clicked, [&] {
    clicked_after = std::chrono::steady_clock::now() - start;
    button.events.push_back(button.isDown() ? "clicked down" : "clicked");
  });
  button.events.clear();
  click_button(&button);
  ASSERT_FALSE(button.events.empty());
  EXPECT_EQ(button.events.front(), "paint down");
  EXPECT_EQ(button.events.back(), "clicked");
  EXPECT_GE(clicked_after, std::chrono::milliseconds(50));

  button.setEnabled(false);
  button.events.clear();
  click_button(&button);
  click_button(nullptr);
  EXPECT_EQ(std::count(button.events.begin(), button.events.end(), "clicked"), 0);
}

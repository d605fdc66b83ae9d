#include "util/interface/application.h"

#include <gtest/gtest.h>

#include <QGuiApplication>

#include "platform/interface/test_application.h"
#include "util/interface/color.h"

namespace {

TEST(GetIcons, BothSizesOnlyWhereAskedAndNothingWithoutASignature) {
  std::unique_ptr<QImage> large, mini;
  QGuiApplication::setDesktopFileName(QString());
  EXPECT_EQ(get_icons(&large, &mini), -1);
  EXPECT_TRUE(large == nullptr && mini == nullptr);

  QGuiApplication::setDesktopFileName("org.vorn.QuilletTest");
  EXPECT_EQ(get_icons(nullptr, nullptr), 0);
  EXPECT_EQ(get_icons(nullptr, &mini), 0);
  EXPECT_TRUE(large == nullptr);
  ASSERT_TRUE(mini != nullptr);
  EXPECT_EQ(mini->size(), QSize(16, 16));
  EXPECT_EQ(get_icons(&large, nullptr), 0);
  ASSERT_TRUE(large != nullptr);
  EXPECT_EQ(large->size(), QSize(32, 32));
  QGuiApplication::setDesktopFileName(QString());
}

TEST(ShowHelp, RefusesWhatIsNoDocument) {
  EXPECT_EQ(show_help(nullptr), B_BAD_VALUE);
  EXPECT_EQ(show_help(""), B_BAD_VALUE);
  EXPECT_EQ(show_help("/no/such/folder/help.html"), B_ENTRY_NOT_FOUND);
}

// The panel's thread is the GUI thread, this one; that every priority can be taken back is
// the thread layer's test. Priorities beyond the scale are clamped, not wrapped.
TEST(SetFilePanelPriority, ClampsToTheScale) {
  QFileDialog panel;
  EXPECT_EQ(set_file_panel_priority(nullptr, 10), -1);
  // Each would land on the other policy if the long were cut to 32 bits.
  for (const auto& [priority, policy] :
       {std::pair{(-1L << 40) + 5, SCHED_BATCH}, {1L << 40, SCHED_OTHER}}) {
    EXPECT_EQ(set_file_panel_priority(&panel, priority), 0) << priority;
    EXPECT_EQ(own_policy(), policy) << priority;
  }
}

TEST(IsSameRgbColor, ComparesTheFourChannelsOnly) {
  const struct {
    QColor a, b;
    bool same;
  } cases[] = {
      {QColor(255, 0, 0), QColor::fromHsv(0, 255, 255), true},  // another model, same channels
      {QColor(10, 20, 30, 40), QColor(10, 20, 30, 41), false},
      {QColor(10, 20, 30), QColor(10, 20, 31), false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(is_same_rgb_color(c.a, c.b), c.same) << c.a.name(QColor::HexArgb).toStdString() << " "
                                                   << c.b.name(QColor::HexArgb).toStdString();
}

}  // namespace

#include "util/interface/application.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QIcon>
#include <QPixmap>

#include "platform/interface/test_application.h"
#include "util/interface/color.h"

namespace {

TEST(GetIcons, SizesSourcesAndTheMissingSignature) {
  std::unique_ptr<QImage> large, mini;
  EXPECT_EQ(get_icons(&large, &mini), -1);  // no desktop file name: no signature
  EXPECT_EQ(large, nullptr);
  EXPECT_EQ(mini, nullptr);

  QGuiApplication::setDesktopFileName("org.vorn.QuilletTest");
  ASSERT_EQ(get_icons(&large, nullptr), 0);  // no icon anywhere: a blank image
  EXPECT_EQ(large->size(), QSize(32, 32));
  EXPECT_EQ(large->pixelColor(16, 16).alpha(), 0);
  EXPECT_EQ(mini, nullptr);

  QPixmap red(48, 48);
  red.fill(Qt::red);
  QGuiApplication::setWindowIcon(QIcon(red));
  ASSERT_EQ(get_icons(&large, &mini), 0);
  ASSERT_NE(mini, nullptr);
  EXPECT_EQ(mini->size(), QSize(16, 16));
  EXPECT_EQ(large->pixelColor(31, 31), QColor(Qt::red));
  EXPECT_EQ(mini->pixelColor(0, 0), QColor(Qt::red));
  EXPECT_EQ(get_icons(nullptr, nullptr), 0);
}

TEST(IsSameRgbColor, ComparesTheFourChannelsOnly) {
  const QColor orange(255, 128, 0, 200);
  EXPECT_TRUE(is_same_rgb_color(orange, orange.toHsv()));  // QColor's == says no
  EXPECT_TRUE(is_same_rgb_color(orange, QColor::fromRgba64(65500, 32896, 0, 51400)));
  for (const QColor& other : {QColor(254, 128, 0, 200), QColor(255, 129, 0, 200),
                              QColor(255, 128, 1, 200), QColor(255, 128, 0, 255)})
    EXPECT_FALSE(is_same_rgb_color(orange, other)) << other.name(QColor::HexArgb).toStdString();
}

}  // namespace

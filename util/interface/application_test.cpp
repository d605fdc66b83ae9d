#include "util/interface/application.h"

#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QIcon>
#include <QPixmap>
#include <QTemporaryDir>
#include <QUrl>

#include "platform/interface/test_application.h"
#include "platform/interface/thread.h"
#include "util/interface/color.h"

namespace {

class GetIcons : public testing::Test {
 protected:
  void TearDown() override {
    QGuiApplication::setDesktopFileName(QString());
    QGuiApplication::setWindowIcon(QIcon());
  }
};

TEST_F(GetIcons, NothingWithoutASignature) {
  std::unique_ptr<QImage> large;
  std::unique_ptr<QImage> mini;
  EXPECT_EQ(get_icons(&large, &mini), -1);
  EXPECT_EQ(large, nullptr);
  EXPECT_EQ(mini, nullptr);
}

TEST_F(GetIcons, LargeAndMiniFromTheApplicationIcon) {
  QGuiApplication::setDesktopFileName("org.vorn.QuilletTest");
  QPixmap red(48, 48);
  red.fill(Qt::red);
  QGuiApplication::setWindowIcon(QIcon(red));

  std::unique_ptr<QImage> large;
  std::unique_ptr<QImage> mini;
  ASSERT_EQ(get_icons(&large, &mini), 0);
  ASSERT_NE(large, nullptr);
  ASSERT_NE(mini, nullptr);
  EXPECT_EQ(large->size(), QSize(32, 32));
  EXPECT_EQ(mini->size(), QSize(16, 16));
  for (const QImage* icon : {large.get(), mini.get()}) {
    EXPECT_EQ(icon->pixelColor(0, 0), QColor(Qt::red));
    EXPECT_EQ(icon->pixelColor(icon->width() - 1, icon->height() - 1), QColor(Qt::red));
  }

  std::unique_ptr<QImage> only_mini;
  EXPECT_EQ(get_icons(nullptr, &only_mini), 0);
  EXPECT_EQ(only_mini->size(), QSize(16, 16));
  EXPECT_EQ(get_icons(nullptr, nullptr), 0);
}

TEST_F(GetIcons, BlankImagesWhenTheDesktopHasNoIcon) {
  QGuiApplication::setDesktopFileName("org.vorn.QuilletTest");
  std::unique_ptr<QImage> large;
  ASSERT_EQ(get_icons(&large, nullptr), 0);
  ASSERT_NE(large, nullptr);
  EXPECT_EQ(large->size(), QSize(32, 32));
  EXPECT_EQ(large->pixelColor(16, 16).alpha(), 0);
}

// Takes the URLs that the desktop would open.
class TUrlCatcher : public QObject {
  Q_OBJECT

 public:
  QList<QUrl> opened;

 public slots:
  void open(const QUrl& url) { opened.append(url); }
};

TEST(ShowHelp, OpensTheDocumentByItsAbsolutePath) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  QFile document(folder.filePath("Quillet help.html"));
  ASSERT_TRUE(document.open(QIODevice::WriteOnly));
  document.close();

  TUrlCatcher catcher;
  QDesktopServices::setUrlHandler("file", &catcher, "open");
  const QString previous = QDir::currentPath();
  QDir::setCurrent(folder.path());
  EXPECT_EQ(show_help("Quillet help.html"), B_OK);
  EXPECT_EQ(show_help("missing.html"), B_ENTRY_NOT_FOUND);
  EXPECT_EQ(show_help(nullptr), B_BAD_VALUE);
  QDir::setCurrent(previous);
  QDesktopServices::unsetUrlHandler("file");

  EXPECT_EQ(catcher.opened, QList<QUrl>{QUrl::fromLocalFile(document.fileName())});
}

TEST(SetFilePanelPriority, NullPanelFailsAndAPanelSetsItsThread) {
  EXPECT_EQ(set_file_panel_priority(nullptr, B_NORMAL_PRIORITY), -1);

  QFileDialog panel;
  EXPECT_EQ(set_file_panel_priority(&panel, B_DISPLAY_PRIORITY), 0);
  EXPECT_EQ(panel.thread()->priority(), QThread::HighPriority);
  EXPECT_EQ(set_file_panel_priority(&panel, B_NORMAL_PRIORITY), 0);
  EXPECT_EQ(panel.thread()->priority(), QThread::NormalPriority);
}

TEST(IsSameRgbColor, ComparesTheFourChannelsOnly) {
  const QColor orange(255, 128, 0, 200);
  const struct {
    QColor other;
    bool same;
  } cases[] = {
      {QColor(255, 128, 0, 200), true},
      {orange.toHsv(), true},                              // another model: QColor's == says no
      {QColor::fromRgba64(65500, 32896, 0, 51400), true},  // same 8-bit values
      {QColor(254, 128, 0, 200), false},
      {QColor(255, 129, 0, 200), false},
      {QColor(255, 128, 1, 200), false},
      {QColor(255, 128, 0, 255), false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(is_same_rgb_color(orange, c.other), c.same)
        << c.other.name(QColor::HexArgb).toStdString();
}

}  // namespace

#include "application_test.moc"

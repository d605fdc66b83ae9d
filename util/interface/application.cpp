#include "util/interface/application.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>
#include <algorithm>

#include "platform/interface/app_signature.h"
#include "platform/interface/thread.h"

namespace {

constexpr int kLargeIconSize = 32;
constexpr int kMiniIconSize = 16;

std::unique_ptr<QImage> make_icon(const QString& signature, int size) {
  auto image = std::make_unique<QImage>(size, size, QImage::Format_ARGB32_Premultiplied);
  image->fill(Qt::transparent);
  get_app_icon(signature, image.get());
  return image;
}

}  // namespace

int get_icons(std::unique_ptr<QImage>* large, std::unique_ptr<QImage>* mini) {
  const QString signature = app_signature();
  if (signature.isEmpty())
    return -1;
  if (large != nullptr)
    *large = make_icon(signature, kLargeIconSize);
  if (mini != nullptr)
    *mini = make_icon(signature, kMiniIconSize);
  return 0;
}

status_t show_help(const char* path) {
  if (path == nullptr || *path == '\0')
    return B_BAD_VALUE;
  const QFileInfo document(QString::fromUtf8(path));
  if (!document.exists())
    return B_ENTRY_NOT_FOUND;
  return QDesktopServices::openUrl(QUrl::fromLocalFile(document.absoluteFilePath())) ? B_OK
                                                                                     : B_ERROR;
}

int set_file_panel_priority(QFileDialog* panel, long priority) {
  if (panel == nullptr)
    return -1;
  // The family's scale ends at B_REAL_TIME_PRIORITY; clamping keeps a long from wrapping.
  set_thread_priority(panel->thread(),
                      static_cast<int32>(std::clamp<long>(priority, 0, B_REAL_TIME_PRIORITY)));
  return 0;
}

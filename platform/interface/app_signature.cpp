#include "platform/interface/app_signature.h"

#include <QGuiApplication>
#include <QIcon>
#include <QPainter>

QString app_signature() {
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr)
    return QString();
  return QGuiApplication::desktopFileName();
}

status_t get_app_icon(const QString& signature, QImage* image) {
  if (signature.isEmpty() || image == nullptr || image->isNull())
    return B_BAD_VALUE;
  QIcon icon = QIcon::fromTheme(signature);
  if (icon.isNull())
    icon = QGuiApplication::windowIcon();
  if (icon.isNull())
    return B_ENTRY_NOT_FOUND;
  QPainter painter(image);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  icon.paint(&painter, image->rect());
  return B_OK;
}

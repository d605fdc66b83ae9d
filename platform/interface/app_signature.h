// The running application's signature and icons, over QGuiApplication and the icon theme.
#pragma once

#include <QImage>
#include <QString>

#include "platform/support/support_defs.h"

// The signature is the application's desktop file name (QGuiApplication::desktopFileName,
// for example "org.vorn.Quillet"): the id by which the desktop knows the application and
// its icon. Empty when no QGuiApplication exists or the application has not set one.
QString app_signature();

// Paints the icon of the application with `signature` into `image`, scaled to the image's
// size: the icon theme's icon of that name, else the application's window icon. Returns
// B_OK; B_BAD_VALUE for a null or empty image or an empty signature, and B_ENTRY_NOT_FOUND
// when there is no icon; the image is left unchanged on failure.
status_t get_app_icon(const QString& signature, QImage* image);

// The application's icons, its help document and its file dialogs.
#pragma once

#include <QFileDialog>
#include <QImage>
#include <memory>

#include "platform/support/support_defs.h"

// Creates the application's icons at 32 x 32 (`large`) and 16 x 16 (`mini`) pixels, each
// only where its address is not null, and hands them to the caller. Returns -1 without
// creating anything when the application has no signature (app_signature); otherwise 0, and
// an icon the desktop does not have leaves its image created but blank (transparent).
int get_icons(std::unique_ptr<QImage>* large, std::unique_ptr<QImage>* mini);

// Opens the document at `path` (relative to the current folder unless absolute) in the
// desktop's viewer for it, without waiting for the viewer. Returns 0 when a viewer took it,
// B_BAD_VALUE for a null or empty path, B_ENTRY_NOT_FOUND when no such file exists and
// B_ERROR when the desktop could not open it.
status_t show_help(const char* path);

// Sets the priority of the thread that runs `panel`'s window: for a Qt dialog that is the
// application's GUI thread, with every other window on it. The change is never one-way: a
// later call raises or lowers it again (set_thread_priority). Returns -1 for a null panel and
// 0 otherwise, whether or not the system took the priority.
int set_file_panel_priority(QFileDialog* panel, long priority);

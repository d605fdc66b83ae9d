// A modal alert of up to three buttons that answer to keys taken from their labels.
#pragma once

#include <QMessageBox>

#include "platform/support/support_defs.h"

// Shows a modal alert and waits until one of its buttons is pressed. The window title is
// `title`; the text is the title, a blank line and the message (null taken as empty), shown
// as plain text. Buttons 0, 1 and 2 are made from the labels left to right, a null label
// leaving its button out while the others keep their indexes; the last one shown is the
// default button (Enter). The button at `escape_index` answers to the Esc key (Esc does
// nothing when that index names no button), every other button to the key given by
// short_cut_from_label, if any. Returns the index of the button pressed, or -1 when the alert
// closed without one or no QApplication exists.
int32 show_alert(const char* title, const char* message, const char* button0, const char* button1,
                 const char* button2, long escape_index, QMessageBox::Icon alert_type);

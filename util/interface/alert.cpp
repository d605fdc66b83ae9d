#include "util/interface/alert.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <array>

#include "util/interface/shortcut.h"

namespace {

constexpr char kEscapeKey = 0x1B;

// QMessageBox presses its only button on Esc even when no button was made the escape
// button; an alert ignores Esc unless a button takes it.
class TAlertBox : public QMessageBox {
 public:
  using QMessageBox::QMessageBox;

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if (event->matches(QKeySequence::Cancel) && escapeButton() == nullptr)
      return;
    QMessageBox::keyPressEvent(event);
  }
};

// The key that types `c` without modifiers, or 0 when it is not a printable ASCII character
// (the lead byte of a multi-byte character names no key).
int key_for_char(char c) {
  if (c < 0x20 || c > 0x7E)
    return 0;
  if (c >= 'a' && c <= 'z')
    return c - 'a' + Qt::Key_A;
  return c;  // Qt's codes of printable ASCII keys are the characters themselves
}

QString from_c_string(const char* text) {
  return text == nullptr ? QString() : QString::fromUtf8(text);
}

}  // namespace

int32 show_alert(const char* title, const char* message, const char* button0, const char* button1,
                 const char* button2, long escape_index, QMessageBox::Icon alert_type) {
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr)
    return -1;

  const QString window_title = from_c_string(title);
  TAlertBox box(alert_type, window_title, window_title + "\n\n" + from_c_string(message),
                QMessageBox::NoButton);
  box.setTextFormat(Qt::PlainText);

  const std::array<const char*, 3> labels = {button0, button1, button2};
  std::array<QPushButton*, 3> buttons = {};
  for (size_t index = 0; index < labels.size(); ++index) {
    if (labels[index] == nullptr)
      continue;
    // A label is shown as written: "&" would otherwise mark a mnemonic.
    QString text = QString::fromUtf8(labels[index]);
    text.replace('&', "&&");
    QPushButton* button = box.addButton(text, QMessageBox::ActionRole);
    buttons[index] = button;

    const char shortcut =
        static_cast<long>(index) == escape_index ? kEscapeKey : short_cut_from_label(labels[index]);
    if (shortcut == kEscapeKey)
      box.setEscapeButton(button);
    else if (const int key = key_for_char(shortcut); key != 0)
      button->setShortcut(QKeySequence(key));
    box.setDefaultButton(button);
  }

  box.exec();
  QAbstractButton* const pressed = box.clickedButton();
  for (size_t index = 0; index < buttons.size(); ++index) {
    if (pressed != nullptr && buttons[index] == pressed)
      return static_cast<int32>(index);
  }
  return -1;
}

// Standard output as the console tools use it: text and characters are collected, and an end of
// line writes the line out at once. It stands in for std::cout and std::endl, whose set-up
// (locale, eight standard streams and some thirty facets) cost a dozen page faults and 50,000
// instructions at every start; the tools print only text, so they need none of it.
#pragma once

#include <string>
#include <string_view>

// Text that came from outside the program (a tag field, a file name), as console::untrusted
// marks it.
struct TUntrustedText {
  std::string_view text;
};

// Appends `text` to `out` with every byte that a terminal would act on shown as a backslash
// and three octal digits ("\033" for ESC): C0 controls 0x00-0x1F, DEL 0x7F, the C1 controls
// U+0080-U+009F in UTF-8 (C2 80..C2 9F, both bytes shown), and any byte 0x80-0x9F that is not
// part of a well-formed UTF-8 character (a terminal in an 8-bit mode reads those as C1
// controls). Every other byte, well-formed multi-byte characters included, is appended as it
// is. The backslash itself is not escaped.
void append_visible(std::string_view text, std::string* out);

class TConsoleStream {
 public:
  explicit TConsoleStream(int fd) : fFd(fd) {}
  // Writes what is still collected.
  ~TConsoleStream() { Flush(); }
  TConsoleStream(const TConsoleStream&) = delete;
  TConsoleStream& operator=(const TConsoleStream&) = delete;

  TConsoleStream& operator<<(std::string_view text) {
    fPending.append(text);
    return *this;
  }
  // A null pointer writes nothing.
  TConsoleStream& operator<<(const char* text) {
    return *this << std::string_view(text == nullptr ? "" : text);
  }
  TConsoleStream& operator<<(const std::string& text) { return *this << std::string_view(text); }
  TConsoleStream& operator<<(char c) {
    fPending.push_back(c);
    return *this;
  }
  // At a terminal, with control bytes made visible (append_visible); elsewhere byte for byte.
  TConsoleStream& operator<<(TUntrustedText untrusted_text) {
    if (IsTerminal()) {
      append_visible(untrusted_text.text, &fPending);
    } else {
      fPending.append(untrusted_text.text);
    }
    return *this;
  }
  TConsoleStream& operator<<(TConsoleStream& (*manipulator)(TConsoleStream&)) {
    return manipulator(*this);
  }

  // Writes what is collected, looping on short writes and EINTR. Text that cannot be written
  // (a closed or full output) is dropped, as a failed standard stream drops it.
  void Flush();

  // Whether what is flushed reaches a terminal: false while a sink is set, otherwise whether the
  // descriptor is one. The system is asked once, at the first call, so a run costs one isatty
  // at most, and none when it prints nothing from outside.
  bool IsTerminal();

  // While `sink` is not null, flushed text is appended to it instead of being written. Returns
  // the sink set before.
  std::string* SetSink(std::string* sink);

 private:
  int fFd;
  std::string fPending;
  std::string* fSink = nullptr;
  signed char fTerminal = -1;  // -1 until asked
};

namespace console {

// Standard output.
extern TConsoleStream cout;

// A newline, then a flush.
TConsoleStream& endl(TConsoleStream& stream);
TConsoleStream& flush(TConsoleStream& stream);

// Marks text from outside the program: `cout << console::untrusted(field)` writes it with its
// control bytes made visible when standard output is a terminal, and byte for byte otherwise.
inline TUntrustedText untrusted(std::string_view text) {
  return {text};
}

}  // namespace console

// Standard output as the console tools use it: text and characters are collected, and an end of
// line writes the line out at once. It stands in for std::cout and std::endl, whose set-up
// (locale, eight standard streams and some thirty facets) cost a dozen page faults and 50,000
// instructions at every start; the tools print only text, so they need none of it.
#pragma once

#include <string>
#include <string_view>

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
  TConsoleStream& operator<<(TConsoleStream& (*manipulator)(TConsoleStream&)) {
    return manipulator(*this);
  }

  // Writes what is collected, looping on short writes and EINTR. Text that cannot be written
  // (a closed or full output) is dropped, as a failed standard stream drops it.
  void Flush();

  // While `sink` is not null, flushed text is appended to it instead of being written. Returns
  // the sink set before.
  std::string* SetSink(std::string* sink);

 private:
  int fFd;
  std::string fPending;
  std::string* fSink = nullptr;
};

namespace console {

// Standard output.
extern TConsoleStream cout;

// A newline, then a flush.
TConsoleStream& endl(TConsoleStream& stream);
TConsoleStream& flush(TConsoleStream& stream);

}  // namespace console

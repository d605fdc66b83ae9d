#include "platform/support/console_stream.h"

#include <unistd.h>

#include <cerrno>

namespace {

bool is_continuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

// The length of the well-formed UTF-8 character at the start of `text`, or 0 when none starts
// there. Overlong forms, surrogates and values past U+10FFFF are not well-formed: an overlong
// ESC (C0 9B) would otherwise pass a lenient terminal as a control.
std::size_t utf8_length(std::string_view text) {
  const unsigned char lead = static_cast<unsigned char>(text[0]);
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    low = lead == 0xE0 ? 0xA0 : 0x80;
    high = lead == 0xED ? 0x9F : 0xBF;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    low = lead == 0xF0 ? 0x90 : 0x80;
    high = lead == 0xF4 ? 0x8F : 0xBF;
  } else {
    return 0;
  }
  if (text.size() < length) {
    return 0;
  }
  const unsigned char second = static_cast<unsigned char>(text[1]);
  if (second < low || second > high) {
    return 0;
  }
  for (std::size_t i = 2; i < length; ++i) {
    if (!is_continuation(static_cast<unsigned char>(text[i]))) {
      return 0;
    }
  }
  return length;
}

void append_octal(unsigned char byte, std::string* out) {
  const char digits[] = {'\\', static_cast<char>('0' + (byte >> 6)),
                         static_cast<char>('0' + ((byte >> 3) & 7)),
                         static_cast<char>('0' + (byte & 7))};
  out->append(digits, sizeof digits);
}

}  // namespace

void append_visible(std::string_view text, std::string* out) {
  std::size_t plain = 0;  // start of the run of bytes not yet appended
  std::size_t position = 0;
  while (position < text.size()) {
    const unsigned char byte = static_cast<unsigned char>(text[position]);
    if (byte >= 0x20 && byte < 0x7F) {
      ++position;
      continue;
    }
    std::size_t length = 1;  // of what is escaped
    if (byte >= 0x80) {
      const std::size_t character = utf8_length(text.substr(position));
      const bool c1 =
          character == 2 && byte == 0xC2 && static_cast<unsigned char>(text[position + 1]) < 0xA0;
      // A stray byte from 0xA0 up is no control in any set a terminal uses.
      if ((character > 0 && !c1) || (character == 0 && byte >= 0xA0)) {
        position += character > 0 ? character : 1;
        continue;
      }
      length = c1 ? 2 : 1;
    }
    out->append(text.substr(plain, position - plain));
    for (std::size_t i = 0; i < length; ++i) {
      append_octal(static_cast<unsigned char>(text[position + i]), out);
    }
    position += length;
    plain = position;
  }
  out->append(text.substr(plain));
}

bool TConsoleStream::IsTerminal() {
  if (fSink != nullptr) {
    return false;
  }
  if (fTerminal < 0) {
    fTerminal = isatty(fFd) == 1 ? 1 : 0;
  }
  return fTerminal == 1;
}

void TConsoleStream::Flush() {
  if (fSink != nullptr) {
    fSink->append(fPending);
  } else {
    std::size_t written = 0;
    while (written < fPending.size()) {
      const ssize_t count = write(fFd, fPending.data() + written, fPending.size() - written);
      if (count < 0 && errno == EINTR) {
        continue;
      }
      if (count <= 0) {
        break;
      }
      written += static_cast<std::size_t>(count);
    }
  }
  fPending.clear();
}

std::string* TConsoleStream::SetSink(std::string* sink) {
  Flush();
  std::string* previous = fSink;
  fSink = sink;
  return previous;
}

namespace console {

TConsoleStream cout(STDOUT_FILENO);

TConsoleStream& endl(TConsoleStream& stream) {
  stream << '\n';
  stream.Flush();
  return stream;
}

TConsoleStream& flush(TConsoleStream& stream) {
  stream.Flush();
  return stream;
}

}  // namespace console

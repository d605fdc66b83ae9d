#include "platform/support/console_stream.h"

#include <unistd.h>

#include <cerrno>

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

#include "platform/support/console_stream.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

namespace {

// What the pipe holds now, without waiting.
std::string drain(int fd) {
  std::string text;
  char buffer[256];
  ssize_t count;
  while ((count = read(fd, buffer, sizeof buffer)) > 0) {
    text.append(buffer, static_cast<std::size_t>(count));
  }
  return text;
}

// A line reaches the output when it ends, not when the process does: a reader of a pipe sees
// each line of a run as it is printed.
TEST(ConsoleStream, WritesEachLineWhenItEnds) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  ASSERT_EQ(fcntl(ends[0], F_SETFL, O_NONBLOCK), 0);
  {
    TConsoleStream stream(ends[1]);
    stream << "Title: " << std::string("Seasons") << ' ' << static_cast<const char*>(nullptr);
    EXPECT_EQ(drain(ends[0]), "");
    stream << console::endl;
    EXPECT_EQ(drain(ends[0]), "Title: Seasons \n");
    stream << "\rDone 50% " << console::flush;
    EXPECT_EQ(drain(ends[0]), "\rDone 50% ");
    stream << "unended";
  }
  EXPECT_EQ(drain(ends[0]), "unended");  // what is left goes out when the stream ends
  close(ends[0]);
  close(ends[1]);
}

}  // namespace

// The installed program listing hostile tags and file names: at a pseudo-terminal every control
// byte shows in octal, while a pipe receives the bytes unchanged.
#include "tests/installed_program.h"

namespace {

using Terminal = TInstalledProgram;

// Each title is stored in song.ape, then listed into a pipe and at a terminal; the last rows
// list hostile names from the command line. Which bytes are escaped is the console stream's
// own test; here every kind of text the program prints passes through it.
TEST_F(Terminal, ShowsControlBytesEscapedAtATerminalAndUnchangedInAPipe) {
  const fs::path sample = MakeSample("sample.ape");
  const auto title = [this](const std::string& text) {
    return Header("song.ape") + Listing({{"Title", text}});
  };
  const std::string gone = Error("@Err_Access_Failed@");
  const struct {
    Arguments write;  // how the title is stored, when it is; the listing detects its set
    std::string piped, shown;
    Arguments listed = {"song.ape"};
    int exit_code = 0;
  } cases[] = {
      {{"-T=\x1b]0;pwned\a\x1b[31mRED\rEvil\nArtist: Someone else"},
       title("\x1b]0;pwned\a\x1b[31mRED\rEvil\nArtist: Someone else"),
       title("\\033]0;pwned\\007\\033[31mRED\\015Evil\\012Artist: Someone else")},
      // Stored in JIS, whose ESC bytes go in the conversion; Japanese whose UTF-8 holds bytes
      // 0x80-0x9F prints as it is.
      {{"-CS=J", "-T=春の海 せ"}, title("春の海 せ"), title("春の海 せ")},
      // Read as JIS for its ESC; an escape that is no JIS one keeps its bytes through the
      // conversion, and is escaped after it.
      {{"-T=\x1b(Zbad\a"}, title("\x1b(Zbad\a"), title("\\033(Zbad\\007")},
      {{},
       Error("@Err_Unknown_Option %Option%@", "-\x1b[2J"),
       Error("@Err_Unknown_Option %Option%@", "-\\033[2J"),
       {"-\x1b[2J", "x.ape"},
       1},
      {{},
       Header("gone\r\x7f.ape") + gone,
       Header("gone\\015\\177.ape") + gone,
       {"gone\r\x7f.ape"},
       1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.shown);
    if (!c.write.empty()) {
      fs::copy_file(sample, fWork / c.listed.back(), fs::copy_options::overwrite_existing);
      Arguments write = c.write;
      write.push_back(c.listed.back());
      ASSERT_EQ(Quillet(write).exit_code, 0);
    }
    const TRun piped = Quillet(c.listed, TOutputTo::kPipe);
    const TRun shown = Quillet(c.listed, TOutputTo::kTerminal);
    EXPECT_EQ(piped.out, c.piped);
    EXPECT_EQ(shown.out, c.shown);
    EXPECT_EQ(piped.exit_code, c.exit_code);
    EXPECT_EQ(shown.exit_code, c.exit_code);
  }
}

}  // namespace

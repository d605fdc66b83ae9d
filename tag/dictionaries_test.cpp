// Each dictionary passes msgfmt and translates every key the program prints, placeholders kept.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <set>

#include "platform/locale/po_dictionary.h"
#include "tests/fixtures.h"

namespace {

namespace fs = std::filesystem;

const fs::path kSourceDir = QUILLET_SOURCE_DIR;

// The keys that are display text, and the "@...@" literals of the program's sources (not its
// tests), adjacent literals joined as the compiler joins them.
std::set<std::string> keys_in_sources() {
  std::set<std::string> keys = {"ERROR: ",       "Tag file: %FileNameAPE%",
                                "=== Usage ===", "Option (Case insensitive):",
                                "Example:",      "Title: ",
                                "Artist: ",      "Album: ",
                                "Comment: ",     "Year: ",
                                "Genre: ",       "Track: ",
                                "TARVIK"};
  static const std::regex kAdjacent(R"re("[ \t]*\n[ \t]*")re");
  static const std::regex kKey(R"re("(@[^"\\\n]*@)")re");
  for (const char* module : {"tag", "option", "identity", "codec"}) {
    for (const auto& entry : fs::recursive_directory_iterator(kSourceDir / module)) {
      const fs::path& path = entry.path();
      if (path.filename().string().find("_test") != std::string::npos ||
          (path.extension() != ".cpp" && path.extension() != ".h"))
        continue;
      const std::string source = std::regex_replace(read_file(path), kAdjacent, "");
      for (std::sregex_iterator it(source.begin(), source.end(), kKey), end; it != end; ++it)
        keys.insert((*it)[1]);
    }
  }
  return keys;
}

TEST(Dictionaries, EachFilePassesMsgfmtAndTranslatesEveryKeyKeepingItsPlaceholders) {
  const std::set<std::string> keys = keys_in_sources();
  // Guards the scan: keys of the driver, the loader, the option framework, one split in parts.
  for (const char* key : {"@Err_Access_Failed@", "@Err_Load_Lib_Monkeys_Audio %FileName%@",
                          "@Err_Unknown_Option %Option%@",
                          "@Usage_Char_Set_Detail %OptionA1% %OptionA2% %OptionB1% %OptionB2% "
                          "%OptionC1% %OptionC2%@"})
    EXPECT_EQ(keys.count(key), 1u) << key;
  static const std::regex kPlaceholder("%[A-Za-z0-9_]+%");
  for (const std::string language : {"en", "ja"}) {
    TPoDictionary dictionary;  // the tool's, read last, wins
    for (const char* name : {"VornCommon", "Quillet"}) {
      const fs::path file =
          kSourceDir / "Language/Dictionaries" / (name + ("." + language) + ".po");
      parse_po_dictionary(read_file(file), &dictionary);
      EXPECT_EQ(std::system(("msgfmt --check -o /dev/null '" + file.string() + "'").c_str()), 0);
    }
    for (const std::string& key : keys) {
      const auto found = dictionary.find(key);
      EXPECT_TRUE(found != dictionary.end()) << language << ": no translation of \"" << key << "\"";
      const std::string text = found == dictionary.end() ? "" : found->second;
      for (std::sregex_iterator it(key.begin(), key.end(), kPlaceholder), end; it != end; ++it)
        EXPECT_NE(text.find(it->str()), std::string::npos)
            << language << ": \"" << key << "\" loses " << it->str() << " in \"" << text << "\"";
      EXPECT_TRUE(key.back() != ' ' || text.ends_with(' '))
          << language << ": \"" << text << "\" loses the trailing blank";
    }
  }
}

}  // namespace

// The shipped dictionaries answer every key that the program prints, in every language, and
// keep each key's placeholders. The keys are collected from the sources themselves, so keys
// that later code adds are checked too.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "option/console_test_support.h"
#include "platform/locale/po_dictionary.h"

namespace {

namespace fs = std::filesystem;

const fs::path kSourceDir = QUILLET_SOURCE_DIR;
const fs::path kDictionaryDir = kSourceDir / "Language" / "Dictionaries";

// Keys that are display text themselves and so cannot be told by their form.
const char* const kPlainKeys[] = {"ERROR: ",       "Tag file: %FileNameAPE%",
                                  "=== Usage ===", "Option (Case insensitive):",
                                  "Example:",      "Title: ",
                                  "Artist: ",      "Album: ",
                                  "Comment: ",     "Year: ",
                                  "Genre: ",       "Track: ",
                                  "TARVIK"};

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The named keys ("@...@") among the string literals of a C++ source, adjacent literals
// joined as the compiler joins them.
std::vector<std::string> named_keys(std::string source) {
  source = std::regex_replace(source, std::regex(R"re("[ \t]*\n[ \t]*")re"), "");
  static const std::regex kKey(R"re("(@[^"\\\n]*@)")re");
  std::vector<std::string> keys;
  for (std::sregex_iterator it(source.begin(), source.end(), kKey), end; it != end; ++it) {
    keys.push_back((*it)[1]);
  }
  return keys;
}

// Every key the program's sources use; test sources are not the program.
std::set<std::string> keys_in_sources() {
  std::set<std::string> keys(std::begin(kPlainKeys), std::end(kPlainKeys));
  for (const char* module : {"tag", "option", "identity", "codec"}) {
    for (const auto& entry : fs::recursive_directory_iterator(kSourceDir / module)) {
      const std::string name = entry.path().filename().string();
      const std::string extension = entry.path().extension().string();
      if (!entry.is_regular_file() || (extension != ".cpp" && extension != ".h") ||
          name.find("_test") != std::string::npos) {
        continue;
      }
      for (const std::string& key : named_keys(read_file(entry.path()))) {
        keys.insert(key);
      }
    }
  }
  return keys;
}

// The entries of a PO file as the program reads them.
TPoDictionary read_po(const fs::path& path) {
  TPoDictionary entries;
  parse_po_dictionary(read_file(path), &entries);
  return entries;
}

std::set<std::string> placeholders(const std::string& text) {
  static const std::regex kPlaceholder("%[A-Za-z0-9_]+%");
  std::set<std::string> found;
  for (std::sregex_iterator it(text.begin(), text.end(), kPlaceholder), end; it != end; ++it) {
    found.insert(it->str());
  }
  return found;
}

std::vector<std::string> shipped_languages() {
  std::set<std::string> languages;
  for (const auto& entry : fs::directory_iterator(kDictionaryDir)) {
    const std::string name = entry.path().filename().string();
    const std::size_t first = name.find('.');
    if (entry.path().extension() == ".po" && first != std::string::npos) {
      languages.insert(name.substr(first + 1, name.size() - first - 4));
    }
  }
  return {languages.begin(), languages.end()};
}

TEST(Dictionaries, SourcesUseTheKeysOfEveryPart) {
  // Guards the scan itself: a scanner that finds nothing would make the next test vacuous.
  const std::set<std::string> keys = keys_in_sources();
  for (const char* key :
       {"@Err_Unknown_Option %Option%@", "@Err_Bad_Option_Value %Option%@", "@Tag_Cmd_Format@",
        "@Usage_Char_Set_Detail %OptionA1% %OptionA2% %OptionB1% %OptionB2% "
        "%OptionC1% %OptionC2%@"}) {
    EXPECT_EQ(keys.count(key), 1u) << key;
  }
}

TEST(Dictionaries, EveryKeyHasATranslationKeepingItsPlaceholders) {
  std::set<std::string> keys = keys_in_sources();
  // Printed by the driver and the codec library loader.
  for (const char* key :
       {"@Err_Access_Failed@", "@Err_Cannot_Remove_Tag@", "@Err_Cannot_Write_Tag@",
        "@Err_Cannot_Read_Tag@", "@Err_Load_Lib_Monkeys_Audio %FileName%@",
        "@Err_Get_Lib_Monkeys_Audio_Entries %FileName%@",
        "@Err_Check_Lib_Monkeys_Audio_Version %FileName%@"}) {
    keys.insert(key);
  }
  // A dictionary file missing for one language leaves all of that language's keys unanswered.
  ASSERT_EQ(shipped_languages(), (std::vector<std::string>{"en", "ja"}));
  for (const std::string& language : shipped_languages()) {
    SCOPED_TRACE(language);
    const auto common = read_po(kDictionaryDir / ("VornCommon." + language + ".po"));
    const auto tool = read_po(kDictionaryDir / ("Quillet." + language + ".po"));
    for (const std::string& key : keys) {
      // The tool's dictionary is loaded last, so its entry wins.
      auto found = tool.find(key);
      if (found == tool.end() || found->second.empty())
        found = common.find(key);
      if (found == common.end() || found->second.empty()) {
        ADD_FAILURE() << "no translation of \"" << key << "\"";
        continue;
      }
      for (const std::string& placeholder : placeholders(key)) {
        EXPECT_NE(found->second.find(placeholder), std::string::npos)
            << "\"" << key << "\" loses " << placeholder << " in \"" << found->second << "\"";
      }
    }
  }
}

TEST(Dictionaries, LabelsKeepTheirTrailingBlank) {
  for (const std::string& language : shipped_languages()) {
    const auto tool = read_po(kDictionaryDir / ("Quillet." + language + ".po"));
    for (const char* label :
         {"Title: ", "Artist: ", "Album: ", "Comment: ", "Year: ", "Genre: ", "Track: "}) {
      const auto found = tool.find(label);
      ASSERT_NE(found, tool.end()) << language << " " << label;
      EXPECT_EQ(found->second.back(), ' ') << language << " \"" << found->second << "\"";
    }
  }
}

TEST(Dictionaries, EveryFilePassesMsgfmtCheck) {
  TTempFolder folder;
  ASSERT_FALSE(folder.Path().empty());
  for (const auto& entry : fs::directory_iterator(kDictionaryDir)) {
    if (entry.path().extension() != ".po")
      continue;
    SCOPED_TRACE(entry.path().string());
    const std::string command =
        "msgfmt --check -o '" + folder.Path() + "/out.mo' '" + entry.path().string() + "' 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0);
  }
}

}  // namespace

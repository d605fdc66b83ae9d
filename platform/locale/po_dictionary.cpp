#include "platform/locale/po_dictionary.h"

#include <cstring>

namespace {

constexpr char kContextSeparator = '\x04';

bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

std::string_view trim_blanks(std::string_view line) {
  while (!line.empty() && is_blank(line.front())) {
    line.remove_prefix(1);
  }
  while (!line.empty() && is_blank(line.back())) {
    line.remove_suffix(1);
  }
  return line;
}

bool starts_with_keyword(std::string_view line, std::string_view keyword) {
  if (line.substr(0, keyword.size()) != keyword) {
    return false;
  }
  // "msgid" must not match "msgid_plural"; a keyword ends at a blank or a quote.
  return line.size() == keyword.size() || is_blank(line[keyword.size()]) ||
         line[keyword.size()] == '"';
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  return -1;
}

// Appends the unescaped content of `line`, which must be one quoted string and nothing more
// but blanks, to `out` (when `out` is null the string is checked and dropped). Returns false
// for a malformed string.
bool append_quoted(std::string_view line, std::string* out) {
  line = trim_blanks(line);
  if (line.size() < 2 || line.front() != '"') {
    return false;
  }
  std::size_t i = 1;
  while (i < line.size()) {
    // Plain text up to the next quote or backslash goes over in one piece.
    const char* const rest = line.data() + i;
    const std::size_t rest_size = line.size() - i;
    const void* quote = std::memchr(rest, '"', rest_size);
    const std::size_t plain = quote == nullptr ? rest_size : static_cast<const char*>(quote) - rest;
    const void* backslash = std::memchr(rest, '\\', plain);
    const std::size_t stop =
        i + (backslash == nullptr ? plain : static_cast<const char*>(backslash) - rest);
    if (stop == line.size()) {
      return false;
    }
    if (out != nullptr) {
      out->append(line.substr(i, stop - i));
    }
    i = stop;
    if (line[i] == '"') {
      return i + 1 == line.size();
    }
    if (i + 1 >= line.size()) {
      return false;
    }
    const char e = line[i + 1];
    i += 2;
    int value = e;
    switch (e) {
      case 'n':
        value = '\n';
        break;
      case 't':
        value = '\t';
        break;
      case 'r':
        value = '\r';
        break;
      case 'a':
        value = '\a';
        break;
      case 'b':
        value = '\b';
        break;
      case 'f':
        value = '\f';
        break;
      case 'v':
        value = '\v';
        break;
      case 'x': {
        int digits = 0;
        value = 0;
        while (digits < 2 && i < line.size() && hex_value(line[i]) >= 0) {
          value = value * 16 + hex_value(line[i]);
          ++i;
          ++digits;
        }
        if (digits == 0) {
          return false;
        }
        break;
      }
      default:
        if (e >= '0' && e <= '7') {
          value = e - '0';
          for (int digits = 1; digits < 3 && i < line.size() && line[i] >= '0' && line[i] <= '7';
               ++digits) {
            value = value * 8 + (line[i] - '0');
            ++i;
          }
        }
        break;
    }
    if (out != nullptr) {
      out->push_back(static_cast<char>(value & 0xFF));
    }
  }
  return false;
}

// One entry being read. The strings keep their capacity from entry to entry, so reading a
// dictionary allocates little beyond the map itself.
class TEntryReader {
 public:
  TEntryReader(TPoEntrySink sink, void* context) : fSink(sink), fSinkContext(context) {}

  void ReadLine(std::string_view line);
  void Finish() { Flush(); }
  std::size_t Added() const { return fAdded; }

 private:
  // Where a continuation string goes.
  enum class TField { kNone, kContext, kId, kTranslation, kIgnored };

  void Flush();
  void StartString(std::string_view rest, TField field);
  void Break() {
    fBroken = true;
    fField = TField::kNone;
  }
  std::string* Target();

  TPoEntrySink fSink;
  void* fSinkContext;
  std::size_t fAdded = 0;
  std::string fMessageContext;
  std::string fId;
  std::string fTranslation;
  TField fField = TField::kNone;
  bool fHasContext = false;
  bool fHasId = false;
  bool fHasTranslation = false;
  bool fFuzzy = false;
  bool fBroken = false;
};

std::string* TEntryReader::Target() {
  switch (fField) {
    case TField::kContext:
      return &fMessageContext;
    case TField::kId:
      return &fId;
    case TField::kTranslation:
      return &fTranslation;
    default:
      return nullptr;
  }
}

void TEntryReader::Flush() {
  const bool usable = !fBroken && !fFuzzy && fHasId && fHasTranslation && !fTranslation.empty() &&
                      (fHasContext || !fId.empty());
  if (usable) {
    if (fHasContext) {
      fMessageContext.push_back(kContextSeparator);
      fMessageContext.append(fId);
      fSink(fSinkContext, fMessageContext, fTranslation);
    } else {
      fSink(fSinkContext, fId, fTranslation);
    }
    ++fAdded;
  }
  fMessageContext.clear();
  fId.clear();
  fTranslation.clear();
  fField = TField::kNone;
  fHasContext = fHasId = fHasTranslation = fFuzzy = fBroken = false;
}

void TEntryReader::StartString(std::string_view rest, TField field) {
  fField = field;
  if (!append_quoted(rest, Target())) {
    Break();
  }
}

void TEntryReader::ReadLine(std::string_view line) {
  line = trim_blanks(line);
  if (line.empty()) {
    if (fHasTranslation) {
      Flush();
    }
    return;
  }
  if (line.front() == '#') {
    // Comments and flags come before the entry they belong to.
    if (fHasTranslation || fBroken) {
      Flush();
    }
    if (line.substr(0, 2) == "#,") {
      std::string_view flags = line.substr(2);
      while (!flags.empty()) {
        const std::size_t comma = flags.find(',');
        if (trim_blanks(flags.substr(0, comma)) == "fuzzy") {
          fFuzzy = true;
        }
        flags = comma == std::string_view::npos ? std::string_view() : flags.substr(comma + 1);
      }
    }
    return;
  }
  if (line.front() == '"') {
    if (fField == TField::kNone) {
      Break();
    } else if (!append_quoted(line, Target())) {
      Break();
    }
    return;
  }
  // The keywords exclude one another; the two that every entry has are tried first.
  if (starts_with_keyword(line, "msgid")) {
    if (fHasId || fBroken) {
      Flush();
    }
    fHasId = true;
    StartString(line.substr(5), TField::kId);
  } else if (starts_with_keyword(line, "msgstr")) {
    if (!fHasId || fHasTranslation) {
      Break();
      return;
    }
    fHasTranslation = true;
    StartString(line.substr(6), TField::kTranslation);
  } else if (starts_with_keyword(line, "msgctxt")) {
    if (fHasContext || fHasId || fBroken) {
      Flush();
    }
    fHasContext = true;
    StartString(line.substr(7), TField::kContext);
  } else if (starts_with_keyword(line, "msgid_plural")) {
    if (!fHasId || fHasTranslation) {
      Break();
      return;
    }
    StartString(line.substr(12), TField::kIgnored);
  } else if (line.substr(0, 7) == "msgstr[") {
    const std::size_t close = line.find(']');
    if (!fHasId || close == std::string_view::npos) {
      Break();
      return;
    }
    const std::string_view index = line.substr(7, close - 7);
    const bool first_form = index == "0";
    if (first_form && fHasTranslation) {
      Break();
      return;
    }
    fHasTranslation = fHasTranslation || first_form;
    StartString(line.substr(close + 1), first_form ? TField::kTranslation : TField::kIgnored);
  } else {
    Break();
  }
}

}  // namespace

std::size_t read_po_entries(std::string_view text, TPoEntrySink sink, void* context) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") {
    text.remove_prefix(3);
  }
  TEntryReader reader(sink, context);
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    reader.ReadLine(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
  }
  reader.Finish();
  return reader.Added();
}

std::size_t parse_po_dictionary(std::string_view text, TPoDictionary* dictionary) {
  if (dictionary == nullptr) {
    return 0;
  }
  return read_po_entries(
      text,
      [](void* context, std::string_view key, std::string_view translation) {
        static_cast<TPoDictionary*>(context)->insert_or_assign(std::string(key),
                                                               std::string(translation));
      },
      dictionary);
}

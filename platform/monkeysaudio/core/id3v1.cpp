#include "platform/monkeysaudio/core/id3v1.h"

#include <iconv.h>

#include <iterator>
#include <memory>
#include <optional>
#include <string>

namespace {

// The original list and the Winamp additions that most software shares.
constexpr const char* kGenres[] = {"Blues",
                                   "Classic Rock",
                                   "Country",
                                   "Dance",
                                   "Disco",
                                   "Funk",
                                   "Grunge",
                                   "Hip-Hop",
                                   "Jazz",
                                   "Metal",
                                   "New Age",
                                   "Oldies",
                                   "Other",
                                   "Pop",
                                   "R&B",
                                   "Rap",
                                   "Reggae",
                                   "Rock",
                                   "Techno",
                                   "Industrial",
                                   "Alternative",
                                   "Ska",
                                   "Death Metal",
                                   "Pranks",
                                   "Soundtrack",
                                   "Euro-Techno",
                                   "Ambient",
                                   "Trip-Hop",
                                   "Vocal",
                                   "Jazz+Funk",
                                   "Fusion",
                                   "Trance",
                                   "Classical",
                                   "Instrumental",
                                   "Acid",
                                   "House",
                                   "Game",
                                   "Sound Clip",
                                   "Gospel",
                                   "Noise",
                                   "AlternRock",
                                   "Bass",
                                   "Soul",
                                   "Punk",
                                   "Space",
                                   "Meditative",
                                   "Instrumental Pop",
                                   "Instrumental Rock",
                                   "Ethnic",
                                   "Gothic",
                                   "Darkwave",
                                   "Techno-Industrial",
                                   "Electronic",
                                   "Pop-Folk",
                                   "Eurodance",
                                   "Dream",
                                   "Southern Rock",
                                   "Comedy",
                                   "Cult",
                                   "Gangsta",
                                   "Top 40",
                                   "Christian Rap",
                                   "Pop/Funk",
                                   "Jungle",
                                   "Native American",
                                   "Cabaret",
                                   "New Wave",
                                   "Psychedelic",
                                   "Rave",
                                   "Showtunes",
                                   "Trailer",
                                   "Lo-Fi",
                                   "Tribal",
                                   "Acid Punk",
                                   "Acid Jazz",
                                   "Polka",
                                   "Retro",
                                   "Musical",
                                   "Rock & Roll",
                                   "Hard Rock",
                                   "Folk",
                                   "Folk-Rock",
                                   "National Folk",
                                   "Swing",
                                   "Fast Fusion",
                                   "Bebop",
                                   "Latin",
                                   "Revival",
                                   "Celtic",
                                   "Bluegrass",
                                   "Avantgarde",
                                   "Gothic Rock",
                                   "Progressive Rock",
                                   "Psychedelic Rock",
                                   "Symphonic Rock",
                                   "Slow Rock",
                                   "Big Band",
                                   "Chorus",
                                   "Easy Listening",
                                   "Acoustic",
                                   "Humour",
                                   "Speech",
                                   "Chanson",
                                   "Opera",
                                   "Chamber Music",
                                   "Sonata",
                                   "Symphony",
                                   "Booty Bass",
                                   "Primus",
                                   "Porn Groove",
                                   "Satire",
                                   "Slow Jam",
                                   "Club",
                                   "Tango",
                                   "Samba",
                                   "Folklore",
                                   "Ballad",
                                   "Power Ballad",
                                   "Rhythmic Soul",
                                   "Freestyle",
                                   "Duet",
                                   "Punk Rock",
                                   "Drum Solo",
                                   "A Cappella",
                                   "Euro-House",
                                   "Dance Hall"};

// Bytes of well-formed Shift-JIS that `text` starts with, stopping before a last lead byte
// left alone; *led_by_control_range tells whether a two-byte character led by 0x81..0x9F was
// seen. Returns std::string::npos when a byte breaks the structure.
size_t shift_jis_length(std::string_view text, bool* led_by_control_range) {
  *led_by_control_range = false;
  size_t pos = 0;
  while (pos < text.size()) {
    const auto lead = static_cast<uint8_t>(text[pos]);
    if (lead < 0x80 || (lead >= 0xA1 && lead <= 0xDF)) {
      ++pos;
      continue;
    }
    if (!((lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC))) {
      return std::string::npos;
    }
    if (pos + 1 == text.size()) {
      return pos;
    }
    const auto trail = static_cast<uint8_t>(text[pos + 1]);
    if (trail < 0x40 || trail == 0x7F || trail > 0xFC) {
      return std::string::npos;
    }
    *led_by_control_range = *led_by_control_range || lead <= 0x9F;
    pos += 2;
  }
  return pos;
}

// `text` in the set glibc calls `charset`, as UTF-8; nothing when a byte breaks that set or a
// character has no Unicode mapping.
std::optional<std::string> to_utf8(std::string_view text, const char* charset) {
  const iconv_t descriptor = iconv_open("UTF-8", charset);
  if (descriptor == reinterpret_cast<iconv_t>(-1)) {
    return std::nullopt;
  }
  const std::unique_ptr<void, int (*)(iconv_t)> closer(descriptor, iconv_close);
  std::string in(text);
  std::string out(in.size() * 3, '\0');  // at most three UTF-8 bytes per byte in
  char* in_next = in.data();
  size_t in_left = in.size();
  char* out_next = out.data();
  size_t out_left = out.size();
  if (iconv(descriptor, &in_next, &in_left, &out_next, &out_left) == static_cast<size_t>(-1) ||
      iconv(descriptor, nullptr, nullptr, &out_next, &out_left) == static_cast<size_t>(-1)) {
    return std::nullopt;
  }
  out.resize(out.size() - out_left);
  return out;
}

std::string latin1_to_utf8(std::string_view text) {
  std::string out;
  for (char c : text) {
    const auto byte = static_cast<uint8_t>(c);
    if (byte < 0x80) {
      out += c;
    } else {
      out += static_cast<char>(0xC0 | (byte >> 6));
      out += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return out;
}

std::string field_text(TByteSpan block, size_t offset, size_t size) {
  std::string text(reinterpret_cast<const char*>(block.data() + offset), size);
  const size_t nul = text.find('\0');
  if (nul != std::string::npos) {
    text.resize(nul);
  }
  while (!text.empty() && text.back() == ' ') {
    text.pop_back();
  }
  return id3v1_text_to_utf8(text);
}

void add_text(std::vector<TApeItem>& items, const char* key, std::string value) {
  if (!value.empty()) {
    items.push_back(TApeItem{key, kApeItemText, std::move(value)});
  }
}

}  // namespace

std::string id3v1_text_to_utf8(std::string_view text) {
  if (text.find("\x1B$") != std::string_view::npos) {
    if (auto converted = to_utf8(text, "ISO-2022-JP")) {
      return *converted;
    }
  }
  bool led_by_control_range = false;
  const size_t length = shift_jis_length(text, &led_by_control_range);
  if (length != std::string::npos && led_by_control_range) {
    if (auto converted = to_utf8(text.substr(0, length), "CP932")) {
      return *converted;
    }
  }
  return latin1_to_utf8(text);
}

std::vector<TApeItem> parse_id3v1(TByteSpan block) {
  std::vector<TApeItem> items;
  if (block.size() < kId3v1Bytes || !has_text_at(block, 0, "TAG")) {
    return items;
  }
  add_text(items, "Title", field_text(block, 3, 30));
  add_text(items, "Artist", field_text(block, 33, 30));
  add_text(items, "Album", field_text(block, 63, 30));
  add_text(items, "Year", field_text(block, 93, 4));
  // ID3v1.1 keeps the track number in the comment's last byte, after a NUL.
  const bool has_track = block[125] == 0 && block[126] != 0;
  add_text(items, "Comment", field_text(block, 97, has_track ? 28 : 30));
  if (has_track) {
    add_text(items, "Track", std::to_string(block[126]));
  }
  if (block[127] < std::size(kGenres)) {
    add_text(items, "Genre", kGenres[block[127]]);
  }
  return items;
}

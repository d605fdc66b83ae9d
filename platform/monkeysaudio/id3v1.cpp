#include "platform/monkeysaudio/id3v1.h"

#include <iterator>
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

std::string field_text(TByteSpan block, size_t offset, size_t size) {
  std::string text(reinterpret_cast<const char*>(block.data() + offset), size);
  const size_t nul = text.find('\0');
  if (nul != std::string::npos) {
    text.resize(nul);
  }
  while (!text.empty() && text.back() == ' ') {
    text.pop_back();
  }
  return text;
}

void add_text(std::vector<TApeItem>& items, const char* key, std::string value) {
  if (!value.empty()) {
    items.push_back(TApeItem{key, kApeItemText, std::move(value)});
  }
}

}  // namespace

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

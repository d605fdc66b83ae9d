// Reader for message dictionaries in the gettext PO format, held in memory.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

using TPoDictionary = std::unordered_map<std::string, std::string>;

// Receives each usable entry in the order of the text: its key and its translation.
using TPoEntrySink = void (*)(void* context, std::string_view key, std::string_view translation);

// Adds every usable entry of the PO text `text` to `dictionary` and returns how many it added
// (a key given twice counts twice; the later translation wins). What is usable, as msgfmt has it:
// - the header entry (empty msgid) and entries flagged "#, fuzzy" are skipped;
// - an empty translation is not stored, so a lookup falls through to other dictionaries;
// - an entry with a msgctxt is stored under context + "\x04" + msgid, gettext's key for
//   context lookups, so it never answers a lookup without context;
// - a plural entry is stored as msgid -> msgstr[0]; the other forms are ignored;
// - strings follow C: \n \t \r \a \b \f \v \" \' \? \\, up to three octal digits, and \x with
//   up to two hex digits; an unknown escape stands for the character after the backslash;
// - "#~" (obsolete) and every other comment line are ignored; CR LF line ends and a leading
//   UTF-8 byte order mark are accepted.
// A malformed line (an unknown keyword, a string without its closing quote, text after a
// string, a msgstr without msgid) drops the entry it occurs in; reading resumes at the next
// msgctxt or msgid. Any byte sequence is safe input: one pass, nothing read outside `text`.
std::size_t parse_po_dictionary(std::string_view text, TPoDictionary* dictionary);

// The same reading, handing each usable entry to `sink` instead of storing it. Returns how many
// entries it handed over.
std::size_t read_po_entries(std::string_view text, TPoEntrySink sink, void* context);

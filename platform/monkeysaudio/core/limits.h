// Every size limit of the tag library, and the format sizes they are made of. Where one limit
// rests on another, the relation is checked here when the library is compiled.
#pragma once

#include <cstddef>
#include <cstdint>

// Format sizes.
constexpr size_t kApeTagBlockBytes = 32;  // an APE tag's header and footer alike
constexpr size_t kApeItemMinBytes = 11;   // value size, flags, a two-byte key and its NUL
constexpr size_t kApeKeyMaxBytes = 255;
constexpr size_t kId3v1Bytes = 128;
constexpr uint64_t kLyrics3EndBytes = 15;     // six size digits and "LYRICS200"
constexpr uint64_t kLyrics3MaxSize = 999999;  // what six digits can say
constexpr uint64_t kJournalHeaderBytes = 96;

// Items larger than this (all items together) make a tag we neither trust nor write: room for
// the largest cover scans and booklets real files hold, while a save still fits in memory.
constexpr uint64_t kApeTagMaxItemBytes = 64 << 20;
constexpr uint32_t kApeTagMaxItems = 65536;

// The largest tag region read or written: an APE tag with the largest items area, its header and
// footer, a Lyrics3v2 block and an ID3v1 tag. The one limit of tag size: the reader trusts no
// larger tag, the writer makes none, and a save's journal holds one.
constexpr uint64_t kTagRegionMaxBytes =
    kApeTagMaxItemBytes + 2 * kApeTagBlockBytes + kLyrics3MaxSize + kLyrics3EndBytes + kId3v1Bytes;

// A save's block is at most twice the largest tag region: the zeros that complete cut-short
// audio before a tag are never more than the tag and its tail.
constexpr uint64_t kSaveMaxBlockBytes = 2 * kTagRegionMaxBytes;

// The unit the disk is assumed to write whole or not at all: a save whose changes lie in one
// page needs no journal.
constexpr uint64_t kPageBytes = 4096;

// Bytes a first read takes at either end of a file: one page, which holds the header of almost
// every file and most text tags. A larger tag (cover art) costs a second read, cheaper than the
// fresh pages a larger first read would touch at every open.
constexpr uint64_t kFirstReadBytes = kPageBytes;

// Bytes read at a time by a reader that walks an APE tag's items: the text items of a tag and
// the header of its cover in one read.
constexpr uint64_t kItemsChunkBytes = 64 << 10;

// Bytes moved or compared per read while a save streams a region (the old tag into its journal,
// back from it, or against the new block): a large cover is never held twice.
constexpr uint64_t kCopyChunkBytes = 1 << 20;

// The Monkey's Audio header: how far past an ID3v2 tag it is looked for, how large its
// descriptor and header may be, and so how many bytes a reader hands over to cover both.
constexpr uint64_t kApeJunkScanLimit = 1 << 20;
constexpr uint32_t kApeDescriptorMaxBytes = 4096;
constexpr uint32_t kApeHeaderFieldsMaxBytes = 4096;
constexpr uint64_t kApeHeaderMaxBytes = kApeDescriptorMaxBytes + kApeHeaderFieldsMaxBytes;
constexpr uint64_t kApeHeaderWindow = kApeJunkScanLimit + kApeHeaderMaxBytes;

// A journal's "before" and "head" spans: enough to tell another program's edit from ours.
constexpr uint64_t kJournalSpanBytes = 64 << 10;

static_assert(kTagRegionMaxBytes <= kSaveMaxBlockBytes,
              "every tag the reader trusts can be written back, and its journal holds it");
static_assert(kJournalHeaderBytes + kTagRegionMaxBytes < (uint64_t{1} << 31),
              "a journal's record stays well within what the file layer handles");

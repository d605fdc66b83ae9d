// Console output of the family's tools: every text is looked up by key through be_locale,
// its %Placeholders% filled, and written to standard output (errors included).
#pragma once

#include <initializer_list>
#include <string>
#include <utility>

#include "option/option.h"
#include "platform/support/support_defs.h"

// One placeholder and the text that replaces it, e.g. {"%Option%", "-X=5"}.
using TPlaceholder = std::pair<const char*, std::string>;

// The looked-up text of `key` with each placeholder replaced, in the order given, at every
// occurrence. A key that no dictionary holds gives the key itself; a placeholder that the
// text lacks is skipped.
std::string make_message(const char* key, std::initializer_list<TPlaceholder> values = {});

// Writes the looked-up "ERROR: ", then `message` (already looked up and filled; at a terminal
// with its control bytes made visible, see append_visible), then a newline, and flushes.
void exp_err(const std::string& message);

// The banner when `option.verbose` is set: an empty line, the name and version, the credit
// line with the looked-up author name, an empty line. Writes nothing otherwise.
void exp_app_info(const TOption& option);

// Overwrites the current console line with the text of `key`, "%Done%" filled with the whole
// percentage done and "%Remain%" with the estimated seconds left. `progress` is in
// thousandths of a percent (100000 = finished), `elapsed` in microseconds. A progress of zero
// or less gives no estimate: "%Remain%" is then 0. No newline is written.
void exp_progress(const char* key, int32 progress, int64 elapsed);

// Bytes and calls that the code linked into a test or benchmark passed to the system, counted by
// wrapping the calls at link time (the io_counting target), so the shipped I/O path holds no
// counter of its own.
#pragma once

#include <cstdint>
#include <string>

struct TIoCounters {
  uint64_t read_calls = 0;
  uint64_t bytes_read = 0;
  uint64_t write_calls = 0;
  uint64_t bytes_written = 0;
  // When set, every write, cut and sync is logged here as its kind ('w', 't', 'd' for
  // fdatasync, 's' for fsync), in order.
  std::string* calls = nullptr;
};
TIoCounters& io_counters();

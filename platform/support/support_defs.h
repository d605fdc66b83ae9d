// Basic types and status codes of the platform layer.
#pragma once

#include <cstdint>

typedef int32_t int32;
typedef uint32_t uint32;
typedef int64_t int64;
typedef uint64_t uint64;
typedef int32 status_t;

// Status codes: B_OK is success, every failure is negative.
constexpr status_t B_OK = 0;
constexpr status_t B_ERROR = -1;
constexpr status_t B_NO_MEMORY = -2;
constexpr status_t B_BAD_VALUE = -3;
constexpr status_t B_NO_INIT = -4;
constexpr status_t B_ENTRY_NOT_FOUND = -5;
constexpr status_t B_NOT_ALLOWED = -6;
constexpr status_t B_IO_ERROR = -7;
constexpr status_t B_NAME_TOO_LONG = -8;
constexpr status_t B_ALREADY_RUNNING = static_cast<status_t>(0x80002004);

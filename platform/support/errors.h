// The platform's status codes for the errno values of Linux calls.
#pragma once

#include "platform/support/support_defs.h"

// B_ENTRY_NOT_FOUND, B_NOT_ALLOWED, B_NAME_TOO_LONG, B_NO_MEMORY, B_BAD_VALUE or B_IO_ERROR for
// the errno values that mean those; B_ERROR for any other. Never B_OK.
status_t status_from_errno(int error);

#include "platform/support/errors.h"

#include <cerrno>

status_t status_from_errno(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ENODATA:
      return B_ENTRY_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
      return B_NOT_ALLOWED;
    case ENAMETOOLONG:
      return B_NAME_TOO_LONG;
    case ENOMEM:
      return B_NO_MEMORY;
    case EINVAL:
    case E2BIG:
    case ERANGE:
    case EISDIR:
      return B_BAD_VALUE;
    case EIO:
      return B_IO_ERROR;
    default:
      return B_ERROR;
  }
}

#include <windows.h>

#include "platform/file_error.h"

int FileErrorCauseFromWin32(unsigned long error_code) {
  switch (error_code) {
    case ERROR_FILE_NOT_FOUND: return 2;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_INVALID_DRIVE:
    case ERROR_DIRECTORY: return 3;
    case ERROR_TOO_MANY_OPEN_FILES: return 4;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT: return 5;
    case ERROR_INVALID_HANDLE: return 6;
    case ERROR_CURRENT_DIRECTORY: return 7;
    case ERROR_CANNOT_MAKE: return 8;
    case ERROR_NEGATIVE_SEEK:
    case ERROR_SEEK:
    case ERROR_SEEK_ON_DEVICE: return 9;
    case ERROR_CRC:
    case ERROR_IO_DEVICE:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
    case ERROR_GEN_FAILURE:
    case ERROR_SECTOR_NOT_FOUND:
    case ERROR_NOT_DOS_DISK: return 10;
    case ERROR_SHARING_VIOLATION:
    case ERROR_SHARING_BUFFER_EXCEEDED: return 11;
    case ERROR_LOCK_VIOLATION:
    case ERROR_DRIVE_LOCKED:
    case ERROR_LOCK_FAILED: return 12;
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_DISK_FULL: return 13;
    case ERROR_HANDLE_EOF: return 14;
    default: return 1;
  }
}

// Directory search: FindFirstFile / FindNextFile / FindClose over Windows paths mapped
// through the Wine prefix (see winpath.h) and Linux paths. The program uses it to test
// whether a file or folder exists.
#pragma once

#include "platform/wintypes.h"

namespace win {

inline constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x01;
inline constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;

// The part of the platform's find record that is filled in: the attributes (DIRECTORY for
// a folder, NORMAL for a file, READONLY added when nobody may write to it), the size of a
// file in two halves, and the entry's real name (UTF-8, null-terminated).
struct WIN32_FIND_DATA {
    DWORD dwFileAttributes;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    CHAR cFileName[MAX_PATH];
};
using LPWIN32_FIND_DATA = WIN32_FIND_DATA*;

// Starts a search for pattern. * and ? in the last component match any run of characters
// and any one character without regard to letter case; a pattern ending in ".*" also
// matches names without that extension, so "*.*" matches every name. "." and ".." are not
// reported. Entries come in case-insensitive name order. Fills data with the first match
// and returns a handle for FindNextFile, to be closed with FindClose. On failure returns
// INVALID_HANDLE_VALUE with the last error set to ERROR_FILE_NOT_FOUND (nothing matches,
// a trailing separator, a pattern longer than 259 characters), ERROR_PATH_NOT_FOUND (a
// folder on the way or the drive is missing) or ERROR_INVALID_NAME (a wildcard before the
// last component).
HANDLE FindFirstFile(LPCSTR pattern, WIN32_FIND_DATA* data);

// The next match of the search; FALSE with ERROR_NO_MORE_FILES after the last.
BOOL FindNextFile(HANDLE search, WIN32_FIND_DATA* data);

// Ends the search and frees it. FALSE with ERROR_INVALID_HANDLE for a handle that is not an
// open search.
BOOL FindClose(HANDLE search);

}  // namespace win

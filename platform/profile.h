// The private-profile functions: values kept in INI files, read and written by section and key.
// The file name is a Linux path (a relative one is taken from the working folder). Texts are
// UTF-8. Section and key names are matched without regard to ASCII letter case and with white
// space around them ignored; see platform/inidocument.h for how the file's lines are read.
#pragma once

#include "platform/wintypes.h"

namespace win {

// The value of key as an integer: white space skipped, an optional sign, then decimal digits up
// to the first other character (none: 0), taken modulo 2^32. defaultValue when the file, the
// section or the key is missing or the value is empty. A quoted value is read without its
// quotes, as GetPrivateProfileString returns it.
UINT GetPrivateProfileInt(LPCSTR section, LPCSTR key, INT defaultValue, LPCSTR fileName);

// Copies the value of key (trimmed, one pair of enclosing quotes removed), or defaultValue
// without its trailing white space when the key is missing (a null default is empty), into
// buffer with a terminating zero. A longer text is cut to size - 1 bytes. Returns the number of
// bytes copied, not counting the zero; with size 0 nothing is written and 0 is returned.
// A value holding a NUL byte ends there. Listing the sections or keys of a file (a null section
// or key) is not offered: it returns 0 with an empty buffer.
DWORD GetPrivateProfileString(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer,
                              DWORD size, LPCSTR fileName);

// Sets key in section to value, creating the file (and missing parent folders), the section
// or the key as needed; a null value removes the key, a null key removes the whole section.
// Every line the change does not concern stays as it was, and the file keeps its line endings.
// The file is replaced atomically under an advisory lock, so concurrent writers from several
// processes lose nothing. When readers would see no difference (the same value is already
// there, a missing key is removed), the file is not rewritten.
// Returns FALSE, leaving the file as it was, when section or fileName is null, when a name or
// the value holds a line break (or a section name ']', a key name '=' or a leading '[', ';' or
// '#'), or when the file cannot be read or replaced; GetLastError tells which.
BOOL WritePrivateProfileString(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR fileName);

}  // namespace win

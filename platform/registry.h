// The registry functions the program uses, with the platform's results. Keys live in hives
// of our own (HKEY_CURRENT_USER in $XDG_CONFIG_HOME/fleetwing/user.reg, HKEY_LOCAL_MACHINE in
// .../system.reg); keys that our hives do not hold are read from the Wine prefix's hives,
// which are never written. The user's Run key is the XDG autostart folder.
// Texts are UTF-8; strings are kept as UTF-16 in the hives.
#pragma once

#include "platform/regformat.h"
#include "platform/wintypes.h"

namespace win {

using REGSAM = DWORD;

inline const HKEY HKEY_CURRENT_USER =
    reinterpret_cast<HKEY>(static_cast<INT_PTR>(static_cast<LONG>(0x80000001)));
inline const HKEY HKEY_LOCAL_MACHINE =
    reinterpret_cast<HKEY>(static_cast<INT_PTR>(static_cast<LONG>(0x80000002)));

inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr REGSAM KEY_NOTIFY = 0x0010;
inline constexpr REGSAM KEY_CREATE_LINK = 0x0020;
inline constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
inline constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
inline constexpr REGSAM KEY_READ = 0x20019;
inline constexpr REGSAM KEY_WRITE = 0x20006;
inline constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

inline constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
inline constexpr DWORD REG_CREATED_NEW_KEY = 1;
inline constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

using reg::REG_BINARY;
using reg::REG_DWORD;
using reg::REG_EXPAND_SZ;
using reg::REG_MULTI_SZ;
using reg::REG_NONE;
using reg::REG_SZ;

struct SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
};

// Opens an existing key. 2 (ERROR_FILE_NOT_FOUND) when it does not exist.
LONG RegOpenKeyEx(HKEY key, LPCSTR subKey, DWORD options, REGSAM desired, PHKEY result);

// Opens a key, creating it and its parents when missing. Only non-volatile keys are supported.
LONG RegCreateKeyEx(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options,
                    REGSAM desired, const SECURITY_ATTRIBUTES* security, PHKEY result,
                    LPDWORD disposition);

// Reads a value: its type, and its data when data is given. A size that is too small gives
// 234 (ERROR_MORE_DATA) with *size set to the size needed and the buffer left untouched.
// Strings come as UTF-8 with the terminator they were stored with.
LONG RegQueryValueEx(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                     LPDWORD size);

// Writes a value. String data is given as UTF-8 bytes (terminator included, as the caller
// counts it).
LONG RegSetValueEx(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                   DWORD size);

LONG RegDeleteValue(HKEY key, LPCSTR valueName);

LONG RegCloseKey(HKEY key);

}  // namespace win

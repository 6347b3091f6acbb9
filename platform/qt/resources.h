// Resources found by number and type, as the platform's resource functions find them.
//
// The program's resources are files compiled in with Qt's resource system under
// ":/res/<type>/<name>". A numeric type or name is written "#<number>", a textual one as it
// stands in upper case (the platform compares resource names and types without regard to
// case). So GIF 176 is ":/res/GIF/#176", the skin ":/res/SKINMAGIC/DEFAULT", dialog template
// 102 ":/res/#5/#102" and icon 128 ":/res/#14/#128". A resource file (.qrc) must therefore
// spell its aliases that way.
#pragma once

#include <QString>

#include "platform/wintypes.h"

namespace win {

struct HRSRC__;
using HRSRC = HRSRC__*;
using HGLOBAL = HANDLE;

// An identifier below 65536 carried in the pointer value in place of a name, as the platform
// passes numeric resource names and types.
inline LPCSTR MAKEINTRESOURCE(WORD id) {
    return reinterpret_cast<LPCSTR>(static_cast<UINT_PTR>(id));
}
inline bool IS_INTRESOURCE(LPCSTR name) {
    return (reinterpret_cast<UINT_PTR>(name) >> 16) == 0;
}

// The standard resource types.
inline const LPCSTR RT_BITMAP = MAKEINTRESOURCE(2);
inline const LPCSTR RT_ICON = MAKEINTRESOURCE(3);
inline const LPCSTR RT_MENU = MAKEINTRESOURCE(4);
inline const LPCSTR RT_DIALOG = MAKEINTRESOURCE(5);
inline const LPCSTR RT_STRING = MAKEINTRESOURCE(6);
inline const LPCSTR RT_RCDATA = MAKEINTRESOURCE(10);
inline const LPCSTR RT_GROUP_ICON = MAKEINTRESOURCE(14);

// Finds a resource of the program. A name or type is a number (MAKEINTRESOURCE, or the text
// "#<number>") or a text in any case. The module is null or the program's own handle; any
// other module has no resources (ERROR_RESOURCE_DATA_NOT_FOUND). An unknown type gives null and
// ERROR_RESOURCE_TYPE_NOT_FOUND, an unknown name within a known type null and
// ERROR_RESOURCE_NAME_NOT_FOUND. The same resource always gives the same handle.
HRSRC FindResource(HMODULE module, LPCSTR name, LPCSTR type);

// Makes the resource's bytes available; they are decompressed at most once and kept for the
// life of the process. Null with ERROR_INVALID_HANDLE for a handle FindResource did not give.
HGLOBAL LoadResource(HMODULE module, HRSRC resource);

// The first byte of a loaded resource, valid for the life of the process; null for null.
LPVOID LockResource(HGLOBAL loaded);

// The resource's size in bytes; 0 with ERROR_INVALID_HANDLE for a handle FindResource did not
// give.
DWORD SizeofResource(HMODULE module, HRSRC resource);

// The Qt resource path under which the resource of that name and type is compiled in
// (":/res/GIF/#176"), for code that reads it through Qt (QFile, QPixmap). Empty when the name
// or type cannot name a resource (null, empty, or containing '/').
QString ResourcePath(LPCSTR name, LPCSTR type);

}  // namespace win

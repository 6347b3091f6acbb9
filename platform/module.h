// Modules: the program's own file name and handle, and the built-in table of modules the
// program loads by name ("Iphlpapi.dll") and whose entry points it looks up.
//
// On Linux the modules the program asks for are parts of the program itself: the code that
// implements a module registers it under its name with the entry points it offers. LoadLibrary,
// GetProcAddress and FreeLibrary then behave as the platform's do, including their failures.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/wintypes.h"

namespace win {

// The full path of the module's file, as the platform reports it. A null module, the program's
// own handle or a module of the built-in table (they are all part of the executable) give the
// running executable's path (read from /proc/self/exe). Returns the number of characters copied,
// not counting the terminating zero. When the buffer is too small the path is cut to size-1
// characters plus the zero, the result is size and the last error ERROR_INSUFFICIENT_BUFFER.
// A size of 0 copies nothing and returns 0. An unknown module gives 0 and ERROR_MOD_NOT_FOUND.
DWORD GetModuleFileName(HMODULE module, LPSTR buffer, DWORD size);

// A null name gives the program's own module handle, a fixed non-null value. A name gives the
// handle of that module of the built-in table if it is currently loaded (no reference is
// added), else null with ERROR_MOD_NOT_FOUND.
HMODULE GetModuleHandle(LPCSTR name);

// Loads a module of the built-in table and counts a reference to it. The name is matched
// without regard to case; a path before it is ignored; a name without an extension gets ".dll"
// appended (a trailing dot means "no extension"). An unknown module gives null and
// ERROR_MOD_NOT_FOUND; a null name ERROR_INVALID_PARAMETER. The same module always has the
// same handle.
HMODULE LoadLibrary(LPCSTR name);

// The entry point of that exact (case-sensitive) name. A missing entry point, or an ordinal
// (names below 65536 carried in the pointer value; the built-in modules export none), gives
// null and ERROR_PROC_NOT_FOUND; a handle that is no module gives null and
// ERROR_INVALID_HANDLE. A null module stands for the program, which exports nothing.
FARPROC GetProcAddress(HMODULE module, LPCSTR name);

// Releases a reference taken by LoadLibrary. The module stays in the table and its handle stays
// valid; it is merely no longer "loaded" for GetModuleHandle once its references are gone. A
// handle that is no module (null included), or one without references, gives FALSE and
// ERROR_INVALID_HANDLE. Freeing the program's own handle does nothing and succeeds.
BOOL FreeLibrary(HMODULE module);

// Entry points of a module, by name.
using ModuleEntries = std::vector<std::pair<std::string, FARPROC>>;

// Puts a module in the built-in table, replacing the entry points of an earlier registration of
// the same name (the handle stays the same, and so do its references).
void RegisterModule(std::string name, ModuleEntries entries);

// Takes one entry point out of a registered module, so that GetProcAddress reports it missing.
// Returns whether there was such an entry point. For tests.
bool RemoveEntryPoint(LPCSTR module, LPCSTR entry);

// Takes a module out of the table: LoadLibrary no longer finds it, and a handle still held to
// it finds no entry points. Registering it again brings back the same handle. For tests.
void UnregisterModule(LPCSTR name);

// Registers a module when constructed; meant for a namespace-scope object in the file that
// implements the module, so that the module exists before main runs:
//     const win::ModuleRegistration registration{"Iphlpapi.dll", {{"GetIfTable", ...}}};
// The table is created on first use, so the order of static initialisation does not matter.
// In a static library the object file must be referenced from elsewhere to be linked in.
class ModuleRegistration {
public:
    ModuleRegistration(std::string name, ModuleEntries entries);
};

// Turns a function of any signature into the generic entry-point type, and back, as the
// platform's callers cast the result of GetProcAddress. The detour through void(*)() is the
// conversion compilers accept without a function-type warning.
template <typename Function>
FARPROC ToEntryPoint(Function* function) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}
template <typename Function>
Function* FromEntryPoint(FARPROC entry) {
    return reinterpret_cast<Function*>(reinterpret_cast<void (*)()>(entry));
}

}  // namespace win

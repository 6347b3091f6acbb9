#include "platform/module.h"

#include "platform/iphlpapi.h"

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string_view>

#include "platform/paths.h"
#include "platform/unicode.h"

namespace win {

namespace detail {
// The entry points of the system modules that the platform provides.
ModuleEntries IpHelperEntries();
}  // namespace detail

namespace {

// The address of this object is the program's own module handle: fixed, non-null, and never
// the address of a module of the table.
const char programModuleTag = 0;

HMODULE ProgramModule() {
    return reinterpret_cast<HMODULE>(const_cast<char*>(&programModuleTag));
}

bool IsProgram(HMODULE module) {
    return module == nullptr || module == ProgramModule();
}

// An entry point asked for by ordinal: a number below 65536 carried in the pointer value.
bool IsOrdinal(LPCSTR name) {
    return (reinterpret_cast<UINT_PTR>(name) >> 16) == 0;
}

// The name under which a module is kept: its file name without any folder, ".dll" appended
// when it has no extension (a trailing dot asks for none), letters folded.
std::string ModuleKey(std::string_view name) {
    const auto separator = name.find_last_of("\\/:");
    if (separator != std::string_view::npos) {
        name.remove_prefix(separator + 1);
    }
    std::string file(name);
    if (!file.empty() && file.back() == '.') {
        file.pop_back();
    } else if (file.find('.') == std::string::npos) {
        file += ".dll";
    }
    return text::FoldCaseUtf8(file);
}

struct Module {
    std::map<std::string, FARPROC, std::less<>> entries;
    bool registered = false;
    unsigned references = 0;
};

// Every module ever registered, by key and by handle. A module object lives as long as the
// process, so its handle never dangles; unregistering only empties it.
class ModuleTable {
public:
    void Register(std::string_view name, ModuleEntries entries) {
        const std::lock_guard lock(mutex_);
        Module& module = Obtain(ModuleKey(name));
        module.entries.clear();
        for (auto& [entryName, function] : entries) {
            if (function != nullptr) {
                module.entries[std::move(entryName)] = function;
            }
        }
        module.registered = true;
    }

    void Unregister(std::string_view name) {
        const std::lock_guard lock(mutex_);
        if (Module* module = Registered(name)) {
            module->entries.clear();
            module->registered = false;
        }
    }

    bool RemoveEntry(std::string_view name, std::string_view entry) {
        const std::lock_guard lock(mutex_);
        Module* module = Registered(name);
        if (module == nullptr) {
            return false;
        }
        const auto found = module->entries.find(entry);
        if (found == module->entries.end()) {
            return false;
        }
        module->entries.erase(found);
        return true;
    }

    HMODULE Load(std::string_view name) {
        const std::lock_guard lock(mutex_);
        Module* module = Registered(name);
        if (module == nullptr) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
        ++module->references;
        return HandleOf(module);
    }

    HMODULE LoadedHandle(std::string_view name) {
        const std::lock_guard lock(mutex_);
        Module* module = Registered(name);
        if (module == nullptr || module->references == 0) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
        return HandleOf(module);
    }

    BOOL Free(HMODULE handle) {
        const std::lock_guard lock(mutex_);
        Module* module = Find(handle);
        if (module == nullptr || module->references == 0) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        --module->references;
        return TRUE;
    }

    FARPROC Entry(HMODULE handle, LPCSTR name) {
        const std::lock_guard lock(mutex_);
        const Module* module = Find(handle);
        if (module == nullptr) {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        if (!IsOrdinal(name)) {
            const auto found = module->entries.find(std::string_view(name));
            if (found != module->entries.end()) {
                return found->second;
            }
        }
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }

    bool IsModule(HMODULE handle) {
        const std::lock_guard lock(mutex_);
        return Find(handle) != nullptr;
    }

private:
    static HMODULE HandleOf(Module* module) { return reinterpret_cast<HMODULE>(module); }

    Module& Obtain(const std::string& key) {
        auto& slot = byKey_[key];
        if (!slot) {
            slot = std::make_unique<Module>();
            byHandle_.insert(HandleOf(slot.get()));
        }
        return *slot;
    }

    Module* Registered(std::string_view name) {
        const auto found = byKey_.find(ModuleKey(name));
        if (found == byKey_.end() || !found->second->registered) {
            return nullptr;
        }
        return found->second.get();
    }

    Module* Find(HMODULE handle) {
        if (byHandle_.count(handle) == 0) {
            return nullptr;
        }
        return reinterpret_cast<Module*>(handle);
    }

    std::mutex mutex_;
    std::map<std::string, std::unique_ptr<Module>> byKey_;
    std::set<HMODULE> byHandle_;
};

ModuleTable& Table() {
    // Created on first use, whatever the order of static initialisation, and never destroyed,
    // so that a handle is valid even in the destructors of other static objects. The system's
    // modules are in it from the start.
    static ModuleTable* const table = [] {
        auto* created = new ModuleTable;
        created->Register(kIpHelperModule, detail::IpHelperEntries());
        return created;
    }();
    return *table;
}

}  // namespace

DWORD GetModuleFileName(HMODULE module, LPSTR buffer, DWORD size) {
    if (!IsProgram(module) && !Table().IsModule(module)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    if (size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (buffer == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::string path = paths::ExecutablePath();
    if (path.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    if (path.size() < size) {
        std::memcpy(buffer, path.data(), path.size());
        buffer[path.size()] = '\0';
        return static_cast<DWORD>(path.size());
    }
    std::memcpy(buffer, path.data(), size - 1);
    buffer[size - 1] = '\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
}

HMODULE GetModuleHandle(LPCSTR name) {
    if (name == nullptr) {
        return ProgramModule();
    }
    return Table().LoadedHandle(name);
}

HMODULE LoadLibrary(LPCSTR name) {
    if (name == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return Table().Load(name);
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
    if (IsProgram(module)) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return Table().Entry(module, name);
}

BOOL FreeLibrary(HMODULE module) {
    if (module == ProgramModule()) {
        // The program stays loaded whatever its callers do.
        return TRUE;
    }
    return Table().Free(module);
}

void RegisterModule(std::string name, ModuleEntries entries) {
    Table().Register(name, std::move(entries));
}

bool RemoveEntryPoint(LPCSTR module, LPCSTR entry) {
    if (module == nullptr || entry == nullptr || IsOrdinal(entry)) {
        return false;
    }
    return Table().RemoveEntry(module, entry);
}

void UnregisterModule(LPCSTR name) {
    if (name != nullptr) {
        Table().Unregister(name);
    }
}

ModuleRegistration::ModuleRegistration(std::string name, ModuleEntries entries) {
    RegisterModule(std::move(name), std::move(entries));
}

}  // namespace win

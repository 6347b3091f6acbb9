#include "platform/registry.h"

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/autostart.h"
#include "platform/hivefile.h"
#include "platform/paths.h"
#include "platform/unicode.h"

namespace win {

namespace {

using reg::Hive;
using reg::HiveFile;
using reg::Value;

constexpr std::u16string_view kRunKey = u"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr std::string_view kUserRoot = "REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000";
constexpr std::string_view kMachineRoot = "REGISTRY\\\\Machine";

enum class Root { User, Machine };

struct OpenKey {
    Root root = Root::User;
    std::u16string path;  // components joined by single backslashes; empty for the root
    REGSAM access = 0;
};

class HandleTable {
public:
    HKEY Add(OpenKey key) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_next += 4;
        m_keys.emplace(m_next, std::move(key));
        return reinterpret_cast<HKEY>(m_next);
    }
    std::optional<OpenKey> Get(HKEY key) {
        if (key == HKEY_CURRENT_USER) {
            return OpenKey{Root::User, {}, KEY_ALL_ACCESS};
        }
        if (key == HKEY_LOCAL_MACHINE) {
            return OpenKey{Root::Machine, {}, KEY_ALL_ACCESS};
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto it = m_keys.find(reinterpret_cast<UINT_PTR>(key));
        if (it == m_keys.end()) {
            return std::nullopt;
        }
        return it->second;
    }
    bool Remove(HKEY key) {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_keys.erase(reinterpret_cast<UINT_PTR>(key)) == 1;
    }

private:
    std::mutex m_mutex;
    UINT_PTR m_next = 0x1000;
    std::unordered_map<UINT_PTR, OpenKey> m_keys;
};

HandleTable& Handles() {
    static auto* table = new HandleTable;  // outlives every static that may close a key
    return *table;
}

// One HiveFile per path, so each file is parsed once per version. The paths follow the
// environment, which tests change.
HiveFile& HiveAt(const std::string& path, std::string_view root) {
    static std::mutex mutex;
    static auto* files = new std::map<std::string, std::unique_ptr<HiveFile>>;
    std::lock_guard<std::mutex> lock(mutex);
    auto& file = (*files)[path];
    if (!file) {
        file = std::make_unique<HiveFile>(path, std::string(root));
    }
    return *file;
}

HiveFile& OwnHive(Root root) {
    return root == Root::User ? HiveAt(paths::StoreFolder() + "/user.reg", kUserRoot)
                              : HiveAt(paths::StoreFolder() + "/system.reg", kMachineRoot);
}

HiveFile& WineHive(Root root) {
    return root == Root::User ? HiveAt(paths::WinePrefix() + "/user.reg", kUserRoot)
                              : HiveAt(paths::WinePrefix() + "/system.reg", kMachineRoot);
}

bool StartsWithKey(std::u16string_view path, std::u16string_view prefix) {
    return path.size() > prefix.size() &&
           text::EqualNoCase(path.substr(0, prefix.size()), prefix) && path[prefix.size()] == u'\\';
}

bool IsRunKey(const OpenKey& k) {
    return k.root == Root::User && text::EqualNoCase(k.path, kRunKey);
}
bool IsBelowRunKey(const OpenKey& k) {
    return k.root == Root::User && StartsWithKey(k.path, kRunKey);
}
bool IsAboveRunKey(const OpenKey& k) {
    return k.root == Root::User && (k.path.empty() || StartsWithKey(kRunKey, k.path));
}

// Where a key of the Wine prefix may stand: a 32-bit program's view of the machine's
// Software key is Software\Wow6432Node first.
std::vector<std::u16string> WineCandidates(const OpenKey& k) {
    std::vector<std::u16string> candidates;
    constexpr std::u16string_view software = u"Software";
    const bool underSoftware =
        text::EqualNoCase(k.path, software) || StartsWithKey(k.path, software);
    if (k.root == Root::Machine && underSoftware && !(k.access & KEY_WOW64_64KEY)) {
        candidates.push_back(u"Software\\Wow6432Node" + k.path.substr(software.size()));
    }
    if (!(k.root == Root::Machine && underSoftware && (k.access & KEY_WOW64_32KEY))) {
        candidates.push_back(k.path);
    }
    return candidates;
}

// The hive that answers for a key, and the key's path in it; nothing when the key does not
// exist. Our own hive answers for every key it holds.
struct Source {
    std::shared_ptr<const Hive> hive;
    std::u16string path;
};

std::optional<Source> Resolve(const OpenKey& k) {
    auto own = OwnHive(k.root).Load();
    if (k.path.empty() || own->Exists(k.path)) {
        return Source{own, k.path};
    }
    auto wine = WineHive(k.root).Load();
    for (auto& candidate : WineCandidates(k)) {
        if (wine->Exists(candidate)) {
            return Source{wine, std::move(candidate)};
        }
    }
    return std::nullopt;
}

bool KeyExists(const OpenKey& k) {
    if (IsRunKey(k) || IsAboveRunKey(k)) {
        return true;
    }
    if (IsBelowRunKey(k)) {
        return false;
    }
    return Resolve(k).has_value();
}

// Joins a relative key name to an open key. Names are split at backslashes; a name that
// starts with one, or holds two in a row, is not a key name.
LONG Join(const OpenKey& base, LPCSTR subKey, OpenKey& out) {
    out = base;
    if (subKey == nullptr || *subKey == '\0') {
        return ERROR_SUCCESS;
    }
    std::u16string name = text::ToUtf16(subKey);
    while (!name.empty() && name.back() == u'\\') {
        name.pop_back();
    }
    if (name.empty() || name.front() == u'\\' || name.find(u"\\\\") != std::u16string::npos) {
        return ERROR_BAD_PATHNAME;
    }
    out.path = base.path.empty() ? name : base.path + u"\\" + name;
    return ERROR_SUCCESS;
}

// A key about to be written to our hive takes along the values it showed from the Wine
// prefix, so that writing one value does not hide the others.
void CopyOnWrite(Hive& own, const OpenKey& k, std::uint64_t now) {
    if (own.Exists(k.path)) {
        return;
    }
    auto wine = WineHive(k.root).Load();
    for (const auto& candidate : WineCandidates(k)) {
        if (const reg::Key* key = wine->Find(candidate)) {
            for (const Value& v : key->values) {
                own.SetValue(k.path, v, now);
            }
            return;
        }
        if (wine->Exists(candidate)) {
            return;
        }
    }
}

std::u16string ValueName(LPCSTR name) {
    return name == nullptr ? u"" : text::ToUtf16(name);
}

// The value's data as a caller of the 8-bit functions sees it.
std::vector<BYTE> ExternalData(const Value& v) {
    if (!reg::IsStringType(v.type)) {
        return v.data;
    }
    std::u16string units;
    units.reserve(v.data.size() / 2);
    for (std::size_t i = 0; i + 1 < v.data.size(); i += 2) {
        units += static_cast<char16_t>(v.data[i] | (v.data[i + 1] << 8));
    }
    const std::string utf8 = text::ToUtf8(units);
    return std::vector<BYTE>(utf8.begin(), utf8.end());
}

Value InternalValue(std::u16string name, DWORD type, const BYTE* data, DWORD size) {
    Value v{std::move(name), type, {}};
    if (data == nullptr || size == 0) {
        return v;
    }
    if (!reg::IsStringType(type)) {
        v.data.assign(data, data + size);
        return v;
    }
    const std::u16string units =
        text::ToUtf16(std::string_view(reinterpret_cast<const char*>(data), size));
    for (const char16_t u : units) {
        v.data.push_back(static_cast<BYTE>(u & 0xFF));
        v.data.push_back(static_cast<BYTE>(u >> 8));
    }
    return v;
}

LONG OpenOrCreate(HKEY key, LPCSTR subKey, REGSAM desired, PHKEY result, bool create,
                  LPDWORD disposition) {
    if (result == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    const auto base = Handles().Get(key);
    if (!base) {
        return ERROR_INVALID_HANDLE;
    }
    OpenKey k;
    if (const LONG rc = Join(*base, subKey, k); rc != ERROR_SUCCESS) {
        return rc;
    }
    k.access = desired;
    DWORD how = REG_OPENED_EXISTING_KEY;
    if (!KeyExists(k)) {
        if (!create) {
            return ERROR_FILE_NOT_FOUND;
        }
        if (IsBelowRunKey(k)) {
            return ERROR_ACCESS_DENIED;
        }
        const LONG rc = OwnHive(k.root).Update([&](Hive& own) {
            if (own.Exists(k.path)) {
                return false;
            }
            own.Touch(k.path, reg::Now());
            return true;
        });
        if (rc != ERROR_SUCCESS) {
            return rc;
        }
        how = REG_CREATED_NEW_KEY;
    }
    *result = Handles().Add(std::move(k));
    if (disposition != nullptr) {
        *disposition = how;
    }
    return ERROR_SUCCESS;
}

}  // namespace

LONG RegOpenKeyEx(HKEY key, LPCSTR subKey, DWORD /*options*/, REGSAM desired, PHKEY result) {
    return OpenOrCreate(key, subKey, desired, result, false, nullptr);
}

LONG RegCreateKeyEx(HKEY key, LPCSTR subKey, DWORD /*reserved*/, LPSTR /*keyClass*/, DWORD options,
                    REGSAM desired, const SECURITY_ATTRIBUTES* /*security*/, PHKEY result,
                    LPDWORD disposition) {
    if (options != REG_OPTION_NON_VOLATILE) {
        return ERROR_INVALID_PARAMETER;
    }
    if (const auto base = Handles().Get(key); base && !(base->access & KEY_CREATE_SUB_KEY)) {
        return ERROR_ACCESS_DENIED;
    }
    return OpenOrCreate(key, subKey, desired, result, true, disposition);
}

LONG RegQueryValueEx(HKEY key, LPCSTR valueName, LPDWORD /*reserved*/, LPDWORD type, LPBYTE data,
                     LPDWORD size) {
    const auto k = Handles().Get(key);
    if (!k) {
        return ERROR_INVALID_HANDLE;
    }
    if (!(k->access & KEY_QUERY_VALUE)) {
        return ERROR_ACCESS_DENIED;
    }
    if (data != nullptr && size == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    DWORD foundType = REG_NONE;
    std::vector<BYTE> bytes;
    if (IsRunKey(*k)) {
        const auto line = autostart::Query(valueName == nullptr ? "" : valueName);
        if (!line) {
            return ERROR_FILE_NOT_FOUND;
        }
        foundType = REG_SZ;
        bytes.assign(line->begin(), line->end());
        bytes.push_back(0);
    } else {
        const auto source = Resolve(*k);
        const reg::Key* found = source ? source->hive->Find(source->path) : nullptr;
        const Value* value = found ? found->FindValue(ValueName(valueName)) : nullptr;
        if (value == nullptr) {
            return ERROR_FILE_NOT_FOUND;
        }
        foundType = value->type;
        bytes = ExternalData(*value);
    }
    if (type != nullptr) {
        *type = foundType;
    }
    const auto needed = static_cast<DWORD>(bytes.size());
    if (data != nullptr) {
        if (*size < needed) {
            *size = needed;
            return ERROR_MORE_DATA;
        }
        if (needed > 0) {
            std::memcpy(data, bytes.data(), needed);
        }
    }
    if (size != nullptr) {
        *size = needed;
    }
    return ERROR_SUCCESS;
}

LONG RegSetValueEx(HKEY key, LPCSTR valueName, DWORD /*reserved*/, DWORD type, const BYTE* data,
                   DWORD size) {
    const auto k = Handles().Get(key);
    if (!k) {
        return ERROR_INVALID_HANDLE;
    }
    if (!(k->access & KEY_SET_VALUE)) {
        return ERROR_ACCESS_DENIED;
    }
    if (data == nullptr && size != 0) {
        return ERROR_INVALID_PARAMETER;
    }
    if (IsRunKey(*k)) {
        if (!reg::IsStringType(type) || type == REG_MULTI_SZ) {
            return ERROR_INVALID_PARAMETER;
        }
        std::string line(reinterpret_cast<const char*>(data), size);
        line.resize(std::strlen(line.c_str()));
        return autostart::Set(valueName == nullptr ? "" : valueName, line);
    }
    if (k->path.empty()) {
        return ERROR_ACCESS_DENIED;  // the roots hold no values of their own
    }
    if (!KeyExists(*k)) {
        return ERROR_KEY_DELETED;
    }
    const Value value = InternalValue(ValueName(valueName), type, data, size);
    return OwnHive(k->root).Update([&](Hive& own) {
        const auto now = reg::Now();
        CopyOnWrite(own, *k, now);
        own.SetValue(k->path, value, now);
        return true;
    });
}

LONG RegDeleteValue(HKEY key, LPCSTR valueName) {
    const auto k = Handles().Get(key);
    if (!k) {
        return ERROR_INVALID_HANDLE;
    }
    if (!(k->access & KEY_SET_VALUE)) {
        return ERROR_ACCESS_DENIED;
    }
    if (IsRunKey(*k)) {
        return autostart::Delete(valueName == nullptr ? "" : valueName);
    }
    if (k->path.empty()) {
        return ERROR_FILE_NOT_FOUND;
    }
    const std::u16string name = ValueName(valueName);
    bool found = false;
    const LONG rc = OwnHive(k->root).Update([&](Hive& own) {
        const auto now = reg::Now();
        CopyOnWrite(own, *k, now);
        found = own.DeleteValue(k->path, name, now);
        return found;
    });
    if (rc != ERROR_SUCCESS) {
        return rc;
    }
    return found ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

LONG RegCloseKey(HKEY key) {
    if (key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE) {
        return ERROR_SUCCESS;
    }
    return Handles().Remove(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

}  // namespace win

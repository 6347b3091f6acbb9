#include "platform/qt/resources.h"

#include <QByteArray>
#include <QFileInfo>
#include <QResource>

#include <map>
#include <memory>
#include <mutex>
#include <set>

#include "platform/module.h"

namespace win {

namespace {

// "#<number>" for an identifier given as a number; empty for 0, which names nothing.
QString NumberComponent(UINT_PTR id) {
    if (id == 0) {
        return {};
    }
    return QLatin1Char('#') + QString::number(id);
}

// The text "#<decimal number below 65536>" names the resource of that number, as on the
// platform. Returns 0 for any other text.
UINT_PTR NumberInText(const QByteArray& text) {
    if (text.size() < 2 || text.size() > 6 || text.front() != '#') {
        return 0;
    }
    UINT_PTR number = 0;
    for (qsizetype i = 1; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return 0;
        }
        number = number * 10 + static_cast<UINT_PTR>(text[i] - '0');
    }
    return number <= 0xFFFF ? number : 0;
}

// One component of a resource path: the number form, or the text in upper case. Empty when
// the identifier cannot name a resource.
QString Component(LPCSTR id) {
    if (IS_INTRESOURCE(id)) {
        return NumberComponent(reinterpret_cast<UINT_PTR>(id));
    }
    const QByteArray text(id);
    if (const UINT_PTR number = NumberInText(text); number != 0) {
        return NumberComponent(number);
    }
    if (text.isEmpty() || text.contains('/')) {
        return {};
    }
    return QString::fromUtf8(text).toUpper();
}

bool IsProgram(HMODULE module) {
    return module == nullptr || module == GetModuleHandle(nullptr);
}

// A resource that FindResource has found. Its bytes are those Qt compiled in, or a
// decompressed copy made on the first LoadResource and kept from then on.
struct Resource {
    explicit Resource(const QString& path) : file(path) {}

    QResource file;
    const void* bytes = nullptr;
    QByteArray decompressed;
};

// Every resource found so far, by path. Entries are never removed, so a resource is loaded
// at most once and its handle and bytes stay valid.
class ResourceCache {
public:
    HRSRC Find(const QString& type, const QString& name) {
        const QString typeFolder = QStringLiteral(":/res/") + type;
        const QString path = typeFolder + QLatin1Char('/') + name;
        const std::lock_guard lock(mutex_);
        if (const auto found = byPath_.find(path); found != byPath_.end()) {
            return HandleOf(found->second.get());
        }
        if (!QFileInfo(typeFolder).isDir()) {
            SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
            return nullptr;
        }
        if (!QFileInfo(path).isFile()) {
            SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
            return nullptr;
        }
        auto resource = std::make_unique<Resource>(path);
        const HRSRC handle = HandleOf(resource.get());
        known_.insert(resource.get());
        byPath_.emplace(path, std::move(resource));
        return handle;
    }

    HGLOBAL Load(HRSRC handle) {
        const std::lock_guard lock(mutex_);
        Resource* resource = Known(handle);
        if (resource == nullptr) {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        if (resource->bytes == nullptr) {
            if (resource->file.compressionAlgorithm() == QResource::NoCompression) {
                resource->bytes = resource->file.data();
            } else {
                resource->decompressed = resource->file.uncompressedData();
                resource->bytes = resource->decompressed.constData();
            }
            if (resource->bytes == nullptr) {
                // An empty file still has a first byte to point at.
                static const char nothing = 0;
                resource->bytes = &nothing;
            }
        }
        return resource;
    }

    LPVOID Lock(HGLOBAL loaded) {
        const std::lock_guard lock(mutex_);
        const auto found = known_.find(static_cast<Resource*>(loaded));
        if (found == known_.end() || (*found)->bytes == nullptr) {
            return nullptr;
        }
        return const_cast<void*>((*found)->bytes);
    }

    DWORD Size(HRSRC handle) {
        const std::lock_guard lock(mutex_);
        const Resource* resource = Known(handle);
        if (resource == nullptr) {
            SetLastError(ERROR_INVALID_HANDLE);
            return 0;
        }
        return static_cast<DWORD>(resource->file.uncompressedSize());
    }

private:
    static HRSRC HandleOf(Resource* resource) { return reinterpret_cast<HRSRC>(resource); }

    Resource* Known(HRSRC handle) const {
        const auto found = known_.find(reinterpret_cast<Resource*>(handle));
        return found != known_.end() ? *found : nullptr;
    }

    std::mutex mutex_;
    std::map<QString, std::unique_ptr<Resource>> byPath_;
    std::set<Resource*> known_;
};

ResourceCache& Cache() {
    // Never destroyed: the bytes handed out stay valid until the process ends.
    static ResourceCache* const cache = new ResourceCache;
    return *cache;
}

}  // namespace

HRSRC FindResource(HMODULE module, LPCSTR name, LPCSTR type) {
    if (!IsProgram(module)) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    const QString typePart = Component(type);
    if (typePart.isEmpty()) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return nullptr;
    }
    const QString namePart = Component(name);
    if (namePart.isEmpty()) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return Cache().Find(typePart, namePart);
}

// The handle alone says which resource is meant; the module is not consulted.
HGLOBAL LoadResource(HMODULE /*module*/, HRSRC resource) {
    return Cache().Load(resource);
}

LPVOID LockResource(HGLOBAL loaded) {
    if (loaded == nullptr) {
        return nullptr;
    }
    return Cache().Lock(loaded);
}

DWORD SizeofResource(HMODULE /*module*/, HRSRC resource) {
    return Cache().Size(resource);
}

QString ResourcePath(LPCSTR name, LPCSTR type) {
    const QString typePart = Component(type);
    const QString namePart = Component(name);
    if (typePart.isEmpty() || namePart.isEmpty()) {
        return {};
    }
    return QStringLiteral(":/res/") + typePart + QLatin1Char('/') + namePart;
}

}  // namespace win

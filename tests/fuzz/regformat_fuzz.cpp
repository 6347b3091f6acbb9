// Arbitrary bytes as a registry hive: reading never fails or reads out of bounds, and what was
// read always writes out as a clean hive that reads back to the same text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/regformat.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    win::reg::Hive hive = win::reg::Hive::Parse(text);
    for (const auto& [folded, key] : hive.Keys()) {
        (void)hive.Exists(key.path);
        (void)key.FindValue(u"");
        if (hive.Find(key.path) != &key) {
            __builtin_trap();
        }
    }
    hive.EnsureHeader("REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000");
    hive.SetValue(u"Software\\Fleetwing", {u"Network", win::reg::REG_DWORD, {1, 0, 0, 0}}, 1);
    const std::string once = hive.Serialize();
    const win::reg::Hive reread = win::reg::Hive::Parse(once);
    if (reread.Damaged() || reread.Serialize() != once) {
        __builtin_trap();
    }
    return 0;
}

#include "accel/localaddresses.h"

#include <algorithm>

#include "net/localaddresslist.h"

std::vector<std::string> LocalAddressTexts() {
    const int count = std::clamp(theLocalAddressList.m_count, 0, CLocalAddressList::kCapacity);
    std::vector<std::string> texts;
    texts.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        texts.emplace_back(theLocalAddressList.m_entries[static_cast<std::size_t>(i)].data());
    }
    return texts;
}

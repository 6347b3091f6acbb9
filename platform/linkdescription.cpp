#include "platform/linkdescription.h"

namespace win::iphelper {

namespace {

// Cuts text to at most limit bytes, backing off to the start of a UTF-8 sequence.
void CutTo(std::string& text, std::size_t limit) {
    if (text.size() <= limit) {
        return;
    }
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
        --end;
    }
    text.resize(end);
}

}  // namespace

std::string DescribeInterface(const DescriptionSources& sources) {
    std::string_view hardware;
    if (sources.loopback) {
        hardware = "Software Loopback Interface";
    } else if (!sources.model.empty()) {
        hardware = sources.model;
    } else if (!sources.driver.empty()) {
        hardware = sources.driver;
    } else {
        hardware = sources.kind;
    }
    std::string description(sources.name);
    if (!hardware.empty()) {
        description += " - ";
        description += hardware;
    }
    CutTo(description, kMaxDescriptionLength);
    return description;
}

}  // namespace win::iphelper

// Reading what the argv_recorder helper wrote down about how it was started.
#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fwtest {

namespace fs = std::filesystem;

// What argv_recorder wrote down.
struct Record {
    std::vector<std::string> argv;
    std::string cwd;
    std::optional<std::string> winePrefix;
    std::string stdinTarget;
    std::string fds;
    std::string sid;
};

inline std::optional<Record> ParseRecord(const std::string& text) {
    Record record;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t space = text.find(' ', pos);
        const std::size_t colon = text.find(':', space);
        if (space == std::string::npos || colon == std::string::npos) {
            return std::nullopt;
        }
        const std::string key = text.substr(pos, space - pos);
        const std::size_t length = std::stoul(text.substr(space + 1, colon - space - 1));
        if (colon + 1 + length >= text.size() + 1 || text[colon + 1 + length] != '\n') {
            return std::nullopt;
        }
        std::string value = text.substr(colon + 1, length);
        pos = colon + 1 + length + 1;
        if (key == "arg") {
            record.argv.push_back(std::move(value));
        } else if (key == "cwd") {
            record.cwd = std::move(value);
        } else if (key == "wineprefix") {
            record.winePrefix = std::move(value);
        } else if (key == "stdin") {
            record.stdinTarget = std::move(value);
        } else if (key == "fds") {
            record.fds = std::move(value);
        } else if (key == "sid") {
            record.sid = std::move(value);
        }
    }
    return record;
}

// Waits for a launched recorder's file; a bound on the wait, not a measure of speed.
inline std::optional<Record> WaitForRecord(const fs::path& file) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        if (fs::exists(file)) {
            std::ifstream in(file, std::ios::binary);
            std::stringstream text;
            text << in.rdbuf();
            return ParseRecord(text.str());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return std::nullopt;
}

}  // namespace fwtest

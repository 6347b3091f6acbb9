#include "platform/cmdline.h"

namespace win::cmdline {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool NeedsQuotes(const std::string& arg) {
    return arg.empty() || arg.find_first_of(" \t\"") != std::string::npos;
}

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view line) {
    std::vector<std::string> args;
    std::size_t i = 0;
    const std::size_t n = line.size();
    for (;;) {
        while (i < n && IsBlank(line[i])) {
            ++i;
        }
        if (i >= n) {
            break;
        }
        std::string arg;
        bool quoted = false;
        while (i < n && (quoted || !IsBlank(line[i]))) {
            std::size_t backslashes = 0;
            while (i < n && line[i] == '\\') {
                ++backslashes;
                ++i;
            }
            if (i < n && line[i] == '"') {
                arg.append(backslashes / 2, '\\');
                if (backslashes % 2 == 1) {
                    arg += '"';
                    ++i;
                } else if (quoted && i + 1 < n && line[i + 1] == '"') {
                    arg += '"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else if (backslashes > 0) {
                // Whatever follows is looked at on the next round.
                arg.append(backslashes, '\\');
            } else {
                arg += line[i++];
            }
        }
        args.push_back(std::move(arg));
    }
    return args;
}

std::string JoinCommandLine(const std::vector<std::string>& args) {
    std::string line;
    for (std::size_t a = 0; a < args.size(); ++a) {
        const std::string& arg = args[a];
        if (a > 0) {
            line += ' ';
        }
        if (!NeedsQuotes(arg)) {
            line += arg;
            continue;
        }
        line += '"';
        std::size_t backslashes = 0;
        for (const char c : arg) {
            if (c == '\\') {
                ++backslashes;
                continue;
            }
            if (c == '"') {
                // Every backslash doubled, and one more to make the quote literal.
                line.append(2 * backslashes + 1, '\\');
            } else {
                line.append(backslashes, '\\');
            }
            backslashes = 0;
            line += c;
        }
        // Backslashes before the closing quote are doubled so that it still closes.
        line.append(2 * backslashes, '\\');
        line += '"';
    }
    return line;
}

}  // namespace win::cmdline

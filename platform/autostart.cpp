#include "platform/autostart.h"

#include <dirent.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/atomicfile.h"
#include "platform/cmdline.h"
#include "platform/paths.h"
#include "platform/unicode.h"

namespace win::autostart {

namespace {

constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";

bool ValidName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

// The entry file for name: an existing one whose name matches without regard to case, else
// the name the entry would get.
std::string EntryPath(std::string_view name, bool& exists) {
    const std::string folder = Folder();
    const std::string wanted = std::string(name) + ".desktop";
    exists = ::access((folder + "/" + wanted).c_str(), F_OK) == 0;
    if (exists) {
        return folder + "/" + wanted;
    }
    if (DIR* dir = ::opendir(folder.c_str())) {
        const std::string folded = text::FoldCaseUtf8(wanted);
        while (const dirent* entry = ::readdir(dir)) {
            if (text::FoldCaseUtf8(entry->d_name) == folded) {
                exists = true;
                const std::string found = folder + "/" + entry->d_name;
                ::closedir(dir);
                return found;
            }
        }
        ::closedir(dir);
    }
    return folder + "/" + wanted;
}

// The string escapes of desktop entry values.
std::string EscapeValue(std::string_view raw) {
    std::string out;
    for (const char c : raw) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
                break;
        }
    }
    if (!out.empty() && out.front() == ' ') {
        out.replace(0, 1, "\\s");
    }
    return out;
}

std::string UnescapeValue(std::string_view value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        switch (const char e = value[++i]) {
            case 's':
                out += ' ';
                break;
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case 'r':
                out += '\r';
                break;
            case '\\':
                out += '\\';
                break;
            default:
                out += '\\';
                out += e;
                break;
        }
    }
    return out;
}

struct Entry {
    bool isDesktopEntry = false;
    bool hidden = false;
    std::string exec;
};

Entry ReadEntry(const std::string& content) {
    Entry entry;
    bool inMain = false;
    std::size_t pos = 0;
    while (pos < content.size()) {
        auto end = content.find('\n', pos);
        if (end == std::string::npos) {
            end = content.size();
        }
        std::string_view line(content.data() + pos, end - pos);
        pos = end + 1;
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        if (line.starts_with('[')) {
            inMain = line == "[Desktop Entry]";
            entry.isDesktopEntry = entry.isDesktopEntry || inMain;
            continue;
        }
        const auto eq = line.find('=');
        if (!inMain || eq == std::string_view::npos) {
            continue;
        }
        std::string_view key = line.substr(0, eq);
        std::string_view value = line.substr(eq + 1);
        while (!key.empty() && key.back() == ' ') {
            key.remove_suffix(1);
        }
        while (!value.empty() && value.front() == ' ') {
            value.remove_prefix(1);
        }
        if (key == "Exec") {
            entry.exec = UnescapeValue(value);
        } else if (key == "Hidden") {
            entry.hidden = value == "true";
        }
    }
    return entry;
}

}  // namespace

std::string Folder() {
    return paths::ConfigHome() + "/autostart";
}

std::string ExecFromCommandLine(std::string_view commandLine) {
    std::string exec;
    for (const std::string& arg : cmdline::SplitCommandLine(commandLine)) {
        if (!exec.empty()) {
            exec += ' ';
        }
        const bool quote = arg.empty() || arg.find_first_of(kReserved) != std::string::npos;
        if (quote) {
            exec += '"';
        }
        for (const char c : arg) {
            if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) {
                exec += '\\';
            }
            exec += c;
            if (c == '%') {
                exec += '%';
            }
        }
        if (quote) {
            exec += '"';
        }
    }
    return exec;
}

std::string CommandLineFromExec(std::string_view exec) {
    std::vector<std::string> args;
    std::string current;
    bool inArg = false;
    bool quoted = false;
    for (std::size_t i = 0; i < exec.size(); ++i) {
        const char c = exec[i];
        if (quoted) {
            if (c == '\\' && i + 1 < exec.size() &&
                std::string_view("\"`$\\").find(exec[i + 1]) != std::string_view::npos) {
                current += exec[++i];
            } else if (c == '"') {
                quoted = false;
            } else if (c == '%' && i + 1 < exec.size() && exec[i + 1] == '%') {
                current += exec[++i];
            } else {
                current += c;
            }
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\n') {
            if (inArg) {
                args.push_back(std::move(current));
                current.clear();
                inArg = false;
            }
            continue;
        }
        if (c == '"') {
            quoted = true;
            inArg = true;
        } else if (c == '%' && i + 1 < exec.size()) {
            // %% is a percent sign; any other field code stands for nothing here.
            if (exec[++i] == '%') {
                current += '%';
                inArg = true;
            }
        } else {
            current += c;
            inArg = true;
        }
    }
    if (inArg) {
        args.push_back(std::move(current));
    }
    if (args.empty()) {
        return {};
    }
    // The program is always quoted, as a command line written for the platform has it.
    std::string line;
    if (args.front().find('"') == std::string::npos) {
        line = "\"" + args.front() + "\"";
    } else {
        line = cmdline::JoinCommandLine({args.front()});
    }
    if (args.size() > 1) {
        line += ' ';
        line += cmdline::JoinCommandLine(std::vector<std::string>(args.begin() + 1, args.end()));
    }
    return line;
}

std::optional<std::string> Query(std::string_view name) {
    if (!ValidName(name)) {
        return std::nullopt;
    }
    bool exists = false;
    const std::string path = EntryPath(name, exists);
    if (!exists) {
        return std::nullopt;
    }
    const auto content = fs::ReadWholeFile(path);
    if (!content) {
        return std::nullopt;
    }
    const Entry entry = ReadEntry(*content);
    if (!entry.isDesktopEntry || entry.hidden) {
        return std::nullopt;
    }
    return CommandLineFromExec(entry.exec);
}

LONG Set(std::string_view name, std::string_view commandLine) {
    if (!ValidName(name)) {
        return ERROR_INVALID_PARAMETER;
    }
    bool exists = false;
    const std::string path = EntryPath(name, exists);
    std::string content = "[Desktop Entry]\nType=Application\nName=";
    content += EscapeValue(name);
    content += "\nExec=";
    content += EscapeValue(ExecFromCommandLine(commandLine));
    content += "\nTerminal=false\nX-GNOME-Autostart-enabled=true\n";
    fs::FileLock lock(path);
    if (const auto old = fs::ReadWholeFile(path); old && *old == content) {
        return ERROR_SUCCESS;
    }
    return fs::ReplaceFile(path, content) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

LONG Delete(std::string_view name) {
    if (!ValidName(name)) {
        return ERROR_FILE_NOT_FOUND;
    }
    bool exists = false;
    const std::string path = EntryPath(name, exists);
    if (!exists) {
        return ERROR_FILE_NOT_FOUND;
    }
    if (::unlink(path.c_str()) != 0) {
        return errno == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED;
    }
    return ERROR_SUCCESS;
}

}  // namespace win::autostart

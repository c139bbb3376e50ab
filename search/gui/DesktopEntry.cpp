#include "DesktopEntry.h"

#include "KeyFileText.h"
#include "childProcess.h"

namespace {

const char* const kEntryGroup = "Desktop Entry";

// The escapes every string value of a key file may carry.
std::string unescapeString(const std::string& value) {
    std::string text;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            text += value[i];
            continue;
        }
        char next = value[++i];
        switch (next) {
        case 's':
            text += ' ';
            break;
        case 'n':
            text += '\n';
            break;
        case 't':
            text += '\t';
            break;
        case 'r':
            text += '\r';
            break;
        case '\\':
            text += '\\';
            break;
        default:
            text += '\\';
            text += next;
        }
    }
    return text;
}

std::string escapeString(const std::string& text) {
    std::string value;
    for (char c : text) {
        switch (c) {
        case '\\':
            value += "\\\\";
            break;
        case '\n':
            value += "\\n";
            break;
        case '\t':
            value += "\\t";
            break;
        case '\r':
            value += "\\r";
            break;
        default:
            value += c;
        }
    }
    return value;
}

std::string unescapePercent(const std::string& text) {
    std::string plain;
    for (size_t i = 0; i < text.size(); ++i) {
        plain += text[i];
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '%') ++i;
    }
    return plain;
}

} // namespace

std::string execValueFor(const std::string& program) {
    std::string quoted = "\"";
    for (char c : program) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        quoted += c;
        if (c == '%') quoted += '%';
    }
    quoted += "\"";
    return escapeString(quoted) + " %f";
}

std::string programFromExec(const std::string& value) {
    std::string command = unescapeString(value);
    size_t start = command.find_first_not_of(" \t");
    if (start == std::string::npos) return "";
    command.erase(0, start);
    if (command[0] == '"') {
        std::string program;
        for (size_t i = 1; i < command.size() && command[i] != '"'; ++i) {
            if (command[i] == '\\' && i + 1 < command.size()) ++i;
            program += command[i];
        }
        return unescapePercent(program);
    }
    return unescapePercent(command.substr(0, command.find_first_of(" \t")));
}

std::string programOnDisk(const std::string& program) {
    if (program.empty()) return "";
    if (program.find('/') == std::string::npos) return locateProgram(program, {});
    return isExecutableFile(program) ? program : "";
}

std::string desktopEntryText(const std::string& name, const std::string& program,
                             const std::string& mimeType) {
    return std::string("[") + kEntryGroup + "]\n" + "Type=Application\n" +
           "Name=" + escapeString(name) + "\n" + "Exec=" + execValueFor(program) + "\n" +
           "MimeType=" + mimeType + ";\n" + "NoDisplay=true\n" + "Terminal=false\n";
}

std::string execValueOf(const std::string& entryText) {
    return keyFileValue(entryText, kEntryGroup, "Exec").value_or("");
}

#include "hostdata/ini_document.h"

#include <cstddef>
#include <vector>

namespace quorbel {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view trim(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool sameName(std::string_view left, std::string_view right) {
    if (left.size() != right.size()) return false;
    for (std::size_t index = 0; index < left.size(); ++index) {
        if (lowerAscii(left[index]) != lowerAscii(right[index])) return false;
    }
    return true;
}

enum class LineKind { Blank, Comment, Section, Key, Other };

struct Line {
    std::string_view content;  // without its line ending
    std::string_view ending;   // "\n", "\r\n" or "" for a last line without one
    LineKind kind = LineKind::Other;
    std::string_view name;   // of a section or key
    std::string_view value;  // raw text after '=' of a key line
};

Line classify(std::string_view content, std::string_view ending) {
    Line line;
    line.content = content;
    line.ending = ending;
    const std::string_view text = trim(content);
    if (text.empty()) {
        line.kind = LineKind::Blank;
    } else if (text.front() == ';') {
        line.kind = LineKind::Comment;
    } else if (text.front() == '[') {
        const std::string_view inside = text.substr(1);
        line.kind = LineKind::Section;
        line.name = trim(inside.substr(0, inside.find(']')));
    } else if (const std::size_t equals = text.find('='); equals != std::string_view::npos) {
        line.kind = LineKind::Key;
        line.name = trim(text.substr(0, equals));
        line.value = text.substr(equals + 1);
    }
    return line;
}

// The document's lines; a byte order mark before the first is left out.
std::vector<Line> splitLines(std::string_view body) {
    std::vector<Line> lines;
    while (!body.empty()) {
        const std::size_t newline = body.find('\n');
        if (newline == std::string_view::npos) {
            lines.push_back(classify(body, {}));
            break;
        }
        const bool crlf = newline > 0 && body[newline - 1] == '\r';
        const std::size_t contentLength = crlf ? newline - 1 : newline;
        lines.push_back(classify(body.substr(0, contentLength), body.substr(contentLength, newline + 1 - contentLength)));
        body.remove_prefix(newline + 1);
    }
    return lines;
}

std::string_view withoutByteOrderMark(std::string_view document) {
    if (document.substr(0, kByteOrderMark.size()) == kByteOrderMark) document.remove_prefix(kByteOrderMark.size());
    return document;
}

std::string decodeValue(std::string_view raw) {
    std::string_view value = trim(raw);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
}

std::string encodeValue(std::string_view value) {
    const bool enclosed = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                          value.back() == value.front();
    if (trim(value) != value || enclosed) return "\"" + std::string(value) + "\"";
    return std::string(value);
}

// Where a section's lines are: its header, its last key-like line, and the
// line after it ends.
struct SectionSpan {
    std::size_t header = 0;
    std::size_t lastEntry = 0;  // the header when the section has no entries
    std::size_t end = 0;
    std::optional<std::size_t> key;
};

std::optional<SectionSpan> findSection(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
    std::optional<SectionSpan> span;
    for (std::size_t index = 0; index < lines.size(); ++index) {
        const Line& line = lines[index];
        if (line.kind == LineKind::Section) {
            if (span) {
                span->end = index;
                return span;
            }
            if (sameName(line.name, section)) span = SectionSpan{index, index, lines.size(), std::nullopt};
        } else if (span && (line.kind == LineKind::Key || line.kind == LineKind::Other)) {
            span->lastEntry = index;
            if (!span->key && line.kind == LineKind::Key && sameName(line.name, key)) span->key = index;
        }
    }
    return span;
}

std::string_view documentLineEnding(const std::vector<Line>& lines) {
    if (!lines.empty() && !lines.front().ending.empty()) return lines.front().ending;
    return "\n";
}

bool hasAny(std::string_view text, std::string_view characters) {
    return text.find_first_of(characters) != std::string_view::npos;
}

Status checkName(std::string_view what, std::string_view name, std::string_view forbidden) {
    const bool valid = !name.empty() && trim(name) == name && !hasAny(name, forbidden) && name.front() != '[' &&
                       name.front() != ';';
    if (valid) return Status::success();
    return Status::failure("The " + std::string(what) + " name \"" + std::string(name) +
                           "\" cannot be stored in an INI file");
}

}  // namespace

std::optional<std::string> findIniValue(std::string_view document, std::string_view section, std::string_view key) {
    const std::vector<Line> lines = splitLines(withoutByteOrderMark(document));
    const auto span = findSection(lines, section, key);
    if (!span || !span->key) return std::nullopt;
    return decodeValue(lines[*span->key].value);
}

Status checkIniEntry(std::string_view section, std::string_view key, std::string_view value) {
    using namespace std::string_view_literals;
    if (Status status = checkName("section", section, "\r\n\0]"sv); !status) return status;
    if (Status status = checkName("key", key, "\r\n\0="sv); !status) return status;
    if (hasAny(value, "\r\n\0"sv)) {
        return Status::failure("The value of \"" + std::string(key) + "\" cannot hold a line break or a NUL");
    }
    return Status::success();
}

std::string setIniValue(std::string_view document, std::string_view section, std::string_view key,
                        std::string_view value) {
    const std::string_view body = withoutByteOrderMark(document);
    const std::string_view byteOrderMark = document.substr(0, document.size() - body.size());
    const std::vector<Line> lines = splitLines(body);
    const std::string_view ending = documentLineEnding(lines);
    const auto span = findSection(lines, section, key);

    std::string output(byteOrderMark);
    auto appendLine = [&output](std::string_view content, std::string_view lineEnding) {
        output.append(content);
        output.append(lineEnding);
    };
    const std::string entry = std::string(span && span->key ? lines[*span->key].name : key) + "=" + encodeValue(value);
    for (std::size_t index = 0; index < lines.size(); ++index) {
        const Line& line = lines[index];
        if (span && span->key == index) {
            appendLine(entry, line.ending);
            continue;
        }
        const bool insertAfter = span && !span->key && index == span->lastEntry;
        appendLine(line.content, insertAfter && line.ending.empty() ? ending : line.ending);
        if (insertAfter) appendLine(entry, ending);
    }
    if (!span) {
        if (!lines.empty() && lines.back().ending.empty()) output.append(ending);
        appendLine("[" + std::string(section) + "]", ending);
        appendLine(entry, ending);
    }
    return output;
}

}  // namespace quorbel

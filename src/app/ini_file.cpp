#include "app/ini_file.h"

#include <cerrno>
#include <charconv>
#include <fstream>
#include <iterator>
#include <utility>
#include <system_error>

namespace veltro {

namespace {

constexpr std::string_view kBlanks = " \t\r";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return true;
}

bool IsQuote(char c) { return c == '"' || c == '\''; }

// "'x'" and "\"x\"" lose their quotes when read, as with the Windows profile functions.
std::string_view Unquote(std::string_view value) {
    if (value.size() >= 2 && IsQuote(value.front()) && value.front() == value.back())
        return value.substr(1, value.size() - 2);
    return value;
}

// The form a value is written in so that reading it back gives it unchanged.
std::string Quoted(std::string_view value) {
    const bool blankAtEdge = !value.empty() && (kBlanks.find(value.front()) != std::string_view::npos ||
                                                kBlanks.find(value.back()) != std::string_view::npos);
    const bool looksQuoted = value.size() >= 2 && IsQuote(value.front()) && value.front() == value.back();
    if (blankAtEdge || looksQuoted) return "\"" + std::string(value) + "\"";
    return std::string(value);
}

bool HasLineBreakOrNul(std::string_view text) { return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos; }

bool UsableSectionName(std::string_view name) {
    return !name.empty() && Trim(name) == name && name.find(']') == std::string_view::npos && !HasLineBreakOrNul(name);
}

bool UsableKeyName(std::string_view key) {
    return !key.empty() && Trim(key) == key && key.find('=') == std::string_view::npos && !HasLineBreakOrNul(key) &&
           key.front() != ';' && key.front() != '#' && key.front() != '[';
}

std::optional<int> ParseDecimal(std::string_view text) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::string SystemErrorText(int error) { return std::generic_category().message(error); }

} // namespace

IniFile IniFile::parse(std::string_view text) {
    IniFile file;
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        file.m_byteOrderMark = true;
        text.remove_prefix(kByteOrderMark.size());
    }
    // LF and CRLF files keep their line ending; a lone CR (an old Macintosh file) ends a line too, so
    // that no value can hold one.
    if (const auto firstBreak = text.find('\n'); firstBreak != std::string_view::npos)
        file.m_lineEnding = (firstBreak > 0 && text[firstBreak - 1] == '\r') ? "\r\n" : "\n";

    file.m_sections.push_back(Section{});  // the lines before the first section
    while (!text.empty()) {
        const auto lineBreak = text.find_first_of("\r\n");
        const std::string_view raw = text.substr(0, lineBreak);
        std::size_t consumed = text.size();
        if (lineBreak != std::string_view::npos)
            consumed = lineBreak + (text.substr(lineBreak, 2) == "\r\n" ? 2 : 1);
        text.remove_prefix(consumed);

        Line line;
        line.raw = std::string(raw);
        const bool readable = raw.size() <= kMaxLineLength && raw.find('\0') == std::string_view::npos;
        const std::string_view trimmed = Trim(raw);
        if (readable && !trimmed.empty() && trimmed.front() == '[') {
            if (const auto close = trimmed.find(']'); close != std::string_view::npos) {
                file.m_sections.push_back(
                    Section{true, std::string(Trim(trimmed.substr(1, close - 1))), std::string(raw), {}});
                continue;
            }
        }
        if (readable && !trimmed.empty() && trimmed.front() != ';' && trimmed.front() != '#') {
            if (const auto equals = trimmed.find('='); equals != std::string_view::npos) {
                const std::string_view key = Trim(trimmed.substr(0, equals));
                if (!key.empty()) {
                    line.isKey = true;
                    line.key = std::string(key);
                    line.value = std::string(Unquote(Trim(trimmed.substr(equals + 1))));
                }
            }
        }
        file.m_sections.back().lines.push_back(std::move(line));
    }
    return file;
}

std::string IniFile::render() const {
    std::string text;
    if (m_byteOrderMark) text += kByteOrderMark;
    for (const Section& section : m_sections) {
        if (section.hasHeader) text += section.headerRaw + m_lineEnding;
        for (const Line& line : section.lines) {
            text += line.rewritten ? line.key + "=" + Quoted(line.value) : line.raw;
            text += m_lineEnding;
        }
    }
    return text;
}

const IniFile::Section* IniFile::findSection(std::string_view name) const {
    for (const Section& section : m_sections)
        if (section.hasHeader && SameName(section.name, name)) return &section;
    return nullptr;
}

IniFile::Section* IniFile::findSection(std::string_view name) {
    return const_cast<Section*>(std::as_const(*this).findSection(name));
}

bool IniFile::hasSection(std::string_view section) const { return findSection(section) != nullptr; }

std::optional<std::string> IniFile::value(std::string_view section, std::string_view key) const {
    const Section* found = findSection(section);
    if (!found) return std::nullopt;
    for (const Line& line : found->lines)
        if (line.isKey && SameName(line.key, key)) return line.value;
    return std::nullopt;
}

std::string IniFile::readString(std::string_view section, std::string_view key, std::string_view fallback) const {
    auto found = value(section, key);
    return found ? *found : std::string(fallback);
}

int IniFile::readInteger(std::string_view section, std::string_view key, int fallback) const {
    const auto found = value(section, key);
    if (!found) return fallback;
    return ParseDecimal(*found).value_or(fallback);
}

bool IniFile::readBool(std::string_view section, std::string_view key, bool fallback) const {
    const auto found = value(section, key);
    if (!found) return fallback;
    if (const auto number = ParseDecimal(*found)) return *number != 0;
    if (SameName(*found, "true")) return true;
    if (SameName(*found, "false")) return false;
    return fallback;
}

bool IniFile::writeString(std::string_view section, std::string_view key, std::string_view value) {
    if (!UsableSectionName(section) || !UsableKeyName(key) || HasLineBreakOrNul(value)) return false;
    if (key.size() + 1 + Quoted(value).size() > kMaxLineLength) return false;  // could not be read back

    Section* target = findSection(section);
    if (!target) {
        m_sections.push_back(Section{true, std::string(section), "[" + std::string(section) + "]", {}});
        target = &m_sections.back();
    }
    std::size_t insertAt = 0;
    for (std::size_t i = 0; i < target->lines.size(); ++i) {
        Line& line = target->lines[i];
        if (!line.isKey) continue;
        if (SameName(line.key, key)) {
            line.value = std::string(value);
            line.rewritten = true;
            return true;
        }
        insertAt = i + 1;
    }
    Line added;
    added.isKey = true;
    added.key = std::string(key);
    added.value = std::string(value);
    added.rewritten = true;
    target->lines.insert(target->lines.begin() + static_cast<std::ptrdiff_t>(insertAt), std::move(added));
    return true;
}

bool IniFile::writeInteger(std::string_view section, std::string_view key, int value) {
    return writeString(section, key, std::to_string(value));
}

bool IniFile::writeBool(std::string_view section, std::string_view key, bool value) {
    return writeString(section, key, value ? "1" : "0");
}

IniLoadResult LoadIniFile(const std::filesystem::path& path) {
    namespace fs = std::filesystem;
    IniLoadResult result;
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (status.type() == fs::file_type::not_found) return result;  // Missing: every key takes its default
    result.status = IniLoadResult::Status::Failed;
    if (error) {
        result.error = "Cannot read " + path.string() + ": " + error.message();
        return result;
    }
    if (status.type() != fs::file_type::regular) {
        result.error = "Cannot read " + path.string() + ": not a regular file";
        return result;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        result.error = "Cannot read " + path.string() + ": " + SystemErrorText(errno);
        return result;
    }
    std::string text;
    char buffer[16384];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        text.append(buffer, static_cast<std::size_t>(in.gcount()));
        if (text.size() > IniFile::kMaxFileSize) {
            result.error = "Cannot read " + path.string() + ": larger than " +
                           std::to_string(IniFile::kMaxFileSize) + " bytes";
            return result;
        }
    }
    if (in.bad()) {
        result.error = "Cannot read " + path.string() + ": read error";
        return result;
    }
    result.status = IniLoadResult::Status::Loaded;
    result.file = IniFile::parse(text);
    return result;
}

} // namespace veltro

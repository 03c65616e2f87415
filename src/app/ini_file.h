#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/atomic_file.h"

namespace veltro {

// A plain Windows-style INI file, kept line by line so that a rewrite changes only the keys written:
//
//   [Com port]          <- section names and keys are compared without regard to ASCII case,
//   Name=COM3              so "port" and "Port" of [Ethernet] name one key
//   ; a comment         <- comments, blank lines, unknown keys and sections, lines without '=' and
//   [Legacy]               junk are written back exactly as they were read, in their order
//   Old=kept
//
// Values are trimmed of blanks and tabs; one pair of matching quotes around a value is removed, as the
// Windows profile functions do, so a value with leading or trailing blanks is written in double quotes.
// The line ending of the file read (CRLF or LF) is kept; a new file is written with CRLF.
class IniFile {
public:
    // Lines longer than this, or holding a NUL byte, are kept but never read as a section or a key.
    static constexpr std::size_t kMaxLineLength = 8192;
    // A larger file is refused as a whole rather than read in part.
    static constexpr std::size_t kMaxFileSize = 1024 * 1024;

    static IniFile parse(std::string_view text);
    std::string render() const;

    std::optional<std::string> value(std::string_view section, std::string_view key) const;
    bool hasSection(std::string_view section) const;

    std::string readString(std::string_view section, std::string_view key, std::string_view fallback) const;
    // Decimal integer with an optional sign; anything else (empty, "12abc", out of int range) gives
    // the fallback.
    int readInteger(std::string_view section, std::string_view key, int fallback) const;
    // An integer (non-zero is true) or "true"/"false" in any case; anything else gives the fallback.
    bool readBool(std::string_view section, std::string_view key, bool fallback) const;

    // Writing replaces the first matching key in place, or adds the key after the last key of the first
    // matching section, or adds the section at the end. A value holding CR, LF or NUL (which would
    // split the line or cut the file) and an unusable section or key name are refused: false, nothing
    // changed.
    [[nodiscard]] bool writeString(std::string_view section, std::string_view key, std::string_view value);
    [[nodiscard]] bool writeInteger(std::string_view section, std::string_view key, int value);
    [[nodiscard]] bool writeBool(std::string_view section, std::string_view key, bool value);

private:
    struct Line {
        std::string raw;      // exactly as read, without the line ending
        bool isKey = false;
        std::string key;      // trimmed, as spelled in the file
        std::string value;    // trimmed and unquoted
        bool rewritten = false;
    };
    struct Section {
        bool hasHeader = false;  // false only for the lines before the first section
        std::string name;
        std::string headerRaw;
        std::vector<Line> lines;
    };

    const Section* findSection(std::string_view name) const;
    Section* findSection(std::string_view name);

    std::vector<Section> m_sections;
    std::string m_lineEnding = "\r\n";
    bool m_byteOrderMark = false;
};

struct IniLoadResult {
    enum class Status { Loaded, Missing, Failed };
    Status status = Status::Missing;
    IniFile file;       // empty unless Loaded
    std::string error;  // why it failed, for the operator or the log
};

// Reads the file. A missing file is not an error (every key then takes its default); an unreadable,
// oversized or non-regular file is.
IniLoadResult LoadIniFile(const std::filesystem::path& path);

[[nodiscard]] inline FileWriteResult SaveIniFile(const std::filesystem::path& path, const IniFile& file) {
    return WriteFileAtomically(path, file.render());
}

} // namespace veltro

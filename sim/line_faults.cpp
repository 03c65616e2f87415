#include "sim/line_faults.h"

#include "mbus/hex.h"

namespace veltro::sim {
namespace {

// "0", "2", "0.5", "50.0": digits, optionally a point and more digits, within 0..kMostFaultPercent. Read by
// hand rather than with strtod, which would take "1e1", " 2", "inf" and follow the locale's decimal mark.
std::optional<double> Percent(const std::string& text) {
    double value = 0;
    double scale = 0;  // 0 before the point; then the weight of the next digit
    std::size_t digits = 0;
    for (const char c : text) {
        if (c == '.' && scale == 0) {
            scale = 0.1;
        } else if (c >= '0' && c <= '9') {
            if (scale == 0) {
                value = value * 10 + (c - '0');
            } else {
                value += (c - '0') * scale;
                scale /= 10;
            }
            if (++digits > 12) return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    if (digits == 0 || text.front() == '.' || text.back() == '.' || value > kMostFaultPercent) return std::nullopt;
    return value;
}

// A draw below `percent` of the generator's range happens `percent` in a hundred times. The raw output of
// std::mt19937 is the same on every standard library, where the distributions are not.
bool Happens(std::uint32_t draw, double percent) { return static_cast<double>(draw) / 4294967296.0 * 100.0 < percent; }

} // namespace

std::string ParseLineFaults(const std::string& text, LineFaults& out) {
    LineFaults faults;
    faults.seed = out.seed;
    bool seen[3] = {false, false, false};
    std::size_t start = 0;
    while (true) {
        const auto comma = text.find(',', start);
        const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        const auto eq = item.find('=');
        const std::string key = item.substr(0, eq);
        int which = -1;
        if (key == "drop") which = 0;
        else if (key == "corrupt") which = 1;
        else if (key == "delay") which = 2;
        if (which < 0) return "--faults: \"" + key + "\" is not drop, corrupt or delay";
        if (seen[which]) return "--faults: \"" + key + "\" given twice";
        seen[which] = true;
        const std::string number = eq == std::string::npos ? std::string() : item.substr(eq + 1);
        const auto percent = Percent(number);
        if (eq == std::string::npos || !percent)
            return "--faults: \"" + item + "\" is not " + key + "=PERCENT with PERCENT 0..50";
        (which == 0 ? faults.dropPercent : which == 1 ? faults.corruptPercent : faults.delayPercent) = *percent;
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    out = faults;
    return {};
}

FaultyLine::FaultyLine(LineFaults faults) : m_faults(faults), m_random(faults.seed) {}

DisturbedAnswer FaultyLine::disturb(std::span<const std::uint8_t> answer) {
    DisturbedAnswer out;
    out.bytes.reserve(answer.size());
    out.pauseCharacters.reserve(answer.size());
    int pending = 0;  // the pause of a held-back character that was then lost falls on the next one
    for (std::size_t i = 0; i < answer.size(); ++i) {
        const auto drop = static_cast<std::uint32_t>(m_random());
        const auto corrupt = static_cast<std::uint32_t>(m_random());
        const auto replacement = static_cast<std::uint32_t>(m_random());
        const auto delay = static_cast<std::uint32_t>(m_random());
        const auto pause = static_cast<std::uint32_t>(m_random());
        const std::string at = "byte " + std::to_string(i);
        if (Happens(delay, m_faults.delayPercent)) {
            const int characters = kFewestPauseCharacters +
                                   static_cast<int>(pause % static_cast<std::uint32_t>(kMostPauseCharacters - kFewestPauseCharacters + 1));
            pending += characters;
            out.notes.push_back(at + " (" + HexByte(answer[i]) + ") " + std::to_string(characters) + " characters late");
        }
        if (Happens(drop, m_faults.dropPercent)) {
            out.notes.push_back("dropped " + at + " (" + HexByte(answer[i]) + ")");
            continue;
        }
        std::uint8_t character = answer[i];
        if (Happens(corrupt, m_faults.corruptPercent)) {
            // 1..255 added: never the byte sent.
            character = static_cast<std::uint8_t>(character + 1 + replacement % 255);
            out.notes.push_back(at + " " + HexByte(answer[i]) + " became " + HexByte(character));
        }
        out.bytes.push_back(character);
        out.pauseCharacters.push_back(pending);
        pending = 0;
    }
    return out;
}

} // namespace veltro::sim

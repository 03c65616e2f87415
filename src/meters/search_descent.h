#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mbus/identification.h"
#include "mbus/telegram.h"

namespace veltro {

// What the ID field asks for when "Find" of "By Secondary address:" is pressed.
enum class IdFieldRequest {
    Refused,         // "Incorrect ID entered" is logged and nothing is sent
    SingleSelection, // 8 decimal digits: select that one meter
    FullSearch,      // "FFFFFFFF": the wildcard descent
};

struct IdFieldCheck {
    IdFieldRequest request = IdFieldRequest::Refused;
    std::vector<std::string> log;  // "Incorrect ID entered" when refused
};

// "FFFFFFFF" is the full search and 8 decimal digits a single selection. Anything else is refused,
// including a partial wildcard such as "1234FFFF": a single selection of it would reach every meter the
// mask matches at once, and the descent is the only thing that knows how to handle that.
IdFieldCheck CheckIdField(std::string_view text);

enum class SearchDirection {
    MsbFirst,  // "MSB": position 8 (the leftmost digit) is fixed first
    LsbFirst,  // "LSB": position 1 (the rightmost digit) is fixed first
};

constexpr int kMaskPositions = 8;
constexpr std::uint8_t kWildcardDigit = 15;

// Eight digit positions, 1 the rightmost (least significant); each 0..9 or the wildcard 15 ("F").
class SearchMask {
public:
    SearchMask() { m_digits.fill(kWildcardDigit); }

    std::uint8_t digit(int position) const { return m_digits[static_cast<std::size_t>(position - 1)]; }
    void setDigit(int position, std::uint8_t value) { m_digits[static_cast<std::size_t>(position - 1)] = value; }
    bool hasWildcard() const;

    // Position 8 first, wildcards as "F": "FFFFFF21".
    std::string text() const;
    // As it stands in the selection telegram: positions 2 and 1 in the first byte, F nibbles kept.
    PackedIdentification packed() const;

    friend bool operator==(const SearchMask&, const SearchMask&) = default;

private:
    std::array<std::uint8_t, kMaskPositions> m_digits{};
};

enum class ProbeKind {
    Wildcard,  // a mask with wildcard positions (or the full mask at the deepest level)
    Confirm,   // the exact ID a wildcard probe was answered with, selected on its own
};

struct SearchProbe {
    ProbeKind kind = ProbeKind::Wildcard;
    SearchMask mask;
    Telegram frame;    // the selection telegram of the mask
    std::string log;   // "Checking 0FFFFFFF..."
};

// How a probe went, as the engine judged its response window(s).
struct ProbeOutcome {
    enum class Kind {
        Silent,     // nothing arrived (a Confirm: the selection was not acknowledged)
        Answered,   // Wildcard: one meter was read validly, `id` is its identification; Confirm: E5h
        Collision,  // something arrived that did not decode validly
    };
    Kind kind = Kind::Silent;
    std::string id;  // Answered Wildcard probes: the meter's ID as decoded, 8 digits, leftmost first
};

// One level of the descent: the position it fixes, the digit it is at and its silent probes so far.
struct DescentLevel {
    int position = 0;
    std::uint8_t value = 0;
    int silentProbes = 0;
};

// The wildcard descent as a value: which probe comes next follows from the levels alone, so the engine
// keeps one of these between its response windows and replaces it with what `AdvanceDescent` returns.
struct SearchDescent {
    SearchDirection direction = SearchDirection::MsbFirst;
    int retries = 0;                       // "Retries", taken at the start
    std::vector<DescentLevel> levels;      // the first level first; empty once the search has ended
    std::optional<std::string> confirming; // the ID whose exact selection is the next probe
    int progress = 1;                      // `ProgressBar1`, 1..10
};

constexpr int kProgressMinimum = 1;
constexpr int kProgressMaximum = 10;

SearchDescent StartDescent(SearchDirection direction, int retries);

// The probe to send now; nothing once the search has ended (after v = 9 of the first level, or a stop).
std::optional<SearchProbe> NextProbe(const SearchDescent& descent);

struct DescentStep {
    SearchDescent descent;
    std::vector<std::string> log;          // "Collision", before the next probe's line
    std::optional<std::string> meterFound; // a meter that counts: the engine places its row now
};

// Takes the outcome of the probe `NextProbe` gave and moves on. Only silent probes are repeated (up to
// "Retries" times); an answer or a collision moves to the next digit or one level down, exactly once.
DescentStep AdvanceDescent(const SearchDescent& descent, const ProbeOutcome& outcome);

// "Stop secondary": no further probe; a meter still waiting for its confirmation is not counted.
SearchDescent StopDescent(SearchDescent descent);

} // namespace veltro

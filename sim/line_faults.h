#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <vector>

namespace veltro::sim {

// A noisy line between the devices and the master: each character the devices send is, independently and
// with these chances in percent, lost, replaced by another byte, or held back with everything after it.
struct LineFaults {
    double dropPercent = 0;
    double corruptPercent = 0;
    double delayPercent = 0;
    std::uint32_t seed = 1;

    bool any() const { return dropPercent > 0 || corruptPercent > 0 || delayPercent > 0; }
};

inline constexpr double kMostFaultPercent = 50;
// A held-back character arrives after a pause of this many character times: long enough to cross a
// receiver's inter-character gap at times, short enough that the answer still ends.
inline constexpr int kFewestPauseCharacters = 2;
inline constexpr int kMostPauseCharacters = 20;

// "drop=2,corrupt=1,delay=0.5" (any of the three keys, each at most once, 0..50 with decimals) into `out`;
// the error text, empty when it was read.
std::string ParseLineFaults(const std::string& text, LineFaults& out);

// What a noisy line makes of an answer.
struct DisturbedAnswer {
    std::vector<std::uint8_t> bytes;
    // Parallel to `bytes`: the pause in character times before each character (0: none).
    std::vector<int> pauseCharacters;
    // One short line per fault: "dropped byte 4 (68)", "byte 9 0A became 3F", "byte 12 (0F) 7 characters late".
    std::vector<std::string> notes;
};

// Applies LineFaults with a generator seeded once, so that the same traffic meets the same faults. Every
// character draws the same three numbers whatever happens to it, so one fault never shifts the others.
class FaultyLine {
public:
    explicit FaultyLine(LineFaults faults);

    DisturbedAnswer disturb(std::span<const std::uint8_t> answer);

    const LineFaults& faults() const { return m_faults; }

private:
    LineFaults m_faults;
    std::mt19937 m_random;
};

} // namespace veltro::sim

#include "meters/search_descent.h"

#include <algorithm>

#include "mbus/frames.h"
#include "meters/configuration_telegrams.h"

namespace veltro {
namespace {

constexpr std::string_view kCollision = "Collision";

bool IsDecimal(char c) { return c >= '0' && c <= '9'; }

int StartPosition(SearchDirection direction) { return direction == SearchDirection::LsbFirst ? 1 : kMaskPositions; }

// The position one level below `position`, if the mask has one left in the search direction.
std::optional<int> FollowingPosition(SearchDirection direction, int position) {
    const int next = direction == SearchDirection::LsbFirst ? position + 1 : position - 1;
    if (next < 1 || next > kMaskPositions) return std::nullopt;
    return next;
}

// Callers pass only 8 decimal digits.
SearchMask MaskOfId(std::string_view id) {
    SearchMask mask;
    for (int position = 1; position <= kMaskPositions; ++position)
        mask.setDigit(position, static_cast<std::uint8_t>(id[static_cast<std::size_t>(kMaskPositions - position)] - '0'));
    return mask;
}

SearchMask MaskOfLevels(const SearchDescent& descent) {
    SearchMask mask;
    for (const DescentLevel& level : descent.levels) mask.setDigit(level.position, level.value);
    return mask;
}

// An answer whose ID contradicts a fixed digit of the mask, or is no decimal ID at all, cannot be the
// one meter this mask selected.
bool FitsMask(std::string_view id, const SearchMask& mask) {
    if (id.size() != static_cast<std::size_t>(kMaskPositions) || !std::all_of(id.begin(), id.end(), IsDecimal))
        return false;
    const SearchMask exact = MaskOfId(id);
    for (int position = 1; position <= kMaskPositions; ++position)
        if (mask.digit(position) != kWildcardDigit && mask.digit(position) != exact.digit(position)) return false;
    return true;
}

// The current digit is done: the next one, and past 9 back to the parent level, whose digit is then
// done too. Each first-level digit moves the progress bar while it is below its maximum minus 1.
void AdvanceValue(SearchDescent& descent) {
    while (!descent.levels.empty()) {
        DescentLevel& level = descent.levels.back();
        level.silentProbes = 0;
        if (descent.levels.size() == 1 && descent.progress < kProgressMaximum - 1) ++descent.progress;
        if (++level.value <= 9) return;
        descent.levels.pop_back();
    }
}

// Several meters below this mask: one level down, or at the last position give up on them and move on.
void DescendOrAdvance(SearchDescent& descent, std::vector<std::string>& log) {
    log.emplace_back(kCollision);
    if (const auto next = FollowingPosition(descent.direction, descent.levels.back().position))
        descent.levels.push_back({*next, 0, 0});
    else
        AdvanceValue(descent);
}

} // namespace

IdFieldCheck CheckIdField(std::string_view text) {
    const bool wellFormed = text.size() == static_cast<std::size_t>(kMaskPositions) &&
                            std::all_of(text.begin(), text.end(), [](char c) { return IsDecimal(c) || c == 'F'; });
    if (wellFormed && text == "FFFFFFFF") return {IdFieldRequest::FullSearch, {}};
    if (wellFormed && std::all_of(text.begin(), text.end(), IsDecimal)) return {IdFieldRequest::SingleSelection, {}};
    return {IdFieldRequest::Refused, {std::string(kIncorrectId)}};
}

bool SearchMask::hasWildcard() const {
    return std::find(m_digits.begin(), m_digits.end(), kWildcardDigit) != m_digits.end();
}

std::string SearchMask::text() const {
    std::string text;
    for (int position = kMaskPositions; position >= 1; --position) {
        const std::uint8_t d = digit(position);
        text += d == kWildcardDigit ? 'F' : static_cast<char>('0' + d);
    }
    return text;
}

PackedIdentification SearchMask::packed() const {
    PackedIdentification bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const int low = static_cast<int>(2 * i + 1);
        bytes[i] = static_cast<std::uint8_t>(digit(low + 1) << 4 | digit(low));
    }
    return bytes;
}

SearchDescent StartDescent(SearchDirection direction, int retries) {
    SearchDescent descent;
    descent.direction = direction;
    descent.retries = std::max(retries, 0);
    descent.levels.push_back({StartPosition(direction), 0, 0});
    return descent;
}

std::optional<SearchProbe> NextProbe(const SearchDescent& descent) {
    if (descent.levels.empty()) return std::nullopt;
    SearchProbe probe;
    probe.kind = descent.confirming ? ProbeKind::Confirm : ProbeKind::Wildcard;
    probe.mask = descent.confirming ? MaskOfId(*descent.confirming) : MaskOfLevels(descent);
    probe.frame = BuildSelectionFrame(probe.mask.packed());
    probe.log = "Checking " + probe.mask.text() + "...";
    return probe;
}

DescentStep AdvanceDescent(const SearchDescent& descent, const ProbeOutcome& outcome) {
    DescentStep step{descent, {}, std::nullopt};
    SearchDescent& next = step.descent;
    if (next.levels.empty()) return step;

    // A wildcard answer may be two meters whose replies overlaid into one valid frame; the meter is
    // real only if its own ID, selected alone, is acknowledged.
    if (next.confirming) {
        std::string id = std::move(*next.confirming);
        next.confirming.reset();
        if (outcome.kind == ProbeOutcome::Kind::Answered) {
            step.meterFound = std::move(id);
            AdvanceValue(next);
        } else {
            DescendOrAdvance(next, step.log);
        }
        return step;
    }

    switch (outcome.kind) {
    case ProbeOutcome::Kind::Silent:
        if (++next.levels.back().silentProbes > next.retries) AdvanceValue(next);
        break;
    case ProbeOutcome::Kind::Answered: {
        const SearchMask mask = MaskOfLevels(next);
        if (!FitsMask(outcome.id, mask)) {
            DescendOrAdvance(next, step.log);
        } else if (mask.hasWildcard()) {
            next.confirming = outcome.id;
        } else {
            step.meterFound = outcome.id;
            AdvanceValue(next);
        }
        break;
    }
    case ProbeOutcome::Kind::Collision:
        DescendOrAdvance(next, step.log);
        break;
    }
    return step;
}

SearchDescent StopDescent(SearchDescent descent) {
    descent.levels.clear();
    descent.confirming.reset();
    return descent;
}

} // namespace veltro

// libFuzzer harness for the secondary search: the leading bytes as an ID field's text, the rest as the
// outcomes of successive probes. Whatever the outcomes, the descent must end within a bound and every
// probe must be a well-formed selection of its mask.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "meters/search_descent.h"
#include "require.h"

using namespace veltro;

namespace {

// An answer's ID: the mask with each wildcard filled from the input, or with a byte as a stray character.
std::string AnswerId(const SearchMask& mask, const std::uint8_t*& data, const std::uint8_t* end) {
    std::string id = mask.text();
    for (char& c : id) {
        if (c != 'F') continue;
        const std::uint8_t byte = data < end ? *data++ : 0;
        c = byte < 200 ? static_cast<char>('0' + byte % 10) : static_cast<char>(byte);
    }
    return id;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Byte 0: the length of the ID text after it (0..9); then one byte for direction and Retries.
    if (size < 1) return 0;
    const std::size_t textLength = std::min<std::size_t>(data[0] % 10, size - 1);
    const std::string_view field(reinterpret_cast<const char*>(data + 1), textLength);
    const IdFieldCheck check = CheckIdField(field);
    Require((check.request == IdFieldRequest::Refused) == (check.log == std::vector<std::string>{"Incorrect ID entered"}));
    Require(check.request != IdFieldRequest::FullSearch || field == "FFFFFFFF");
    Require(check.request != IdFieldRequest::SingleSelection || PackIdentification(field).has_value());

    const std::uint8_t* at = data + 1 + textLength;
    const std::uint8_t* end = data + size;
    if (at == end) return 0;
    const auto direction = *at & 1 ? SearchDirection::LsbFirst : SearchDirection::MsbFirst;
    const int retries = (*at++ >> 1) % 4;
    SearchDescent descent = StartDescent(direction, retries);

    // Once the input runs out every probe is silent: at most 8 levels of 10 digits, each probed
    // Retries + 1 times, plus a pending confirmation.
    const std::size_t bound = 2 * size + 8 * 10 * (retries + 1) + 1;
    std::size_t probes = 0;
    while (const auto probe = NextProbe(descent)) {
        Require(++probes <= bound);
        Require(probe->frame.size() == 17 && probe->log == "Checking " + probe->mask.text() + "...");
        Require(probe->kind == ProbeKind::Wildcard || !probe->mask.hasWildcard());
        Require(descent.progress >= kProgressMinimum && descent.progress < kProgressMaximum);

        ProbeOutcome outcome;
        if (at < end) {
            const std::uint8_t byte = *at++;
            if (byte % 3 == 1) outcome = {ProbeOutcome::Kind::Answered, AnswerId(probe->mask, at, end)};
            if (byte % 3 == 2) outcome.kind = ProbeOutcome::Kind::Collision;
            if (byte == 0xFF) descent = StopDescent(descent);
        }
        const DescentStep step = AdvanceDescent(descent, outcome);
        if (step.meterFound) {
            Require(step.meterFound->size() == 8 && step.log.empty());
            Require(std::all_of(step.meterFound->begin(), step.meterFound->end(), [](char c) { return c >= '0' && c <= '9'; }));
        }
        descent = step.descent;
    }
    return 0;
}

// libFuzzer harness for the frame assembler (seeds in fuzz/corpus/frame_assembler/). Byte 0 picks the
// inter-character timeout and the text gap; the rest is read as pieces: a byte of pause (ms) and a byte of
// length, then that many bytes of the stream. Every byte fed comes out once, in a frame, as discarded or
// still pending; every frame handed out is whole and valid. Then each builder's frame, fed alone, must
// come back as itself.
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "mbus/frame_assembler.h"
#include "mbus/frames.h"
#include "require.h"

using namespace veltro;
using std::chrono::milliseconds;

namespace {

bool SumOk(std::span<const std::uint8_t> bytes, std::size_t from, std::size_t to, std::uint8_t sum) {
    unsigned total = 0;
    for (std::size_t i = from; i < to; ++i) total += bytes[i];
    return static_cast<std::uint8_t>(total) == sum;
}

// What an event holds, checked: the count of stream bytes it accounts for.
std::size_t Check(const AssemblyEvent& event) {
    if (!event.frame) {
        Require(!event.discarded.empty() && !event.reason.empty());
        return event.discarded.size();
    }
    Require(event.discarded.empty());
    const MasterFrame& f = *event.frame;
    const Telegram& b = f.bytes;
    switch (f.kind) {
    case MasterFrame::Kind::SingleCharacter: Require(b.size() == 1 && b[0] == 0xE5); break;
    case MasterFrame::Kind::Short:
        Require(b.size() == 5 && b[0] == 0x10 && b[4] == 0x16 && SumOk(b, 1, 3, b[3]));
        Require(f.control == b[1] && f.address == b[2]);
        break;
    case MasterFrame::Kind::Long:
        Require(b.size() >= 9 && b.size() == std::size_t{b[1]} + 6 && b[1] == b[2] && b[0] == 0x68 && b[3] == 0x68);
        Require(b[b.size() - 1] == 0x16 && SumOk(b, 4, b.size() - 2, b[b.size() - 2]));
        Require(f.control == b[4] && f.address == b[5] && f.ci == b[6] && f.data.size() == b.size() - 9);
        break;
    case MasterFrame::Kind::Text: Require(!b.empty() && b.size() <= FrameAssembler::kLongestText); break;
    }
    return b.size();
}

std::size_t CheckAll(const std::vector<AssemblyEvent>& events) {
    std::size_t accounted = 0;
    for (const auto& event : events) accounted += Check(event);
    return accounted;
}

void RoundTrip(const Telegram& frame, MasterFrame::Kind kind) {
    FrameAssembler assembler;
    auto events = assembler.feed(frame, milliseconds{1000});
    for (auto& more : assembler.flush(milliseconds{5000})) events.push_back(std::move(more));
    Require(events.size() == 1 && events[0].frame && events[0].frame->kind == kind && events[0].frame->bytes == frame);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    FrameAssembler assembler(milliseconds{1 + (data[0] & 0x0F) * 20}, milliseconds{1 + (data[0] >> 4) * 10});
    milliseconds now{0};
    std::size_t fed = 0, accounted = 0;
    for (std::size_t at = 1; at + 1 < size;) {
        now += milliseconds{data[at]};
        const std::size_t length = std::min<std::size_t>(data[at + 1], size - at - 2);
        at += 2;
        if (const auto due = assembler.flushDueAt(); due && *due <= now) accounted += CheckAll(assembler.flush(now));
        accounted += CheckAll(assembler.feed(std::span(data + at, length), now));
        fed += length;
        at += length;
        Require(assembler.pendingBytes() <= fed - accounted);
    }
    now += milliseconds{100000};
    accounted += CheckAll(assembler.flush(now));
    Require(assembler.pendingBytes() == 0 && !assembler.textPending());
    Require(accounted == fed);

    const std::uint8_t address = data[0];
    RoundTrip(BuildReqUd2(address), MasterFrame::Kind::Short);
    RoundTrip(BuildSndNke(address), MasterFrame::Kind::Short);
    RoundTrip(BuildControlFrame(address, static_cast<std::uint8_t>(size)), MasterFrame::Kind::Long);
    const std::size_t payload = std::min<std::size_t>(size - 1, 252);
    if (const auto frame = BuildLongFrame(0x53, address, 0x51, std::span(data + 1, payload)))
        RoundTrip(*frame, MasterFrame::Kind::Long);
    return 0;
}

#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "mbus/telegram.h"

namespace veltro {

// One complete, valid frame the master put on the bus.
struct MasterFrame {
    enum class Kind {
        SingleCharacter,  // E5h
        Short,            // 10 C A CS 16
        Long,             // 68 L L 68 C A CI data CS 16 (a control frame is a long frame with L = 3)
    };
    Kind kind = Kind::Short;
    Telegram bytes;
    std::uint8_t control = 0;
    std::uint8_t address = 0;
    std::uint8_t ci = 0;             // long frames only
    std::vector<std::uint8_t> data;  // long frames only: the user data after CI
};

// What the assembler made of the stream, in stream order: either a frame or bytes it threw away.
struct AssemblyEvent {
    std::optional<MasterFrame> frame;
    Telegram discarded;
    std::string reason;  // why the bytes were discarded
};

// A short text for logs: "REQ_UD2 (7B) to 5", "selection 78 56 34 12 FF FF FF FF", ...
std::string DescribeFrame(const MasterFrame& frame);

// Cuts the master's byte stream, which arrives in arbitrary pieces over TCP or a pseudo-terminal, into
// frames, the way a meter's receiver does:
//
//   10 7B 05 80 16                  short frame: start, C, A, CS = C + A, stop
//   68 06 06 68 73 05 51 01 7A 07 44 16
//   ^  ^L ^L ^  C  A  CI data.... CS stop   long frame: L counts C .. last data byte, CS sums them
//
// A byte that cannot start a frame is dropped and the search goes on with the next one (resynchronising
// on garbage). A frame whose check sum, stop byte or length fields are wrong is discarded without an
// answer, as a meter would. Bytes of an unfinished frame are dropped when the line stays quiet for longer
// than the inter-character timeout before more bytes arrive, so a truncated telegram does not swallow the
// next one.
class FrameAssembler {
public:
    explicit FrameAssembler(std::chrono::milliseconds interCharacterTimeout = std::chrono::milliseconds{200})
        : m_timeout(interCharacterTimeout) {}

    // `now` is any monotonic clock reading; only differences between calls matter.
    std::vector<AssemblyEvent> feed(std::span<const std::uint8_t> bytes, std::chrono::milliseconds now);

    void reset() { m_buffer.clear(); m_lastByteAt.reset(); }
    std::size_t pendingBytes() const { return m_buffer.size(); }

private:
    enum class Step { NeedMore, Consumed };
    Step takeOne(std::vector<AssemblyEvent>& events);
    void discard(std::vector<AssemblyEvent>& events, std::size_t count, const std::string& reason);

    std::chrono::milliseconds m_timeout;
    std::vector<std::uint8_t> m_buffer;
    std::optional<std::chrono::milliseconds> m_lastByteAt;
};

} // namespace veltro

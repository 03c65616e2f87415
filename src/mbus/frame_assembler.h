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
        Text,             // "GET ADDR": ASCII without terminator for the display; ends at a quiet gap
    };
    Kind kind = Kind::Short;
    Telegram bytes;
    std::uint8_t control = 0;
    std::uint8_t address = 0;
    std::uint8_t ci = 0;             // long frames only
    std::vector<std::uint8_t> data;  // long frames only: the user data after CI
    // Text: `bytes` holds the text as received, any byte values included; the other fields stay 0.
};

// What the assembler made of the stream, in stream order: either a frame or bytes it threw away.
struct AssemblyEvent {
    std::optional<MasterFrame> frame;
    Telegram discarded;
    std::string reason;  // why the bytes were discarded
};

// A short text for logs: "REQ_UD2 (7B) to 5", "selection 78 56 34 12 FF FF FF FF", ...; a text as
// `text "SET TEXT=5,a\x10b"`, bytes outside 20h..7Eh as \xNN.
std::string DescribeFrame(const MasterFrame& frame);

// The quiet time that ends a text: three characters at the line speed (11 bits each), at least 20 ms so
// that a master writing from a busy operating system is not cut; 20 ms at 2400 baud, 110 ms at 300.
// A speed of 0 (unknown) gives 20 ms.
std::chrono::milliseconds TextGapFor(int baud);

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
//
// Texts for the display share the line:  G E T ' ' A D D R   ...quiet...
// A burst (the first bytes after the line was quiet for the text gap) that starts with a letter A-Z or
// a-z is a text, except 68h ('h'), which always starts a long frame. Everything up to the next quiet gap
// belongs to it, 10h, 68h, E5h and CR LF included; only the gap ends it, so a text is handed out by
// feed() when the next burst comes, or by flush() once the line has been quiet long enough. A letter in
// the middle of a burst is garbage as before, so resynchronising on a broken frame never swallows the
// next one. A text longer than kLongestText is thrown away with the rest of its burst.
class FrameAssembler {
public:
    static constexpr std::size_t kLongestText = 512;

    explicit FrameAssembler(std::chrono::milliseconds interCharacterTimeout = std::chrono::milliseconds{200},
                            std::chrono::milliseconds textGap = std::chrono::milliseconds{20})
        : m_timeout(interCharacterTimeout), m_textGap(textGap) {}

    // `now` is any monotonic clock reading, the time the bytes arrived (or, at wire speed, crossed the
    // line); only differences between calls matter, and they must not go backwards.
    std::vector<AssemblyEvent> feed(std::span<const std::uint8_t> bytes, std::chrono::milliseconds now);

    // What the quiet line ends by `now`: a text after the text gap, an unfinished frame after the
    // inter-character timeout. Call it at flushDueAt() (earlier calls do nothing).
    std::vector<AssemblyEvent> flush(std::chrono::milliseconds now);
    // When flush() will have something to do if no byte comes first; nothing when nothing is pending.
    std::optional<std::chrono::milliseconds> flushDueAt() const;

    // The gap applies from the next byte on; a port sets it from the line speed (TextGapFor).
    void setTextGap(std::chrono::milliseconds gap) { m_textGap = gap; }
    std::chrono::milliseconds textGap() const { return m_textGap; }

    void reset() { m_buffer.clear(); m_lastByteAt.reset(); m_inText = false; m_dropBurst = false; }
    std::size_t pendingBytes() const { return m_buffer.size(); }
    bool textPending() const { return m_inText || m_dropBurst; }

private:
    enum class Step { NeedMore, Consumed };
    Step takeOne(std::vector<AssemblyEvent>& events);
    void discard(std::vector<AssemblyEvent>& events, std::size_t count, const std::string& reason);
    void endQuiet(std::vector<AssemblyEvent>& events, std::chrono::milliseconds now);

    std::chrono::milliseconds m_timeout;
    std::chrono::milliseconds m_textGap;
    std::vector<std::uint8_t> m_buffer;
    std::optional<std::chrono::milliseconds> m_lastByteAt;
    bool m_inText = false;     // the buffer is a text waiting for its gap
    bool m_dropBurst = false;  // an over-long text: its bytes are dropped until the gap
};

} // namespace veltro

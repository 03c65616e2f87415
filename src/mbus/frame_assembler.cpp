#include "mbus/frame_assembler.h"

#include <algorithm>

#include "mbus/frames.h"
#include "mbus/hex.h"

namespace veltro {
namespace {

constexpr std::size_t kShortFrameSize = 5;
constexpr std::size_t kLongHeaderSize = 4;  // 68 L L 68
constexpr std::uint8_t kShortestL = 3;      // C, A, CI
constexpr std::chrono::milliseconds kShortestTextGap{20};
constexpr int kBitsPerCharacter = 11;
constexpr int kGapCharacters = 3;

// 68h is 'h' too, but a burst starting with it is a long frame.
bool StartsText(std::uint8_t byte) {
    return byte != frame::kLongStart && ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z'));
}

std::string QuotedText(std::span<const std::uint8_t> bytes) {
    std::string text = "\"";
    for (std::uint8_t b : bytes) {
        if (b >= 0x20 && b <= 0x7E && b != '"' && b != '\\') text += static_cast<char>(b);
        else text += "\\x" + HexByte(b);
    }
    return text + "\"";
}

std::string AddressText(std::uint8_t address) {
    switch (address) {
    case kSecondaryAddress: return "253 (selected)";
    case kBroadcastWithReply: return "254 (broadcast)";
    case kBroadcastNoReply: return "255 (broadcast, no reply)";
    default: return std::to_string(address);
    }
}

} // namespace

std::chrono::milliseconds TextGapFor(int baud) {
    if (baud <= 0) return kShortestTextGap;
    const std::int64_t ms = (std::int64_t{kGapCharacters} * kBitsPerCharacter * 1000 + baud - 1) / baud;
    return std::max(kShortestTextGap, std::chrono::milliseconds{ms});
}

std::string DescribeFrame(const MasterFrame& frame) {
    using Kind = MasterFrame::Kind;
    if (frame.kind == Kind::Text) return "text " + QuotedText(frame.bytes.bytes());
    if (frame.kind == Kind::SingleCharacter) return "single character E5";
    if (frame.kind == Kind::Short) {
        switch (frame.control) {
        case frame::kSndNke: return "SND_NKE to " + AddressText(frame.address);
        case frame::kReqUd2:
        case frame::kReqUd2Fcb0: return "REQ_UD2 (" + HexByte(frame.control) + ") to " + AddressText(frame.address);
        default: return "short frame C=" + HexByte(frame.control) + " to " + AddressText(frame.address);
        }
    }
    if (frame.ci == frame::kCiSelection && frame.address == kSecondaryAddress) {
        std::string text = "selection";
        for (auto byte : frame.data) text += " " + HexByte(byte);
        return text;
    }
    if (frame.data.empty())
        return "control frame C=" + HexByte(frame.control) + " CI=" + HexByte(frame.ci) + " to " + AddressText(frame.address);
    return "SND_UD C=" + HexByte(frame.control) + " CI=" + HexByte(frame.ci) + " to " + AddressText(frame.address) +
           ", data " + HexRendering(frame.data);
}

std::vector<AssemblyEvent> FrameAssembler::feed(std::span<const std::uint8_t> bytes, std::chrono::milliseconds now) {
    std::vector<AssemblyEvent> events;
    endQuiet(events, now);
    if (bytes.empty()) return events;
    const bool burstStarts = m_buffer.empty() && !m_dropBurst && (!m_lastByteAt || now - *m_lastByteAt >= m_textGap);
    m_lastByteAt = now;
    m_buffer.insert(m_buffer.end(), bytes.begin(), bytes.end());
    const std::string tooLong = "text longer than " + std::to_string(kLongestText) + " bytes";
    if (m_dropBurst) {
        discard(events, m_buffer.size(), tooLong);
        return events;
    }
    if (burstStarts && StartsText(m_buffer.front())) m_inText = true;
    if (m_inText) {
        if (m_buffer.size() > kLongestText) {
            discard(events, m_buffer.size(), tooLong);
            m_inText = false;
            m_dropBurst = true;
        }
        return events;
    }
    while (!m_buffer.empty() && takeOne(events) == Step::Consumed) {
    }
    return events;
}

std::vector<AssemblyEvent> FrameAssembler::flush(std::chrono::milliseconds now) {
    std::vector<AssemblyEvent> events;
    endQuiet(events, now);
    return events;
}

std::optional<std::chrono::milliseconds> FrameAssembler::flushDueAt() const {
    if (!m_lastByteAt) return std::nullopt;
    if (m_inText || m_dropBurst) return *m_lastByteAt + m_textGap;
    if (!m_buffer.empty() && m_timeout.count() > 0) return *m_lastByteAt + m_timeout + std::chrono::milliseconds{1};
    return std::nullopt;
}

void FrameAssembler::endQuiet(std::vector<AssemblyEvent>& events, std::chrono::milliseconds now) {
    if (!m_lastByteAt) return;
    const auto quiet = now - *m_lastByteAt;
    if (quiet >= m_textGap) m_dropBurst = false;
    if (m_inText && quiet >= m_textGap) {
        MasterFrame f;
        f.kind = MasterFrame::Kind::Text;
        f.bytes = Telegram(std::span<const std::uint8_t>(m_buffer));
        m_buffer.clear();
        m_inText = false;
        events.push_back({std::move(f), {}, {}});
        return;
    }
    // A text is ended by its gap alone, even where the frame timeout is the shorter.
    if (!m_inText && !m_buffer.empty() && m_timeout.count() > 0 && quiet > m_timeout)
        discard(events, m_buffer.size(), "unfinished frame, line quiet too long");
}

void FrameAssembler::discard(std::vector<AssemblyEvent>& events, std::size_t count, const std::string& reason) {
    Telegram dropped(std::span<const std::uint8_t>(m_buffer.data(), count));
    m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(count));
    // Runs of garbage make one event, not one per byte.
    if (!events.empty() && !events.back().frame && events.back().reason == reason) {
        events.back().discarded.append(dropped.bytes());
        return;
    }
    events.push_back({std::nullopt, std::move(dropped), reason});
}

FrameAssembler::Step FrameAssembler::takeOne(std::vector<AssemblyEvent>& events) {
    const std::uint8_t start = m_buffer[0];

    if (start == frame::kAcknowledge) {
        MasterFrame f;
        f.kind = MasterFrame::Kind::SingleCharacter;
        f.bytes = Telegram{start};
        m_buffer.erase(m_buffer.begin());
        events.push_back({std::move(f), {}, {}});
        return Step::Consumed;
    }

    if (start == frame::kShortStart) {
        if (m_buffer.size() < kShortFrameSize) return Step::NeedMore;
        if (m_buffer[4] != frame::kStop) {
            // Not a short frame after all (or a broken one): look for a frame start one byte further.
            discard(events, 1, "no stop byte where a short frame ends");
            return Step::Consumed;
        }
        if (static_cast<std::uint8_t>(m_buffer[1] + m_buffer[2]) != m_buffer[3]) {
            discard(events, kShortFrameSize, "short frame with a wrong check sum");
            return Step::Consumed;
        }
        MasterFrame f;
        f.kind = MasterFrame::Kind::Short;
        f.bytes = Telegram(std::span<const std::uint8_t>(m_buffer.data(), kShortFrameSize));
        f.control = m_buffer[1];
        f.address = m_buffer[2];
        m_buffer.erase(m_buffer.begin(), m_buffer.begin() + kShortFrameSize);
        events.push_back({std::move(f), {}, {}});
        return Step::Consumed;
    }

    if (start == frame::kLongStart) {
        if (m_buffer.size() < kLongHeaderSize) return Step::NeedMore;
        const std::uint8_t length = m_buffer[1];
        if (m_buffer[2] != length || m_buffer[3] != frame::kLongStart || length < kShortestL) {
            discard(events, 1, "broken long frame header");
            return Step::Consumed;
        }
        const std::size_t total = std::size_t{length} + frame::kLongFrameOverhead;
        if (m_buffer.size() < total) return Step::NeedMore;
        if (m_buffer[total - 1] != frame::kStop) {
            // The L field does not match where the frame really ends: resynchronise byte by byte.
            discard(events, 1, "no stop byte where the L field says the frame ends");
            return Step::Consumed;
        }
        const std::span<const std::uint8_t> checked(m_buffer.data() + 4, length);
        if (CheckSum8(checked) != m_buffer[total - 2]) {
            discard(events, total, "long frame with a wrong check sum");
            return Step::Consumed;
        }
        MasterFrame f;
        f.kind = MasterFrame::Kind::Long;
        f.bytes = Telegram(std::span<const std::uint8_t>(m_buffer.data(), total));
        f.control = m_buffer[4];
        f.address = m_buffer[5];
        f.ci = m_buffer[6];
        f.data.assign(m_buffer.begin() + 7, m_buffer.begin() + static_cast<std::ptrdiff_t>(total - 2));
        m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(total));
        events.push_back({std::move(f), {}, {}});
        return Step::Consumed;
    }

    discard(events, 1, "not a frame start");
    return Step::Consumed;
}

} // namespace veltro

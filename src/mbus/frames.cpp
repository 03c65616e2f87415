#include "mbus/frames.h"

#include "mbus/identification.h"

namespace veltro {
namespace {

// Appends CS over the bytes from `checkedFrom` to the end, then the stop byte.
void Close(Telegram& t, std::size_t checkedFrom) {
    t.append(CheckSum8(t.bytes().subspan(checkedFrom)));
    t.append(frame::kStop);
}

constexpr std::size_t kShortFrameCheckedFrom = 1;  // C of 10 C A CS 16
constexpr std::size_t kLongFrameCheckedFrom = 4;   // C of 68 L L 68 C ...

Telegram ShortFrame(std::uint8_t control, std::uint8_t address) {
    Telegram t{frame::kShortStart, control, address};
    Close(t, kShortFrameCheckedFrom);
    return t;
}

} // namespace

Telegram BuildReqUd2(std::uint8_t address, ReqUd2Form form) {
    return ShortFrame(form == ReqUd2Form::Fcb0_5B ? frame::kReqUd2Fcb0 : frame::kReqUd2, address);
}

Telegram BuildSndNke(std::uint8_t address) { return ShortFrame(frame::kSndNke, address); }

Telegram BuildControlFrame(std::uint8_t address, std::uint8_t ci) {
    Telegram t{frame::kLongStart, 0x03, 0x03, frame::kLongStart, frame::kSndUd, address, ci};
    Close(t, kLongFrameCheckedFrom);
    return t;
}

std::optional<Telegram> BuildLongFrame(std::uint8_t control, std::uint8_t address, std::uint8_t ci,
                                       std::span<const std::uint8_t> data) {
    if (data.size() > 255 - 3) return std::nullopt;
    const auto length = static_cast<std::uint8_t>(3 + data.size());
    Telegram t{frame::kLongStart, length, length, frame::kLongStart, control, address, ci};
    t.append(data);
    Close(t, kLongFrameCheckedFrom);
    return t;
}

Telegram BuildSelectionFrame(std::span<const std::uint8_t, 4> identification, std::uint16_t manufacturer,
                             std::uint8_t version, std::uint8_t medium) {
    std::uint8_t data[8] = {identification[0], identification[1], identification[2], identification[3],
                            static_cast<std::uint8_t>(manufacturer & 0xFF), static_cast<std::uint8_t>(manufacturer >> 8),
                            version, medium};
    return *BuildLongFrame(frame::kSndUd, static_cast<std::uint8_t>(kSecondaryAddress), frame::kCiSelection, data);
}

std::optional<Telegram> BuildSelection(std::string_view identification) {
    auto packed = PackIdentification(identification, IdentificationDigits::DecimalOnly);
    if (!packed) return std::nullopt;
    return BuildSelectionFrame(*packed);
}

FrameValidation ValidateLongFrame(std::span<const std::uint8_t> response) {
    FrameValidation result;
    const std::size_t n = response.size();
    if (n < frame::kShortestLongFrame) return result;

    result.valid = true;
    const std::uint8_t length = response[1];
    // Bytes at positions 5 .. n-2 counted from 1: from C up to the last user-data byte.
    const std::uint8_t sum = CheckSum8(response.subspan(4, n - 6));
    if (sum != response[n - 2]) {
        result.log.emplace_back("Wrong CRC");
        result.valid = false;
    }
    if (response[n - 1] != frame::kStop) {
        result.log.emplace_back("Wrong STOP byte");
        result.valid = false;
    }
    if (n != std::size_t{length} + frame::kLongFrameOverhead) {
        result.log.emplace_back("Wrong length in the header");
        result.valid = false;
    }
    return result;
}

bool IsAcknowledge(std::span<const std::uint8_t> response) {
    return response.size() == 1 && response[0] == frame::kAcknowledge;
}

std::size_t MissingLongFrameBytes(std::span<const std::uint8_t> received) {
    constexpr std::size_t kHeader = 4;
    if (received.empty() || received[0] != frame::kLongStart) return 0;
    if (received.size() < kHeader) {
        if (received.size() == 3 && received[1] != received[2]) return 0;
        return kHeader - received.size();
    }
    if (received[1] != received[2] || received[3] != frame::kLongStart) return 0;
    const std::size_t total = received[1] + frame::kLongFrameOverhead;
    return total > received.size() ? total - received.size() : 0;
}

AnswerProgress ProgressOfAnswer(std::span<const std::uint8_t> received) {
    constexpr std::size_t kShortFrameSize = 5;
    if (received.empty()) return AnswerProgress::Nothing;
    switch (received[0]) {
    case frame::kAcknowledge: return received.size() == 1 ? AnswerProgress::Complete : AnswerProgress::Garbage;
    case frame::kShortStart:
        if (received.size() < kShortFrameSize) return AnswerProgress::Partial;
        return received.size() == kShortFrameSize ? AnswerProgress::Complete : AnswerProgress::Garbage;
    case frame::kLongStart: {
        if (MissingLongFrameBytes(received) > 0) return AnswerProgress::Partial;
        if (received.size() < 4 || received[1] != received[2] || received[3] != frame::kLongStart)
            return AnswerProgress::Garbage;
        const std::size_t total = received[1] + frame::kLongFrameOverhead;
        // Colliding answers overlay into a frame whose L may announce less than the overlay holds: its
        // check fails, and the rest must not spill into the next window.
        return received.size() == total && ValidateLongFrame(received).valid ? AnswerProgress::Complete
                                                                            : AnswerProgress::Garbage;
    }
    default: return AnswerProgress::Garbage;
    }
}

int AnswerTimeMilliseconds(int baud) {
    constexpr int kAnswerBits = 330;
    constexpr int kAnswerMarginMilliseconds = 50;
    constexpr int kSlowestBaud = 300;
    const int speed = baud > 0 ? baud : kSlowestBaud;
    return (kAnswerBits * 1000 + speed - 1) / speed + kAnswerMarginMilliseconds;
}

} // namespace veltro

#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "mbus/constants.h"
#include "mbus/telegram.h"

namespace veltro {

enum class ReqUd2Form { Fcb1_7B, Fcb0_5B };

// Short frame 10 C A CS 16. Address 5: 10 7B 05 80 16, or with "Use 0x5B" 10 5B 05 60 16.
Telegram BuildReqUd2(std::uint8_t address, ReqUd2Form form = ReqUd2Form::Fcb1_7B);
inline Telegram BuildReqUd2(std::uint8_t address, bool use5B) {
    return BuildReqUd2(address, use5B ? ReqUd2Form::Fcb0_5B : ReqUd2Form::Fcb1_7B);
}

// Short frame 10 40 A CS 16. Address 255: 10 40 FF 3F 16 (the sum wraps).
Telegram BuildSndNke(std::uint8_t address);

// Control frame 68 03 03 68 53 A CI CS 16.
Telegram BuildControlFrame(std::uint8_t address, std::uint8_t ci);

// Long frame 68 L L 68 C A CI data CS 16 with L = 3 + data length. Nothing when the data would not fit
// the one-byte L field (more than 252 bytes).
std::optional<Telegram> BuildLongFrame(std::uint8_t control, std::uint8_t address, std::uint8_t ci,
                                       std::span<const std::uint8_t> data);

// How many bytes a long frame still lacks when `received` is its beginning: 68 L L 68 announces L + 6
// bytes in all, so 68 4A 4A 68 and 20 more bytes lack 56. Before L is known the header's own missing
// bytes are counted (a lone 68h lacks 3). Zero when the bytes are whole, or are no long frame at all
// (E5h, a short frame, garbage, a header whose two L bytes differ): those are judged as they are.
std::size_t MissingLongFrameBytes(std::span<const std::uint8_t> received);

// What a meter's answer collected so far has become, for a window that ends as soon as it is whole:
// nothing yet; the beginning of a frame (a long frame's L not yet satisfied, a short frame under its 5
// bytes); a whole answer (E5h alone, a short frame, a long frame of exactly L + 6 bytes whose check sum
// and stop byte hold); or bytes that cannot become one answer (garbage, two answers colliding, a long
// frame that fails its checks, since colliding answers may announce a shorter L than they send), judged
// once the line is quiet.
enum class AnswerProgress { Nothing, Partial, Complete, Garbage };
AnswerProgress ProgressOfAnswer(std::span<const std::uint8_t> received);

// EN 13757-2: a meter starts to answer within 330 bit times + 50 ms of the end of the request (188 ms
// at 2400 Bd). A speed of 0 or less counts as 300 Bd.
int AnswerTimeMilliseconds(int baud);

// Selection by secondary address, 68 0B 0B 68 53 FD 52 id0..id3 FF FF FF FF CS 16; "12345678" gives the
// identification bytes 78 56 34 12 and CS = B2h. Nothing when any of the 8 characters is not a decimal
// digit: no telegram is built and nothing is sent.
std::optional<Telegram> BuildSelection(std::string_view identification);

// The selection telegram with explicit bytes, wildcard nibbles allowed: identification (least significant
// pair first), manufacturer (2 bytes, least significant first), version and medium; FFh is a wildcard.
Telegram BuildSelectionFrame(std::span<const std::uint8_t, 4> identification, std::uint16_t manufacturer = 0xFFFF,
                             std::uint8_t version = 0xFF, std::uint8_t medium = 0xFF);

struct FrameValidation {
    bool valid = false;
    std::vector<std::string> log;  // the failed checks' lines, in the order the checks run
};

// The acceptance check of a received response, collected in one window:
// shorter than 8 bytes is rejected without a line; otherwise the sum of C..last data byte against CS
// ("Wrong CRC"), the stop byte ("Wrong STOP byte") and the length L + 6 ("Wrong length in the header")
// are all checked, in that order. Start bytes and the repeated L are not examined.
FrameValidation ValidateLongFrame(std::span<const std::uint8_t> response);

// True exactly when the response is the single byte E5h; E5h followed by anything is not an acknowledge.
bool IsAcknowledge(std::span<const std::uint8_t> response);

} // namespace veltro

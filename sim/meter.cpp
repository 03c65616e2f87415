#include "sim/meter.h"

#include "decode/header_fields.h"
#include "mbus/frames.h"
#include "mbus/hex.h"

namespace veltro::sim {
namespace {

constexpr std::size_t kSelectionSize = 8;  // identification 4, manufacturer 2, version, medium

constexpr std::size_t kFixedHeaderEnd = 19;  // records start here
constexpr std::size_t kShortestRspUd = 21;

bool IsDate(const DataRecord& r) {
    const std::uint8_t vif = r.vif & 0x7F;
    return vif == 0x6C || vif == 0x6D;
}

bool IsSndUd(std::uint8_t control) { return control == frame::kSndUd || control == frame::kSndUdAddressing; }
bool IsReqUd2(std::uint8_t control) { return control == frame::kReqUd2 || control == frame::kReqUd2Fcb0; }

std::string ByteText(std::uint8_t b) { return HexByte(b) + "h"; }

// The record's VIF with its extensions as the journal shows it: "13", "FD 17".
std::string VifText(const DataRecord& r) {
    std::string text = HexByte(r.vif);
    for (std::uint8_t e : r.vife) text += " " + HexByte(e);
    return text;
}

// The two mode bytes of a counter-type telegram, "C3 01"; "none" before the first.
std::string CounterModeText(std::uint16_t mode) {
    if (mode == 0) return "none";
    return HexByte(static_cast<std::uint8_t>(mode >> 8)) + " " + HexByte(static_cast<std::uint8_t>(mode & 0xFF));
}

const std::uint16_t kMakersManufacturer = *ManufacturerCode("KXR");
const std::uint16_t kRelayManufacturer = *ManufacturerCode("REL");

} // namespace

bool SelectionMatches(std::span<const std::uint8_t> selection, const PackedIdentification& identification,
                      std::uint16_t manufacturer, std::uint8_t version, std::uint8_t medium) {
    if (selection.size() != kSelectionSize) return false;
    for (std::size_t i = 0; i < 4; ++i) {
        for (int shift : {0, 4}) {
            const int wanted = (selection[i] >> shift) & 0x0F;
            if (wanted != 0x0F && wanted != ((identification[i] >> shift) & 0x0F)) return false;
        }
    }
    const std::uint16_t wantedManufacturer = static_cast<std::uint16_t>(selection[4] | (selection[5] << 8));
    if (wantedManufacturer != 0xFFFF && wantedManufacturer != manufacturer) return false;
    if (selection[6] != 0xFF && selection[6] != version) return false;
    if (selection[7] != 0xFF && selection[7] != medium) return false;
    return true;
}

std::optional<std::size_t> FirstCounterCandidate(const std::vector<DataRecord>& records) {
    for (std::size_t i = 0; i < records.size(); ++i) {
        const auto& r = records[i];
        if (r.verbatim || r.isManufacturerSpecific() || IsDate(r)) continue;
        if (r.dataFieldCode() == 0x05 || r.dataFieldCode() == 0x0D) continue;
        if (DecodeNumberField(r.dif, r.data)) return i;
    }
    return std::nullopt;
}

std::optional<MeterState> StateFromCapturedTelegrams(std::span<const Telegram> frames, std::string& error) {
    if (frames.empty()) {
        error = "no telegram given";
        return std::nullopt;
    }
    MeterState state;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const Telegram& f = frames[i];
        const std::string which = "telegram " + std::to_string(i + 1) + ": ";
        const auto validation = ValidateLongFrame(f);
        if (!validation.valid) {
            error = which + "not a valid long frame";
            for (const auto& line : validation.log) error += ", " + line;
            return std::nullopt;
        }
        if (f.size() < kShortestRspUd || f[0] != frame::kLongStart || f[3] != frame::kLongStart) {
            error = which + "too short for the 12-byte header";
            return std::nullopt;
        }
        if (i == 0) {
            if (f[5] <= kLastMeterAddress) {
                state.primaryAddress = f[5];
            } else {
                // Captured while selected (A = 253): the meter's own address is not in the frame, so it
                // listens at 0, where meters leave the factory, and answers with the byte it was captured with.
                state.primaryAddress = 0;
                state.addressField = f[5];
            }
            state.identification = {f[7], f[8], f[9], f[10]};
            state.manufacturer = static_cast<std::uint16_t>(f[11] | (f[12] << 8));
            state.version = f[13];
            state.medium = f[14];
            state.accessNumber = f[15];
            state.status = f[16];
            state.signature = static_cast<std::uint16_t>(f[17] | (f[18] << 8));
        }
        MeterTelegram t;
        t.control = f[4];
        t.ci = f[6];
        const auto records = f.bytes().subspan(kFixedHeaderEnd, f.size() - kFixedHeaderEnd - 2);
        if (!records.empty()) t.records.push_back(DataRecord::Verbatim(records));
        state.telegrams.push_back(std::move(t));
    }
    return state;
}

std::unique_ptr<Meter> Meter::Create(MeterState state, std::string& error) {
    if (state.primaryAddress < 0 || state.primaryAddress > kLastMeterAddress) {
        error = "primary address " + std::to_string(state.primaryAddress) + " is outside 0..250";
        return nullptr;
    }
    // Real meters do send identifications with hex digits (captured telegrams replay them); only the
    // meters file and the identification-change telegram insist on decimal digits.
    if (!BaudRateCi(state.baud)) {
        error = "baud rate " + std::to_string(state.baud) + " is not one of 300, 600, 1200, 2400, 4800, 9600";
        return nullptr;
    }
    if (state.telegrams.empty()) {
        error = "a meter needs at least one telegram";
        return nullptr;
    }
    for (std::size_t t = 0; t < state.telegrams.size(); ++t) {
        const auto& records = state.telegrams[t].records;
        for (std::size_t r = 0; r < records.size(); ++r) {
            if (auto problem = CheckRecord(records[r])) {
                error = "telegram " + std::to_string(t + 1) + ", record " + std::to_string(r + 1) + ": " + *problem;
                return nullptr;
            }
        }
        if (!EncodeRspUd(0, {}, records)) {
            error = "telegram " + std::to_string(t + 1) + ": the records do not fit one frame (240 bytes at most)";
            return nullptr;
        }
    }
    if (state.counterRecord) {
        const auto& records = state.telegrams.front().records;
        const auto index = *state.counterRecord;
        if (index >= records.size() || records[index].verbatim || IsDate(records[index]) ||
            !DecodeNumberField(records[index].dif, records[index].data)) {
            error = "counter record " + std::to_string(index + 1) + " is not an integer or BCD record of telegram 1";
            return nullptr;
        }
    }
    return std::unique_ptr<Meter>(new Meter(std::move(state)));
}

std::string Meter::id() const { return UnpackIdentification(m_state.identification); }

void Meter::recordChange(DeviceResponse& response, std::string field, std::string from, std::string to) const {
    if (from == to) return;
    response.changes.push_back({id(), std::move(field), std::move(from), std::move(to)});
}

void Meter::setSelected(bool selected, DeviceResponse& response) {
    recordChange(response, "selected", m_selected ? "true" : "false", selected ? "true" : "false");
    m_selected = selected;
}

std::string Meter::label() const {
    std::string text = "meter " + id() + " at " + std::to_string(m_state.primaryAddress);
    if (!m_state.name.empty()) text += " (" + m_state.name + ")";
    return text;
}

bool Meter::isMakersDevice() const { return m_state.manufacturer == kMakersManufacturer; }
bool Meter::isRelayUnit() const { return m_state.manufacturer == kRelayManufacturer; }

std::optional<std::int64_t> Meter::counterValue() const {
    if (!m_state.counterRecord) return std::nullopt;
    const auto& r = m_state.telegrams.front().records[*m_state.counterRecord];
    return DecodeNumberField(r.dif, r.data);
}

Telegram Meter::telegram(std::size_t index) const {
    const auto& t = m_state.telegrams.at(index);
    FixedHeader header;
    header.identification = m_state.identification;
    header.manufacturer = m_state.manufacturer;
    header.version = m_state.version;
    header.medium = m_state.medium;
    header.accessNumber = m_state.accessNumber;
    header.status = m_state.status;
    header.signature = m_state.signature;
    // Create() checked that every telegram fits, and configuration only ever keeps records well formed.
    const auto address = m_state.addressField.value_or(static_cast<std::uint8_t>(m_state.primaryAddress));
    return *EncodeRspUd(address, header, t.records, t.control, t.ci);
}

bool Meter::reaches(std::uint8_t address) const {
    if (address == kSecondaryAddress) return m_selected;
    if (address == kBroadcastWithReply || address == kBroadcastNoReply) return true;
    return address == m_state.primaryAddress;
}

DeviceResponse Meter::hear(const MasterFrame& frame, int lineBaud) {
    if (lineBaud != m_state.baud) return {};
    DeviceResponse response;
    switch (frame.kind) {
    case MasterFrame::Kind::Short: response = hearShort(frame); break;
    case MasterFrame::Kind::Long: response = hearLong(frame); break;
    case MasterFrame::Kind::SingleCharacter: break;
    case MasterFrame::Kind::Text: break;  // the display's language, not the meters'
    }
    if (response.answer) response.answerDelay = m_state.answerDelay;
    return response;
}

DeviceResponse Meter::hearShort(const MasterFrame& frame) {
    DeviceResponse response;
    if (!reaches(frame.address)) return response;
    response.reached = true;
    if (frame.control == frame::kSndNke) {
        m_nextTelegram = 0;
        if (frame.address == kSecondaryAddress) {
            setSelected(false, response);
            response.notes.push_back(label() + ": deselected");
        }
        if (frame.address == kBroadcastNoReply && m_selected) {
            setSelected(false, response);
            response.notes.push_back(label() + ": reset, deselected");
        }
        if (acknowledges(frame.address)) response.answer = Telegram{frame::kAcknowledge};
        return response;
    }
    if (IsReqUd2(frame.control) && acknowledges(frame.address)) {
        response.answer = telegram(m_nextTelegram);
        if (m_state.telegrams.size() > 1)
            response.notes.push_back(label() + ": telegram " + std::to_string(m_nextTelegram + 1) + " of " +
                                     std::to_string(m_state.telegrams.size()));
        m_nextTelegram = (m_nextTelegram + 1) % m_state.telegrams.size();
        ++m_state.accessNumber;
        return response;
    }
    return response;  // REQ_UD1 and other requests: this meter has nothing to say
}

DeviceResponse Meter::hearLong(const MasterFrame& frame) {
    DeviceResponse response;
    if (!IsSndUd(frame.control)) return response;

    if (frame.address == kSecondaryAddress && frame.ci == frame::kCiSelection) {
        const bool match = SelectionMatches(frame.data, m_state.identification, m_state.manufacturer, m_state.version,
                                            m_state.medium);
        if (match) {
            if (!m_selected) response.notes.push_back(label() + ": selected");
            setSelected(true, response);
            response.reached = true;
            response.answer = Telegram{frame::kAcknowledge};
        } else if (m_selected) {
            setSelected(false, response);
            response.notes.push_back(label() + ": deselected by another selection");
        }
        return response;
    }

    if (!reaches(frame.address)) return response;
    response.reached = true;
    if (acknowledges(frame.address)) response.answer = Telegram{frame::kAcknowledge};

    if (frame.ci == frame::kCiDataSend) {
        applyConfiguration(frame.data, response);
        return response;
    }
    if (frame.ci == frame::kCiApplicationReset) {
        m_nextTelegram = 0;
        response.notes.push_back(label() + ": application reset");
        return response;
    }
    if (const auto baud = BaudOfCi(frame.ci); baud && frame.data.empty()) {
        // The acknowledge still goes out at the old speed; from the next frame on the meter listens at the new one.
        response.notes.push_back(label() + ": baud rate " + std::to_string(m_state.baud) + " -> " +
                                 std::to_string(*baud) + " after the acknowledge");
        recordChange(response, "baud", std::to_string(m_state.baud), std::to_string(*baud));
        m_state.baud = *baud;
        return response;
    }
    response.notes.push_back(label() + ": acknowledged, CI " + ByteText(frame.ci) + " not understood");
    return response;
}

// The configuration telegrams a reading master sends with CI 51h, by their data bytes:
//   01 7A N                      primary address N (0..250)
//   0C 79 I1 I2 I3 I4            identification (BCD, least significant pair first)
//   07 79 I1..I4 M1 M2 V MED     medium MED, when the identification, manufacturer and version match
//                                (FFh bytes and Fh nibbles are wildcards)
//   0F V 03 MED 01 01            pulse counter unit: VIF V and medium MED
//   0F FD 0B 04 00 00 00 P       pulse width 1..5 = 5, 10, 20, 50, 100 ms (the maker's devices)
//   04 13 B0 B1 B2 00            pulse counter value B0 + 256 B1 + 65536 B2
//   0F FF 00 04 FF FE T1 T2      counter addressing mode (the maker's devices)
//   0C V D1 D2 D3 D4             relay unit: start value D (8 BCD digits) in the unit of VIF V
// Anything else is acknowledged and ignored, as the link layer of a meter does.
void Meter::applyConfiguration(std::span<const std::uint8_t> d, DeviceResponse& response) {
    auto& notes = response.notes;
    const auto is = [&](std::initializer_list<int> prefix, std::size_t size) {
        if (d.size() != size || prefix.size() > size) return false;
        std::size_t i = 0;
        for (int b : prefix) {
            if (b >= 0 && d[i] != b) return false;
            ++i;
        }
        return true;
    };

    if (is({0x01, 0x7A}, 3)) {
        if (d[2] > kLastMeterAddress) {
            notes.push_back(label() + ": primary address " + std::to_string(d[2]) + " refused");
            return;
        }
        notes.push_back(label() + ": primary address -> " + std::to_string(d[2]));
        recordChange(response, "address", std::to_string(m_state.primaryAddress), std::to_string(d[2]));
        m_state.primaryAddress = d[2];
        m_state.addressField.reset();
        return;
    }
    if (is({0x0C, 0x79}, 6)) {
        const PackedIdentification wanted{d[2], d[3], d[4], d[5]};
        if (!IsBcd(wanted)) {
            notes.push_back(label() + ": identification " + UnpackIdentification(wanted) + " refused (not BCD)");
            return;
        }
        notes.push_back(label() + ": identification -> " + UnpackIdentification(wanted));
        recordChange(response, "identification", id(), UnpackIdentification(wanted));
        m_state.identification = wanted;
        return;
    }
    if (is({0x07, 0x79}, 10)) {
        const std::uint8_t selection[8] = {d[2], d[3], d[4], d[5], d[6], d[7], d[8], 0xFF};
        if (!SelectionMatches(selection, m_state.identification, m_state.manufacturer, m_state.version, m_state.medium)) {
            notes.push_back(label() + ": medium telegram for another identification, ignored");
            return;
        }
        notes.push_back(label() + ": medium " + ByteText(m_state.medium) + " -> " + ByteText(d[9]));
        recordChange(response, "medium", HexByte(m_state.medium), HexByte(d[9]));
        m_state.medium = d[9];
        return;
    }
    if (is({0x0F, 0xFD, 0x0B, 0x04, 0x00, 0x00, 0x00}, 8)) {
        const std::uint8_t code = d[7];
        if (!isMakersDevice()) {
            notes.push_back(label() + ": pulse width telegram ignored (not one of the maker's devices)");
            return;
        }
        const auto nibble = PulseWidthNibble(code);
        if (!nibble) {
            notes.push_back(label() + ": pulse width code " + ByteText(code) + " refused");
            return;
        }
        const auto status = static_cast<std::uint8_t>((m_state.status & 0x0F) | (*nibble << 4));
        recordChange(response, "pulse width", PulseWidthText(m_state.status), PulseWidthText(status));
        m_state.status = status;
        notes.push_back(label() + ": pulse width code " + std::to_string(code) + ", status " + ByteText(m_state.status));
        return;
    }
    if (is({0x0F, 0xFF, 0x00, 0x04, 0xFF, 0xFE}, 8)) {
        const auto mode = static_cast<std::uint16_t>((d[6] << 8) | d[7]);
        recordChange(response, "counter type", CounterModeText(m_counterMode), CounterModeText(mode));
        m_counterMode = mode;
        notes.push_back(label() + ": counter mode " + ByteText(d[6]) + " " + ByteText(d[7]));
        return;
    }
    if (is({0x0F, -1, 0x03, -1, 0x01, 0x01}, 6)) {
        if (!m_state.counterRecord) {
            notes.push_back(label() + ": unit telegram ignored (no pulse counter)");
            return;
        }
        auto& record = m_state.telegrams.front().records[*m_state.counterRecord];
        const auto vif = static_cast<std::uint8_t>(d[1] & 0x7F);
        recordChange(response, "vif", VifText(record), HexByte(vif));
        recordChange(response, "medium", HexByte(m_state.medium), HexByte(d[3]));
        record.vif = vif;
        record.vife.clear();
        notes.push_back(label() + ": counter VIF -> " + ByteText(record.vif) + ", medium -> " + ByteText(d[3]));
        m_state.medium = d[3];
        return;
    }
    if (is({0x04, 0x13, -1, -1, -1, 0x00}, 6)) {
        setCounter(d[2] | (d[3] << 8) | (d[4] << 16), std::nullopt, response);
        return;
    }
    if (is({0x0C}, 6) && d[1] != 0x79) {
        if (!isRelayUnit()) {
            notes.push_back(label() + ": relay start value ignored (not a relay unit)");
            return;
        }
        const auto value = DecodeNumberField(0x0C, d.subspan(2, 4));
        if (!value) {
            notes.push_back(label() + ": relay start value refused (not BCD)");
            return;
        }
        setCounter(*value, static_cast<std::uint8_t>(d[1] & 0x7F), response);
        return;
    }
    notes.push_back(label() + ": acknowledged, data " + HexRendering(d) + "not understood");
}

bool Meter::setCounter(std::int64_t value, std::optional<std::uint8_t> vif, DeviceResponse& response) {
    auto& notes = response.notes;
    if (!m_state.counterRecord) {
        notes.push_back(label() + ": counter value ignored (no pulse counter)");
        return false;
    }
    auto& record = m_state.telegrams.front().records[*m_state.counterRecord];
    auto data = EncodeNumberForDif(record.dif, static_cast<double>(value));
    if (!data) {
        notes.push_back(label() + ": counter value " + std::to_string(value) + " does not fit its record");
        return false;
    }
    const auto before = counterValue();
    recordChange(response, "counter", before ? std::to_string(*before) : "none", std::to_string(value));
    if (vif) recordChange(response, "vif", VifText(record), HexByte(*vif));
    record.data = std::move(*data);
    if (vif) {
        record.vif = *vif;
        record.vife.clear();
    }
    notes.push_back(label() + ": counter -> " + std::to_string(value) +
                    (vif ? ", VIF -> " + ByteText(*vif) : std::string{}));
    return true;
}

} // namespace veltro::sim

#include "decode/telegram_header.h"

#include "decode/header_fields.h"
#include "mbus/identification.h"

namespace veltro {

HeaderDecoding DecodeTelegramHeader(std::span<const std::uint8_t> frame, char decimalSeparator) {
    HeaderDecoding result;
    if (frame.size() < kShortestResponse) {
        result.error = "the response of " + std::to_string(frame.size()) +
                       " bytes ends inside its 12-byte header";
        return result;
    }
    TelegramHeader h;
    h.id = UnpackIdentification({frame[7], frame[8], frame[9], frame[10]});
    h.primaryAddress = frame[5];
    h.manufacturerCode = static_cast<std::uint16_t>(frame[12] * 256 + frame[11]);
    h.manufacturer = ManufacturerLetters(frame[11], frame[12]);
    h.version = frame[13];
    h.mediumCode = frame[14];
    const HeaderMedium medium = HeaderMediumOf(frame[14]);
    h.medium = medium.text;
    h.preferredUnits = medium.preferredUnits;
    h.accessNumber = frame[15];
    h.statusByte = frame[16];
    h.status = StatusText(frame[16]);
    h.model = ModelText(frame[13]);
    if (h.manufacturer == kMakerManufacturer && h.model != kUnknownModel) {
        h.pulse = PulseWidthText(frame[16]);
        BatteryReading battery = DecodeBattery(frame, decimalSeparator);
        h.battery = std::move(battery.text);
        result.log = std::move(battery.log);
    }
    result.header = std::move(h);
    return result;
}

} // namespace veltro

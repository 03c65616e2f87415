// libFuzzer harness: any bytes as a meter's answer, through every decoding path.
#include <cstddef>
#include <cstdint>
#include <span>

#include "decode/meter_response.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> response(data, size);
    veltro::DecodeSettings settings;
    settings.additionalCount = 15;
    settings.decodeApator = size > 0 && (data[0] & 1);
    veltro::DecodeMeterResponse(response, settings);
    settings.fullRead = true;
    veltro::DecodeMeterResponse(response, settings);
    veltro::DecodeValueList(response, settings);
    return 0;
}

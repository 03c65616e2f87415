#pragma once

#include <string>
#include <vector>

namespace veltro::cli {

// veltro-cli decode [--full] [--additional N] [--apator] [--json] HEX...|-
int DecodeCommand(const std::vector<std::string>& arguments);

// The local time and date texts stamped on a decoded row, in the C locale's formats.
std::string LocalTimeText();
std::string LocalDateText();

} // namespace veltro::cli

#pragma once

#include <string>
#include <vector>

namespace veltro::cli {

// `rxvpico ...`: the RXVpico wireless receiver on the wired bus: its status and clock, its meter list
// and keys, its flags and filter tables.
int RxvpicoCommand(const std::vector<std::string>& arguments);

} // namespace veltro::cli

#pragma once

#include <string>
#include <vector>

namespace veltro::cli {

// Commands that change meters: reset, set-address, set-id, set-baud, set-medium, set-unit, set-pulse,
// set-counter, set-counter-type on --address, --id or --broadcast; auto-address.
int ConfigureCommand(const std::string& command, const std::vector<std::string>& arguments);
int AutoAddressCommand(const std::vector<std::string>& arguments);

} // namespace veltro::cli

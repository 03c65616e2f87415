#pragma once

#include <string>
#include <vector>

namespace veltro::cli {

// `gateway set NAME VALUE...`, `gateway get GROUP`, `gateway test`: an NLAN-2's or NCEL-1A's settings
// over its RS-232 port, as the communication-devices page sends them.
int GatewayCommand(const std::vector<std::string>& arguments);

} // namespace veltro::cli

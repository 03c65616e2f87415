#pragma once

#include <string>
#include <vector>

namespace veltro::cli {

// `display ...`: the local display's table write, its reads and single commands, and the two table
// operations that need no bus.
int DisplayCommand(const std::vector<std::string>& arguments);

} // namespace veltro::cli

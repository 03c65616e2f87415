#pragma once

#include <string>
#include <vector>

namespace veltro::cli {

// watch: reads a list of meters again and again, each reading to a message broker or standard output.
int WatchCommand(const std::vector<std::string>& arguments);

} // namespace veltro::cli

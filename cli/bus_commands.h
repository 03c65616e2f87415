#pragma once

#include <string>
#include <vector>

namespace veltro::cli {

// Commands that use the bus: send, request, scan, read, search. Each takes --link LINK, --home DIR or
// --simulate, and --timeout MS / --retries N, before or after its arguments.
int SendCommand(const std::vector<std::string>& arguments);
int RequestCommand(const std::vector<std::string>& arguments);
int ScanCommand(const std::vector<std::string>& arguments);
int ReadCommand(const std::vector<std::string>& arguments);
int SearchCommand(const std::vector<std::string>& arguments);

} // namespace veltro::cli

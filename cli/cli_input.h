#pragma once

#include <optional>
#include <string>
#include <vector>

#include "mbus/telegram.h"

namespace veltro::cli {

// Hex bytes from the command line: the arguments joined, or standard input when the only argument is "-".
// With or without blanks, either case. Nothing (and `error` set) when the text is not hex pairs.
std::optional<Telegram> ReadHexArguments(const std::vector<std::string>& arguments, std::string& error);

// "1,2,3" as given after --address or --id; a trailing comma adds nothing.
std::vector<std::string> SplitCommaList(const std::string& text);

} // namespace veltro::cli

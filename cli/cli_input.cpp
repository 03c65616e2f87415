#include "cli_input.h"

#include <iostream>
#include <iterator>

#include "mbus/hex.h"

namespace veltro::cli {

std::optional<Telegram> ReadHexArguments(const std::vector<std::string>& arguments, std::string& error) {
    std::string text;
    if (arguments.size() == 1 && arguments.front() == "-") {
        text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    } else {
        for (const auto& argument : arguments) text += argument + " ";
    }
    auto telegram = ParseHex(text);
    if (!telegram) {
        error = "not a telegram: expected pairs of hex digits";
    } else if (telegram->empty()) {
        error = "no bytes given";
        return std::nullopt;
    }
    return telegram;
}

} // namespace veltro::cli

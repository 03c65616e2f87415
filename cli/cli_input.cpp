#include "cli_input.h"

#include <iostream>
#include <iterator>
#include <sstream>

#include "mbus/hex.h"

namespace veltro::cli {

std::optional<Telegram> ReadHexArguments(const std::vector<std::string>& arguments, std::string& error) {
    std::string text;
    if (arguments.size() == 1 && arguments.front() == "-") {
        // Hex text of a telegram is a few hundred characters; an endless stream is refused, not read.
        constexpr std::size_t kMaxInput = 1024 * 1024;
        text.resize(kMaxInput + 1);
        std::cin.read(text.data(), static_cast<std::streamsize>(text.size()));
        text.resize(static_cast<std::size_t>(std::cin.gcount()));
        if (text.size() > kMaxInput) {
            error = "the input is larger than 1 MiB, no telegram";
            return std::nullopt;
        }
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

std::vector<std::string> SplitCommaList(const std::string& text) {
    std::vector<std::string> items;
    std::stringstream stream(text);
    for (std::string item; std::getline(stream, item, ',');) items.push_back(item);
    return items;
}

} // namespace veltro::cli

#pragma once

#include <string>
#include <vector>

namespace veltro::cli {

// `rxv-kt ...`: the RXV-KT wireless receiver's acquisition, programming, keys, settings and information,
// and a check of its entries through their wired side.
int RxvKtCommand(const std::vector<std::string>& arguments);

} // namespace veltro::cli

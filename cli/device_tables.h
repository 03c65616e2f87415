#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/json_writer.h"
#include "devices/device_table.h"

namespace veltro {
class Engine;
}

// What the device commands (display, rxv-kt) share: their table files read before the bus opens, and
// their tables printed as text or JSON.
namespace veltro::cli {

// The whole file (up to one byte past the import limit, so an endless one is refused too), read before
// anything is opened so a missing file never touches the bus.
std::optional<std::string> ReadTableFile(const std::string& path, std::string& error);

// The settings' export separator, ';' when none is set.
char Separator(Engine& engine);

// JsonWriter writes bytes above 7Eh as Latin-1 escapes; the devices' texts are UTF-8 and stay so (an
// invalid sequence becomes U+FFFD, so the output is always valid UTF-8).
std::string Utf8Json(std::string_view text);
void JsonStrings(JsonWriter& json, const std::vector<std::string>& texts);

// The data rows that hold anything.
std::vector<int> ShownRows(const DeviceTable& table);
// "columns" and "rows" of the shown rows.
void JsonTable(JsonWriter& json, const DeviceTable& table);
void PrintDeviceTable(const char* title, const DeviceTable& table);

} // namespace veltro::cli

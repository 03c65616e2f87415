#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/settings.h"

namespace veltro {

// The rules of the serial channel that need no port: which device a port name stands for, the line
// settings a speed and parity text give, and the texts the channel shows. Fixed line parameters:
// 8 data bits, 1 stop bit, no flow control, DTR and RTS off.

enum class SerialParity { None, Even, Odd, Mark, Space };

inline constexpr int kSerialDefaultBaudRate = 2400;

// "300", "2400", "4800", "9600", "19200" give that rate; any other text (for example "1200") gives 2400.
int SerialBaudRate(std::string_view speedText);

// "None", "Even", "Odd", "Mark", "Space", compared exactly; any other text (for example "even") gives even.
SerialParity SerialParityFromText(std::string_view parityText);

// The device a port name stands for on this platform:
//   "COM1".."COM30" (any case)      -> "/dev/ttyS0".."/dev/ttyS29"
//   a name starting with "/"         -> that path
//   any other name ("ttyUSB0", "serial/by-id/usb-x") -> looked up under "/dev/"
// Nothing for an empty name, one holding control characters, or a relative name with an empty, "." or
// ".." component (so "../sda" cannot reach outside /dev); the channel treats that as a missing port.
std::optional<std::string> SerialDevicePath(std::string_view portName);

// Status-bar panel 0 after a successful open, with the texts as typed: "COM3 - 2400,8,Even".
std::string SerialOpenStatus(std::string_view name, std::string_view speedText, std::string_view parityText);

// Status-bar panel 0 after a close or a failed open: "COM3 is closed".
std::string SerialClosedStatus(std::string_view name);

// The log line when the port is missing or held by another program, in the current language.
std::string SerialPortInUseMessage(std::string_view name, Language language);

inline constexpr std::string_view kSerialOpenFailedMessage = "Unknown Exception on opening serial port...";
inline constexpr std::string_view kSerialCloseFailedMessage = "Unknown Exception closing serial port, please restart...";

// Caption of the settings window's `Butt_open_port`.
inline std::string_view SerialPortButtonCaption(bool open) { return open ? "Disconnect" : "Connect to port"; }

} // namespace veltro

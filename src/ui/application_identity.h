#pragma once

class QApplication;

namespace veltro {

inline constexpr const char* kApplicationTitle = "Veltro";
inline constexpr const char* kMainWindowCaption = "M-bus and wireless configuration and read utility";

// Task-bar title and organisation names of the desktop program.
void ApplyApplicationIdentity(QApplication& application);

} // namespace veltro

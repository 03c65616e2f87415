#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace veltro {

// What decides the program folder (the INI file and files/users.dat), gathered by the caller.
struct ProgramHomeInputs {
    std::optional<std::string> homeOption;  // --home DIR
    std::string environment;                // VELTRO_HOME, empty when unset
    std::filesystem::path executableFolder;
    std::string xdgConfigHome;              // XDG_CONFIG_HOME, empty when unset
    std::string userHome;                   // HOME
};

struct ProgramHome {
    std::filesystem::path folder;
    bool perUser = false;  // the user's configuration folder: create it before the first write
};

// --home, else VELTRO_HOME, else the executable's folder, unless that is a folder of installed programs
// (not writable, or under /usr, /bin or /sbin, where even root keeps no settings): then the user's
// $XDG_CONFIG_HOME/veltro, by default ~/.config/veltro. Relative paths are made absolute.
ProgramHome ChooseProgramHome(const ProgramHomeInputs& inputs);

// The same from this process: its environment and the folder of /proc/self/exe (or `argv0`).
ProgramHome ProgramHomeOfThisProcess(const std::optional<std::string>& homeOption, const std::string& argv0);

} // namespace veltro

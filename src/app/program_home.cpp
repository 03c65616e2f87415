#include "app/program_home.h"

#include <cstdlib>
#include <system_error>

#if !defined(_WIN32)
#include <unistd.h>
#endif

namespace veltro {
namespace {

namespace fs = std::filesystem;

bool IsInstalledProgramsFolder(const fs::path& folder) {
#if defined(_WIN32)
    (void)folder;
    return false;
#else
    const std::string text = folder.lexically_normal().generic_string();
    for (const std::string top : {"/usr", "/bin", "/sbin"})
        if (text == top || text.rfind(top + "/", 0) == 0) return true;
    return ::access(folder.c_str(), W_OK) != 0;
#endif
}

fs::path Absolute(const fs::path& path) {
    std::error_code error;
    const fs::path absolute = fs::absolute(path, error);
    return error ? path : absolute;
}

} // namespace

ProgramHome ChooseProgramHome(const ProgramHomeInputs& inputs) {
    if (inputs.homeOption) return {Absolute(*inputs.homeOption), false};
    if (!inputs.environment.empty()) return {Absolute(inputs.environment), false};
    if (!IsInstalledProgramsFolder(inputs.executableFolder)) return {inputs.executableFolder, false};
    const fs::path configuration = !inputs.xdgConfigHome.empty() && fs::path(inputs.xdgConfigHome).is_absolute()
                                       ? fs::path(inputs.xdgConfigHome)
                                       : fs::path(inputs.userHome.empty() ? "/tmp" : inputs.userHome) / ".config";
    return {configuration / "veltro", true};
}

ProgramHome ProgramHomeOfThisProcess(const std::optional<std::string>& homeOption, const std::string& argv0) {
    auto variable = [](const char* name) {
        const char* value = std::getenv(name);
        return std::string(value ? value : "");
    };
    std::error_code error;
    fs::path executable = fs::read_symlink("/proc/self/exe", error);
    if (error) executable = Absolute(argv0);
    return ChooseProgramHome({homeOption, variable("VELTRO_HOME"), executable.parent_path(), variable("XDG_CONFIG_HOME"),
                              variable("HOME")});
}

} // namespace veltro

#include <gtest/gtest.h>

#include "app/file_faults.h"
#include "app/program_home.h"

namespace veltro {
namespace {

TEST(ProgramHome, TheOptionTheEnvironmentTheProgramsFolderOrTheUsersConfiguration) {
    test::TempFolder buildFolder;  // writable, as a build folder is
    const std::string build = buildFolder.path().string();
    struct Case {
        const char* what;
        ProgramHomeInputs inputs;
        std::string folder;
        bool perUser;
    } cases[] = {
        {"--home wins", {"/srv/meters", "/env", "/usr/bin", "", "/home/ann"}, "/srv/meters", false},
        {"then VELTRO_HOME", {std::nullopt, "/env", "/usr/bin", "", "/home/ann"}, "/env", false},
        {"a writable folder of its own", {std::nullopt, "", build, "", "/home/ann"}, build, false},
        {"installed under /usr", {std::nullopt, "", "/usr/bin", "", "/home/ann"}, "/home/ann/.config/veltro", true},
        {"installed under /usr/local", {std::nullopt, "", "/usr/local/bin", "/cfg", "/home/ann"}, "/cfg/veltro", true},
        {"a relative XDG_CONFIG_HOME is ignored", {std::nullopt, "", "/bin", "cfg", "/home/ann"}, "/home/ann/.config/veltro", true},
        {"a folder it cannot write", {std::nullopt, "", build + "/missing", "", "/home/ann"}, "/home/ann/.config/veltro", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ProgramHome home = ChooseProgramHome(c.inputs);
        EXPECT_EQ(home.folder, std::filesystem::path(c.folder));
        EXPECT_EQ(home.perUser, c.perUser);
    }
}

} // namespace
} // namespace veltro

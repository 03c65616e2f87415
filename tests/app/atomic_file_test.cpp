#include <gtest/gtest.h>

#include "app/atomic_file.h"
#include "app/file_faults.h"

namespace veltro {
namespace {

using test::ReadWholeFile;
using test::TempFolder;
using test::WriteWholeFile;

TEST(AtomicFile, ReplacesTheFileKeepsItsModeAndLeavesNoTemporaryFileBehind) {
    TempFolder folder;
    const auto path = folder / "veltro.ini";
    WriteWholeFile(path, "[Old]\nK=1\n");
    std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    const FileWriteResult written = WriteFileAtomically(path, "[Old]\nK=2\n");
    ASSERT_TRUE(written.ok) << written.error;
    EXPECT_EQ(ReadWholeFile(path), "[Old]\nK=2\n");
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"veltro.ini"});
    EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST(AtomicFile, WritingThroughASymbolicLinkWritesItsTarget) {
    TempFolder folder;
    WriteWholeFile(folder / "real.ini", "[S]\nK=1\n");
    std::filesystem::create_symlink("real.ini", folder / "veltro.ini");
    ASSERT_TRUE(WriteFileAtomically(folder / "veltro.ini", "[S]\nK=2\n").ok);
    EXPECT_TRUE(std::filesystem::is_symlink(folder / "veltro.ini"));
    EXPECT_EQ(ReadWholeFile(folder / "real.ini"), "[S]\nK=2\n");
}

TEST(AtomicFile, WritingIntoAReadOnlyFolderFailsAndLeavesTheOldFileIntact) {
    TempFolder folder;
    const auto path = folder / "veltro.ini";
    WriteWholeFile(path, "[Com port]\r\nName=COM3\r\n");

    test::ImmutableFolder readOnly(folder.path());
    if (!readOnly.available()) GTEST_SKIP() << "needs a file system and rights that allow chattr +i on " << folder.path();
    const FileWriteResult written = WriteFileAtomically(path, "[Com port]\r\nName=COM9\r\n");
    EXPECT_FALSE(written.ok);
    EXPECT_EQ(written.reason, "Operation not permitted");
    // The reason alone is what the windows and the CLI put after their own words.
    EXPECT_EQ(written.error, "Cannot write " + path.string() + ": " + written.reason);
    EXPECT_EQ(ReadWholeFile(path), "[Com port]\r\nName=COM3\r\n");
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"veltro.ini"});
}

TEST(AtomicFile, AFullDiskDuringTheWriteLeavesTheOldFileIntact) {
    TempFolder folder;
    const auto path = folder / "veltro.ini";
    const std::string old = "[Misc]\r\nRetry=3\r\n";
    WriteWholeFile(path, old);

    FileWriteResult written;
    {
        test::FileSizeLimit fullAfter(16);
        ASSERT_TRUE(fullAfter.available());
        written = WriteFileAtomically(path, "[Misc]\r\nRetry=3\r\nDir=" + std::string(200, 'd') + "\r\n");
    }
    EXPECT_FALSE(written.ok);
    EXPECT_NE(written.error.find("too large"), std::string::npos) << written.error;  // EFBIG
    EXPECT_EQ(ReadWholeFile(path), old);
    EXPECT_EQ(folder.entries(), std::vector<std::string>{"veltro.ini"});
}

TEST(AtomicFile, WritingBelowARegularFileFailsWithItsReason) {
    TempFolder folder;
    WriteWholeFile(folder / "plain", "not a folder");
    const FileWriteResult written = WriteFileAtomically(folder / "plain" / "veltro.ini", "[S]\r\nK=v\r\n");
    EXPECT_FALSE(written.ok);
    EXPECT_NE(written.error.find("Not a directory"), std::string::npos) << written.error;
    EXPECT_EQ(ReadWholeFile(folder / "plain"), "not a folder");
}

} // namespace
} // namespace veltro

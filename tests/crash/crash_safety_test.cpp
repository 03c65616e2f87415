// Every file the program writes, killed mid-write a few hundred times and written onto a full disk: the
// file is always the old version or the new one, whole, and no temporary file outlives its writer for long.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <csignal>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/file_faults.h"

namespace veltro::test {
namespace {

struct FileKind {
    const char* kind;
    const char* file;
};
constexpr FileKind kKinds[] = {{"ini", "veltro.ini"},   {"accounts", "users.dat"}, {"table", "meters.csv"},
                               {"report", "report.txt"}, {"log", "log.txt"},        {"display", "lduQ7.csv"},
                               {"receiver", "rxv.csv"}};

struct WriterRun {
    int exitCode = -1;
    std::string errors;
};

// Starts the writer; `fileSizeLimit` > 0 makes every write past it fail as on a full disk.
pid_t Start(const std::vector<std::string>& arguments, int errorPipe, rlim_t fileSizeLimit = 0) {
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    if (fileSizeLimit > 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{fileSizeLimit, fileSizeLimit};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    const int target = errorPipe >= 0 ? errorPipe : ::open("/dev/null", O_WRONLY);
    ::dup2(target, STDERR_FILENO);
    std::vector<char*> argv{const_cast<char*>(VELTRO_FILE_WRITER_PATH)};
    for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
}

WriterRun RunToEnd(const std::vector<std::string>& arguments, rlim_t fileSizeLimit = 0) {
    int fds[2];
    if (::pipe(fds) != 0) return {};
    const pid_t pid = Start(arguments, fds[1], fileSizeLimit);
    ::close(fds[1]);
    WriterRun run;
    char buffer[512];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) run.errors.append(buffer, static_cast<std::size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// Both versions of a kind, written undisturbed where no test looks.
std::pair<std::string, std::string> Versions(const FileKind& kind, const TempFolder& folder) {
    const auto a = folder / (std::string("A-") + kind.file), b = folder / (std::string("B-") + kind.file);
    EXPECT_EQ(RunToEnd({kind.kind, a.string(), "once", "A"}).exitCode, 0);
    EXPECT_EQ(RunToEnd({kind.kind, b.string(), "once", "B"}).exitCode, 0);
    return {ReadWholeFile(a), ReadWholeFile(b)};
}

TEST(CrashSafety, AWriterKilledAtAnyMomentLeavesTheOldOrTheNewFileWhole) {
    constexpr int kKills = 60;
    std::mt19937 random(20261209);
    std::uniform_int_distribution<int> delayUs(2000, 80000);
    for (const FileKind& kind : kKinds) {
        SCOPED_TRACE(kind.kind);
        TempFolder reference, folder;
        const auto [versionA, versionB] = Versions(kind, reference);
        ASSERT_NE(versionA, versionB);
        const auto path = folder / kind.file;
        ASSERT_EQ(RunToEnd({kind.kind, path.string(), "once", "A"}).exitCode, 0);

        int old = 0, fresh = 0, torn = 0, midWrite = 0;
        std::size_t mostLeft = 0;
        for (int i = 0; i < kKills; ++i) {
            const pid_t pid = Start({kind.kind, path.string(), "loop"}, -1);
            std::this_thread::sleep_for(std::chrono::microseconds(delayUs(random)));
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            const std::string now = ReadWholeFile(path);
            if (now == versionA) ++old;
            else if (now == versionB) ++fresh;
            else ++torn;
            const std::size_t left = folder.entries().size() - 1;
            if (left > 0) ++midWrite;  // a temporary file is there: this kill (or an earlier one) hit a write
            mostLeft = std::max(mostLeft, left);
        }
        EXPECT_EQ(torn, 0);
        EXPECT_GT(old + fresh, 0);
        // The next write clears what the killed writers left.
        ASSERT_EQ(RunToEnd({kind.kind, path.string(), "once", "B"}).exitCode, 0);
        EXPECT_EQ(folder.entries(), std::vector<std::string>{kind.file});
        std::printf("[figure] %-8s %d kills: %d old, %d new, %d torn; %d with a temporary file left, at most %zu until "
                    "the next write\n", kind.kind, kKills, old, fresh, torn, midWrite, mostLeft);
    }
}

// A small file system of its own, or nothing where mounting is not allowed.
class SmallDisk {
public:
    explicit SmallDisk(const std::filesystem::path& at) : m_at(at) {
        m_mounted = ::mount("tmpfs", at.c_str(), "tmpfs", 0, "size=512k") == 0;
    }
    ~SmallDisk() {
        if (m_mounted) ::umount(m_at.c_str());
    }
    bool mounted() const { return m_mounted; }
    // Takes every free byte.
    void fill() const {
        const auto filler = m_at / "filler";
        const int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const std::string block(4096, 'x');
        while (::write(fd, block.data(), block.size()) > 0) {
        }
        while (::write(fd, block.data(), 1) > 0) {
        }
        ::close(fd);
    }

private:
    std::filesystem::path m_at;
    bool m_mounted = false;
};

TEST(CrashSafety, AFullDiskGivesTheMessageAndLeavesTheOldFileUntouched) {
    for (const FileKind& kind : kKinds) {
        SCOPED_TRACE(kind.kind);
        TempFolder folder;
        const auto path = folder / kind.file;
        ASSERT_EQ(RunToEnd({kind.kind, path.string(), "once", "A"}).exitCode, 0);
        const std::string before = ReadWholeFile(path);

        // A write that fails part way, as when the disk fills during it. The reason is in what the program
        // shows (the windows put their own words and the file name before it).
        const WriterRun limited = RunToEnd({kind.kind, path.string(), "once", "B"}, 100);
        EXPECT_EQ(limited.exitCode, 1);
        EXPECT_NE(limited.errors.find("File too large"), std::string::npos) << limited.errors;
        EXPECT_EQ(ReadWholeFile(path), before);
        EXPECT_EQ(folder.entries(), std::vector<std::string>{kind.file});
    }
    TempFolder mountPoint;
    SmallDisk disk(mountPoint.path());
    if (!disk.mounted()) GTEST_SKIP() << "mounting a tmpfs needs root and a system that allows it";
    for (const FileKind& kind : kKinds) {
        SCOPED_TRACE(kind.kind);
        const auto path = mountPoint / kind.file;
        ASSERT_EQ(RunToEnd({kind.kind, path.string(), "once", "A"}).exitCode, 0);
    }
    disk.fill();
    for (const FileKind& kind : kKinds) {
        SCOPED_TRACE(kind.kind);
        const auto path = mountPoint / kind.file;
        const std::string before = ReadWholeFile(path);
        const WriterRun full = RunToEnd({kind.kind, path.string(), "once", "B"});
        EXPECT_EQ(full.exitCode, 1);
        EXPECT_NE(full.errors.find("No space left on device"), std::string::npos)
            << full.errors;
        EXPECT_EQ(ReadWholeFile(path), before);
    }
    std::vector<std::string> left = mountPoint.entries();
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left.size(), std::size(kKinds) + 1) << "a temporary file was left on the full disk";
}

} // namespace
} // namespace veltro::test

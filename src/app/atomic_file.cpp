#include "app/atomic_file.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <system_error>

#if defined(_WIN32)
#include <cstdio>
#else
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace veltro {

namespace {

std::string SystemErrorText(int error) { return std::generic_category().message(error); }

#if !defined(_WIN32)
// A writer killed between creating its temporary file and the rename leaves ".NAME.tmpPID.STAMP.N"
// behind; the next write of NAME removes those whose process is gone.
void RemoveTemporariesOfDeadWriters(const std::filesystem::path& folder, const std::string& name) {
    const std::string prefix = "." + name + ".tmp";
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string entry = it->path().filename().string();
        if (entry.size() <= prefix.size() || entry.compare(0, prefix.size(), prefix) != 0) continue;
        long long pid = 0;
        std::size_t at = prefix.size();
        for (; at < entry.size() && entry[at] >= '0' && entry[at] <= '9' && pid < 0x7FFFFFFF; ++at) pid = pid * 10 + (entry[at] - '0');
        if (at == prefix.size() || at >= entry.size() || entry[at] != '.' || pid <= 0 || pid > 0x7FFFFFFF) continue;
        if (static_cast<pid_t>(pid) == ::getpid()) continue;
        if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) ::unlink(it->path().c_str());
    }
}
#endif

} // namespace

FileWriteResult WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes) {
    namespace fs = std::filesystem;
    fs::path target = path;
    std::error_code linkError;
    if (fs::is_symlink(fs::symlink_status(target, linkError))) {
        const fs::path link = fs::read_symlink(target, linkError);
        if (!linkError) target = link.is_absolute() ? link : target.parent_path() / link;
    }
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    auto failure = [&](const std::string& why) {
        return FileWriteResult{false, "Cannot write " + path.string() + ": " + why, why};
    };

    static std::atomic<unsigned> counter{0};
    const auto stamp = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());

#if defined(_WIN32)
    fs::path temporary;
    std::FILE* out = nullptr;
    for (int attempt = 0; attempt < 100 && !out; ++attempt) {
        temporary = folder / ("." + target.filename().string() + ".tmp" + std::to_string(stamp) + "." +
                              std::to_string(counter++));
        out = std::fopen(temporary.string().c_str(), "wbx");
    }
    if (!out) return failure(SystemErrorText(errno));
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size() && std::fflush(out) == 0;
    const int writeError = errno;
    if (std::fclose(out) != 0 || !written) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        return failure(SystemErrorText(written ? errno : writeError));
    }
    std::error_code renameError;
    fs::rename(temporary, target, renameError);
    if (renameError) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        return failure(renameError.message());
    }
    return FileWriteResult{true, {}, {}};
#else
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = (folder / ("." + target.filename().string() + ".tmp" + std::to_string(::getpid()) + "." +
                               std::to_string(stamp) + "." + std::to_string(counter++)))
                        .string();
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return failure(SystemErrorText(errno));
    }
    if (fd < 0) return failure("no free temporary file name");

    auto abandon = [&](int error) {
        if (fd >= 0) ::close(fd);
        ::unlink(temporary.c_str());
        return failure(SystemErrorText(error));
    };
    struct stat old {};
    if (::stat(target.c_str(), &old) == 0 && ::fchmod(fd, old.st_mode & 07777) != 0) return abandon(errno);

    const char* next = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, next, left);
        if (written < 0) {
            if (errno == EINTR) continue;
            return abandon(errno);
        }
        next += written;
        left -= static_cast<std::size_t>(written);
    }
    if (::fsync(fd) != 0) return abandon(errno);
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0) return abandon(errno);
    if (::rename(temporary.c_str(), target.c_str()) != 0) return abandon(errno);

    RemoveTemporariesOfDeadWriters(folder, target.filename().string());

    // Make the rename itself durable. The new file is already in place, so a failure here is not a
    // failed write: at worst a power cut brings the old file back.
    if (const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); folderFd >= 0) {
        ::fsync(folderFd);
        ::close(folderFd);
    }
    return FileWriteResult{true, {}, {}};
#endif
}

} // namespace veltro

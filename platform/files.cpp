#include "platform/files.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

std::optional<std::string> readWholeFile(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::string content;
    char buffer[65536];
    for (;;) {
        ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (got == 0)
            break;
        content.append(buffer, static_cast<size_t>(got));
    }
    ::close(fd);
    return content;
}

std::int64_t regularFileSize(const std::string& path)
{
    struct stat info { };
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return -1;
    return info.st_size;
}

bool isDirectory(const std::string& path)
{
    struct stat info { };
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

static bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        ssize_t put = ::write(fd, bytes.data(), bytes.size());
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        bytes.remove_prefix(static_cast<size_t>(put));
    }
    return true;
}

bool writeFileAtomically(const std::string& path, std::string_view bytes, FileAccess access)
{
    const std::string sibling = path + ".new-" + std::to_string(::getpid());
    // A sibling left by a crashed run with the same pid would keep its old mode; O_EXCL makes sure it's ours.
    ::unlink(sibling.c_str());
    const bool ownerOnly = access == FileAccess::OwnerOnly;
    int fd = ::open(sibling.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, ownerOnly ? 0600 : 0644);
    if (fd < 0)
        return false;
    // The umask may have taken the owner's write bit away; a private file must still be exactly 0600.
    bool written = (!ownerOnly || ::fchmod(fd, 0600) == 0) && writeAll(fd, bytes) && ::fsync(fd) == 0;
    written = (::close(fd) == 0) && written;
    if (!written || ::rename(sibling.c_str(), path.c_str()) != 0) {
        ::unlink(sibling.c_str());
        return false;
    }
    return true;
}

} // namespace platform

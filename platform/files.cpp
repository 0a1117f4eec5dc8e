#include "platform/files.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

std::optional<std::string> readWholeFile(const std::string& path)
{
    return readFileStart(path, SIZE_MAX);
}

std::optional<std::string> readFileStart(const std::string& path, size_t maxBytes)
{
    // Only a regular file is opened at all: opening a FIFO waits for a writer, and a device may never end.
    struct stat info { };
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    // It may have been swapped for something else since the look above.
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    std::string content;
    char buffer[65536];
    while (content.size() < maxBytes) {
        const size_t wanted = std::min(sizeof buffer, maxBytes - content.size());
        ssize_t got = ::read(fd, buffer, wanted);
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

bool isAcceptableFileName(std::string_view name)
{
    for (char c : name) {
        if (c == '/' || static_cast<unsigned char>(c) < 32)
            return false;
    }
    return true;
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

bool makeFolders(const std::string& folder, unsigned mode)
{
    size_t at = 0;
    while (at != std::string::npos) {
        at = folder.find('/', at + 1);
        const std::string part = folder.substr(0, at);
        if (!part.empty() && ::mkdir(part.c_str(), mode) != 0 && errno != EEXIST)
            return false;
    }
    return isDirectory(folder);
}

static bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        ssize_t put = ::write(fd, bytes.data(), bytes.size());
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            if (put == 0)
                errno = ENOSPC;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(put));
    }
    return true;
}

// The file that path finally names: symbolic links are followed, also to a target that doesn't exist yet. Empty
// for a chain of links that doesn't end.
static std::string followLinks(std::string path)
{
    for (int depth = 0; depth < 40; ++depth) {
        struct stat info { };
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return path;
        std::string target(PATH_MAX, '\0');
        const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
        if (length <= 0 || static_cast<size_t>(length) >= target.size())
            return {};
        target.resize(static_cast<size_t>(length));
        if (target.front() != '/') {
            const size_t slash = path.rfind('/');
            target.insert(0, slash == std::string::npos ? std::string() : path.substr(0, slash + 1));
        }
        path = std::move(target);
    }
    return {};
}

bool writeFileAtomically(const std::string& path, std::string_view bytes, FileAccess access)
{
    // Renaming over a link would put a plain file in its place; the user linked it to keep it elsewhere.
    const std::string target = followLinks(path);
    if (target.empty()) {
        errno = ELOOP;
        return false;
    }
    const bool ownerOnly = access == FileAccess::OwnerOnly;
    mode_t keptMode = 0;
    struct stat existing { };
    if (::stat(target.c_str(), &existing) == 0) {
        // A file made read-only stays as it is, also for root, whom access() lets write anything.
        if (!S_ISREG(existing.st_mode) || (existing.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0) {
            errno = S_ISDIR(existing.st_mode) ? EISDIR : S_ISREG(existing.st_mode) ? EACCES : EINVAL;
            return false;
        }
        keptMode = existing.st_mode & 0777;
    }
    const std::string sibling = atomicSibling(target, ::getpid());
    // A sibling left by a crashed run with the same pid would keep its old mode; O_EXCL makes sure it's ours.
    ::unlink(sibling.c_str());
    int fd = ::open(sibling.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, ownerOnly ? 0600 : 0644);
    if (fd < 0)
        return false;
    // The umask may have taken the owner's write bit away; a private file must still be exactly 0600. A file
    // replaced keeps the permissions it had.
    const mode_t mode = ownerOnly ? 0600 : keptMode;
    bool written = (mode == 0 || ::fchmod(fd, mode) == 0) && writeAll(fd, bytes) && ::fsync(fd) == 0;
    written = (::close(fd) == 0) && written;
    if (!written || ::rename(sibling.c_str(), target.c_str()) != 0) {
        const int why = errno;
        ::unlink(sibling.c_str());
        errno = why;
        return false;
    }
    return true;
}

std::string atomicSibling(const std::string& path, long processId)
{
    return path + ".new-" + std::to_string(processId);
}

// The process id in a sibling's name, or 0 when the name is not one.
static long siblingProcess(std::string_view name)
{
    const size_t mark = name.rfind(".new-");
    if (mark == 0 || mark == std::string_view::npos || mark + 5 == name.size() || name.size() - mark > 5 + 9)
        return 0;
    long pid = 0;
    for (const char c : name.substr(mark + 5)) {
        if (c < '0' || c > '9')
            return 0;
        pid = pid * 10 + (c - '0');
    }
    return pid;
}

int removeLeftoverSiblings(const std::string& folder, std::string_view ofFile)
{
    DIR* listing = ::opendir(folder.c_str());
    if (!listing)
        return 0;
    const std::string base = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    int removed = 0;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string_view name = entry->d_name;
        if (!ofFile.empty() && name.substr(0, name.rfind(".new-")) != ofFile)
            continue;
        const long pid = siblingProcess(name);
        if (pid <= 0 || pid == ::getpid() || ::kill(pid_t(pid), 0) == 0 || errno == EPERM)
            continue;
        const std::string path = base + entry->d_name;
        struct stat info { };
        if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::unlink(path.c_str()) == 0)
            ++removed;
    }
    ::closedir(listing);
    return removed;
}

} // namespace platform

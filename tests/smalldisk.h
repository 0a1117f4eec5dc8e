#pragma once
// A full disk for a test: a tmpfs of a few pages mounted on a folder of the test's own, filled up but for the
// pages asked for when the test says. Mounting needs root (the test machines run the tests as root); mounted() says
// whether it worked, so a test can skip where it can't. Unmounted by the destructor.

#include <sys/mount.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>
#include <unistd.h>

class SmallDisk {
public:
    static constexpr long pageBytes = 4096;

    // folder must exist and be empty.
    SmallDisk(const std::string& folder, int pages)
        : m_folder(folder)
    {
        const std::string options = "size=" + std::to_string(pages * pageBytes) + ",mode=0777";
        m_mounted = ::mount("tmpfs", folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0;
    }
    // Fills the disk but for freePages pages; true when it could.
    bool fill(int freePages)
    {
        if (!m_mounted)
            return false;
        const std::string filler = m_folder + "/.filler";
        std::FILE* file = std::fopen(filler.c_str(), "ab");
        if (!file)
            return false;
        std::setvbuf(file, nullptr, _IONBF, 0);
        const std::string page(size_t(pageBytes), 'f');
        while (std::fwrite(page.data(), 1, page.size(), file) == page.size()) { }
        std::fclose(file);
        struct stat info { };
        return ::stat(filler.c_str(), &info) == 0
            && ::truncate(filler.c_str(),
                          std::max<long>(0, long(info.st_size) / pageBytes * pageBytes - freePages * pageBytes))
            == 0;
    }
    ~SmallDisk()
    {
        if (m_mounted)
            ::umount2(m_folder.c_str(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool mounted() const { return m_mounted; }

private:
    std::string m_folder;
    bool m_mounted = false;
};

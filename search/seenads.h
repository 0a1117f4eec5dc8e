#pragma once
// The memory of a search: the post ids its last run listed, so that the next run of the same search can mark the
// ads that are new since. One file per search in programFolder + "seen/", named by a hash of the search's URL
// tail; one id per line.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace search {

// programFolder + "seen/" + the first 16 hexadecimal digits of the tail's SHA-256 + ".seen".
std::string seenFilePath(const std::string& tail);

class SeenAds {
public:
    // Reads the memory at path. A missing, unreadable or damaged file counts as no memory.
    void load(const std::string& path);
    bool hasMemory() const { return m_hasMemory; }
    // An id the memory does not hold; always false without a memory, and for an empty id.
    bool isNew(std::string_view id) const;
    // This run listed the ad.
    void noteListed(std::string_view id);
    size_t listedCount() const { return m_listedStarts.size(); }
    // Replaces the memory at path by this run's ids, sorted and without duplicates; a run that was interrupted
    // keeps the remembered ids too, so the ads of the cities it did not reach don't look new next time.
    bool save(const std::string& path, bool interrupted);

private:
    std::string_view listedAt(std::uint32_t start) const;

    bool m_hasMemory = false;
    std::string m_rememberedText;
    std::vector<std::string_view> m_remembered; // sorted, into m_rememberedText
    // This run's ids, each ended by a line feed, in one string: far less memory than a string each on a page of
    // hundreds of thousands of ads.
    std::string m_listedText;
    std::vector<std::uint32_t> m_listedStarts;
};

} // namespace search

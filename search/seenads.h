#pragma once
// The memory of a search: for each city, the post ids that city listed the last time its page gave a list of
// today's shape, so that the next run of the same search can mark the ads that are new since. One file per search
// in programFolder + "seen/", named by a hash of the search's URL tail: a line "[" + city code + "]" before each
// city's ids, one id per line.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace search {

// programFolder + "seen/" + the first 16 hexadecimal digits of the tail's SHA-256 + ".seen".
std::string seenFilePath(const std::string& tail);

class SeenAds {
public:
    // Reads the memory at path. A missing, unreadable or damaged file counts as no memory; ids written before any
    // city (an older form of the file) are no city's.
    void load(const std::string& path);
    // Every remembered city with its ids, as the file had them.
    std::vector<std::pair<std::string, std::vector<std::string>>> rememberedCities() const;
    // Some city has a memory.
    bool hasMemory() const { return !m_cities.empty(); }
    bool cityHasMemory(const std::string& cityCode) const;
    // The city has a memory and no city's memory holds the id. False for an empty id.
    bool isNew(const std::string& cityCode, std::string_view id) const;

    // This run reads the city's list: the ids noted until endCity are the city's.
    void beginCity(const std::string& cityCode);
    void noteListed(std::string_view id);
    // gaveList: the city's page gave a list of today's shape (one without ads counts), so its ids replace the
    // remembered ones; otherwise the city keeps what it had and the ids noted are dropped.
    void endCity(bool gaveList);
    // Some city's list replaces its memory: there is something to save.
    bool anyCityListed() const { return m_anyListed; }

    // Writes the memory at path: every city that listed this run with this run's ids, sorted and without
    // duplicates, every other remembered city as it was. Makes the folder when it is missing.
    bool save(const std::string& path);

private:
    struct City {
        std::optional<std::string_view> rememberedBlock; // its ids as the file had them, line ends included
        bool listed = false;
        std::vector<std::uint32_t> listedStarts; // positions in m_listedBlocks
    };
    std::string_view listedAt(std::uint32_t start) const;

    std::string m_rememberedText;
    std::vector<std::string_view> m_remembered; // every remembered id, sorted, into m_rememberedText
    std::map<std::string, City> m_cities; // remembered or listed this run
    // This run's ids, each ended by a line feed, in blocks of 1 MB: far less memory than a string each on a page of
    // hundreds of thousands of ads, and never the double that a growing string takes while it moves. A position is
    // the block's number times 2^20 plus the place in the block.
    std::vector<std::string> m_listedBlocks;
    size_t m_listedBytes = 0;
    City* m_current = nullptr;
    size_t m_currentFirst = 0; // how many ids the current city had before this list
    bool m_anyListed = false;
};

} // namespace search

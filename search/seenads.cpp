#include "search/seenads.h"

#include "platform/files.h"
#include "shell/programstate.h"

#include <openssl/evp.h>

#include <sys/stat.h>

#include <algorithm>

namespace search {

namespace {

// Far more than the ids of any run; a bigger file is not ours.
constexpr std::int64_t maximumMemoryBytes = 64 * 1024 * 1024;
constexpr size_t maximumIdLength = 200;

// An id is printable ASCII without blanks, as the site's ids are, and never starts a city line; anything else in
// a memory file means damage.
bool isStorableId(std::string_view id)
{
    return !id.empty() && id.size() <= maximumIdLength && id.front() != '['
        && std::all_of(id.begin(), id.end(), [](char c) { return c > ' ' && c < 0x7F; });
}

// A city line, "[" + the city code as the area list has it + "]".
std::optional<std::string_view> cityOfLine(std::string_view line)
{
    if (line.size() < 2 || line.front() != '[' || line.back() != ']')
        return std::nullopt;
    if (line.find('\0') != std::string_view::npos)
        return std::nullopt;
    return line.substr(1, line.size() - 2);
}

} // namespace

std::string seenFilePath(const std::string& tail)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    std::string name;
    if (EVP_Digest(tail.data(), tail.size(), digest, &length, EVP_sha256(), nullptr) == 1) {
        static const char hex[] = "0123456789abcdef";
        for (unsigned int i = 0; i < 8 && i < length; ++i) {
            name += hex[digest[i] >> 4];
            name += hex[digest[i] & 15];
        }
    }
    return shell::programFolder + "seen/" + name + ".seen";
}

void SeenAds::load(const std::string& path)
{
    m_cities.clear();
    m_remembered.clear();
    m_rememberedText.clear();
    const std::int64_t size = platform::regularFileSize(path);
    if (size < 0 || size > maximumMemoryBytes)
        return;
    std::optional<std::string> text = platform::readWholeFile(path);
    if (!text)
        return;
    m_rememberedText = std::move(*text);
    const std::string_view all = m_rememberedText;
    City* city = nullptr;
    size_t blockStart = 0;
    auto closeBlock = [&](size_t end) {
        if (city)
            city->rememberedBlock = all.substr(blockStart, end - blockStart);
    };
    for (size_t at = 0; at < all.size();) {
        size_t end = all.find('\n', at);
        end = end == std::string_view::npos ? all.size() : end + 1;
        std::string_view line = all.substr(at, end - at);
        const size_t lineStart = at;
        at = end;
        if (line.ends_with('\n'))
            line.remove_suffix(1);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        if (const std::optional<std::string_view> code = cityOfLine(line)) {
            closeBlock(lineStart);
            city = &m_cities[std::string(*code)];
            blockStart = at;
            continue;
        }
        if (!isStorableId(line)) {
            // Not a file this program wrote: forget it rather than mark ads by it.
            m_cities.clear();
            m_remembered.clear();
            m_rememberedText.clear();
            return;
        }
        if (city)
            m_remembered.push_back(line);
    }
    closeBlock(all.size());
    std::sort(m_remembered.begin(), m_remembered.end());
}

std::vector<std::pair<std::string, std::vector<std::string>>> SeenAds::rememberedCities() const
{
    std::vector<std::pair<std::string, std::vector<std::string>>> cities;
    for (const auto& [code, city] : m_cities) {
        if (!city.rememberedBlock)
            continue;
        std::vector<std::string> ids;
        const std::string_view block = *city.rememberedBlock;
        for (size_t at = 0; at < block.size();) {
            size_t end = block.find('\n', at);
            end = end == std::string_view::npos ? block.size() : end;
            std::string_view line = block.substr(at, end - at);
            at = end + 1;
            if (line.ends_with('\r'))
                line.remove_suffix(1);
            if (!line.empty())
                ids.emplace_back(line);
        }
        cities.emplace_back(code, std::move(ids));
    }
    return cities;
}

bool SeenAds::cityHasMemory(const std::string& cityCode) const
{
    const auto found = m_cities.find(cityCode);
    return found != m_cities.end() && found->second.rememberedBlock.has_value();
}

bool SeenAds::isNew(const std::string& cityCode, std::string_view id) const
{
    return !id.empty() && cityHasMemory(cityCode) && !std::binary_search(m_remembered.begin(), m_remembered.end(), id);
}

void SeenAds::beginCity(const std::string& cityCode)
{
    m_current = &m_cities[cityCode];
    m_currentFirst = m_current->listedStarts.size();
}

void SeenAds::noteListed(std::string_view id)
{
    if (!m_current || !isStorableId(id))
        return;
    constexpr size_t blockBytes = size_t(1) << 20; // ids are at most 200 bytes, so one always fits a new block
    if (m_listedBlocks.empty() || m_listedBlocks.back().size() + id.size() + 1 > blockBytes) {
        m_listedBlocks.emplace_back();
        m_listedBlocks.back().reserve(blockBytes);
    }
    std::string& block = m_listedBlocks.back();
    m_current->listedStarts.push_back(static_cast<std::uint32_t>(((m_listedBlocks.size() - 1) << 20) | block.size()));
    block.append(id).push_back('\n');
    m_listedBytes += id.size() + 1;
}

void SeenAds::endCity(bool gaveList)
{
    if (!m_current)
        return;
    if (gaveList) {
        m_current->listed = true;
        m_anyListed = true;
    } else {
        // The ids stay in their blocks unused; what matters is that they don't become the city's.
        m_current->listedStarts.resize(m_currentFirst);
    }
    m_current = nullptr;
}

std::string_view SeenAds::listedAt(std::uint32_t start) const
{
    const std::string_view block = m_listedBlocks[start >> 20];
    const size_t at = start & ((1u << 20) - 1);
    return block.substr(at, block.find('\n', at) - at);
}

bool SeenAds::save(const std::string& path)
{
    std::string text;
    text.reserve(m_rememberedText.size() + m_listedBytes);
    for (auto& [code, city] : m_cities) {
        if (!city.listed && !city.rememberedBlock)
            continue;
        // A code that can't stand on its city line would not read back, and would lose every other city's memory
        // with it: that city is not remembered.
        if (code.find_first_of(std::string_view("\n\0", 2)) != std::string::npos)
            continue;
        text.append("[").append(code).append("]\r\n");
        if (!city.listed) {
            text.append(*city.rememberedBlock);
            // A last line cut off after its CR gets only the LF: "\r\r\n" would read back as a damaged id.
            if (!city.rememberedBlock->empty() && !city.rememberedBlock->ends_with('\n'))
                text.append(city.rememberedBlock->ends_with('\r') ? "\n" : "\r\n");
            continue;
        }
        // Sorting the ids' positions rather than copies of them keeps a run over a page of hundreds of thousands
        // of ads from holding its ids twice.
        std::sort(city.listedStarts.begin(), city.listedStarts.end(),
                  [this](std::uint32_t a, std::uint32_t b) { return listedAt(a) < listedAt(b); });
        std::string_view last; // ids are never empty
        for (std::uint32_t start : city.listedStarts) {
            const std::string_view id = listedAt(start);
            if (id != last)
                text.append(id).append("\r\n");
            last = id;
        }
    }
    const std::string folder = path.substr(0, path.rfind('/') + 1);
    if (!folder.empty() && !platform::isDirectory(folder))
        ::mkdir(folder.c_str(), 0777);
    return platform::writeFileAtomically(path, text);
}

} // namespace search

#include "search/seenads.h"

#include "platform/files.h"
#include "shell/programstate.h"

#include <openssl/evp.h>

#include <algorithm>

namespace search {

namespace {

// Far more than the ids of any run; a bigger file is not ours.
constexpr std::int64_t maximumMemoryBytes = 64 * 1024 * 1024;
constexpr size_t maximumIdLength = 200;

// An id is printable ASCII without blanks, as the site's ids are; anything else in a memory file means damage.
bool isStorableId(std::string_view id)
{
    return !id.empty() && id.size() <= maximumIdLength
        && std::all_of(id.begin(), id.end(), [](char c) { return c > ' ' && c < 0x7F; });
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
    m_hasMemory = false;
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
    for (size_t at = 0; at < all.size();) {
        size_t end = all.find('\n', at);
        if (end == std::string_view::npos)
            end = all.size();
        std::string_view id = all.substr(at, end - at);
        if (id.ends_with('\r'))
            id.remove_suffix(1);
        at = end + 1;
        if (!isStorableId(id)) {
            // Not a file this program wrote: forget it rather than mark ads by it.
            m_remembered.clear();
            m_rememberedText.clear();
            return;
        }
        m_remembered.push_back(id);
    }
    // Written sorted; sorted again only when someone edited it.
    if (!std::is_sorted(m_remembered.begin(), m_remembered.end()))
        std::sort(m_remembered.begin(), m_remembered.end());
    m_hasMemory = true;
}

bool SeenAds::isNew(std::string_view id) const
{
    return m_hasMemory && !id.empty() && !std::binary_search(m_remembered.begin(), m_remembered.end(), id);
}

void SeenAds::noteListed(std::string_view id)
{
    if (!isStorableId(id))
        return;
    m_listedStarts.push_back(static_cast<std::uint32_t>(m_listedText.size()));
    m_listedText.append(id);
}

std::vector<std::string_view> SeenAds::sortedListed() const
{
    std::vector<std::string_view> ids;
    ids.reserve(m_listedStarts.size());
    const std::string_view all = m_listedText;
    for (size_t i = 0; i < m_listedStarts.size(); ++i) {
        const size_t end = i + 1 < m_listedStarts.size() ? m_listedStarts[i + 1] : all.size();
        ids.push_back(all.substr(m_listedStarts[i], end - m_listedStarts[i]));
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

bool SeenAds::save(const std::string& path, bool interrupted) const
{
    std::vector<std::string_view> ids = sortedListed();
    if (interrupted && m_hasMemory) {
        std::vector<std::string_view> merged;
        merged.reserve(ids.size() + m_remembered.size());
        std::merge(ids.begin(), ids.end(), m_remembered.begin(), m_remembered.end(), std::back_inserter(merged));
        ids.swap(merged);
    }
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    std::string text;
    size_t bytes = 0;
    for (std::string_view id : ids)
        bytes += id.size() + 2;
    text.reserve(bytes);
    for (std::string_view id : ids)
        text.append(id).append("\r\n");
    return platform::writeFileAtomically(path, text);
}

} // namespace search

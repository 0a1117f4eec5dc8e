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
    m_listedText.append(id).push_back('\n');
}

std::string_view SeenAds::listedAt(std::uint32_t start) const
{
    const std::string_view all = m_listedText;
    return all.substr(start, all.find('\n', start) - start);
}

bool SeenAds::save(const std::string& path, bool interrupted)
{
    // Sorting the ids' positions rather than copies of them keeps a run over a page of hundreds of thousands of
    // ads from holding its ids twice.
    std::sort(m_listedStarts.begin(), m_listedStarts.end(),
              [this](std::uint32_t a, std::uint32_t b) { return listedAt(a) < listedAt(b); });
    const std::vector<std::string_view> none;
    const std::vector<std::string_view>& remembered = interrupted ? m_remembered : none;

    std::string text;
    text.reserve(m_listedText.size() + m_listedStarts.size() + (interrupted ? m_rememberedText.size() : 0));
    std::string_view last; // ids are never empty
    auto add = [&](std::string_view id) {
        if (id != last)
            text.append(id).append("\r\n");
        last = id;
    };
    // Both sequences are sorted: merge them, each id once.
    size_t i = 0, j = 0;
    while (i < m_listedStarts.size() || j < remembered.size()) {
        if (j == remembered.size() || (i < m_listedStarts.size() && listedAt(m_listedStarts[i]) < remembered[j]))
            add(listedAt(m_listedStarts[i++]));
        else
            add(remembered[j++]);
    }
    return platform::writeFileAtomically(path, text);
}

} // namespace search

#include "watch/pending.h"

#include "platform/files.h"
#include "shell/programstate.h"

#include <cerrno>
#include <unistd.h>

namespace watch {

namespace {

// 500 ads of a few kilobytes each; a file far past that is no list of ours.
constexpr size_t readLimit = 16 * 1024 * 1024;

constexpr size_t fieldCount = 7;

std::string escaped(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string unescaped(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char next = text[++i];
        out += next == 't' ? '\t' : next == 'r' ? '\r' : next == 'n' ? '\n' : next;
    }
    return out;
}

bool sameAd(const search::NewAd& a, const search::NewAd& b)
{
    return a.cityCode == b.cityCode && a.link == b.link && a.itemHtml == b.itemHtml && a.price == b.price
        && a.oldPrice == b.oldPrice;
}

} // namespace

std::string pendingFile(const std::string& name)
{
    return "watch/" + name + ".pending";
}

std::string encodePending(const std::vector<search::NewAd>& ads)
{
    std::string bytes;
    for (const search::NewAd& ad : ads) {
        for (const std::string* field : {&ad.cityCode, &ad.link, &ad.title, &ad.price, &ad.oldPrice, &ad.place})
            bytes += escaped(*field) + '\t';
        bytes += escaped(ad.itemHtml) + "\n";
    }
    return bytes;
}

std::vector<search::NewAd> decodePending(std::string_view bytes)
{
    std::vector<search::NewAd> ads;
    for (size_t at = 0; at < bytes.size();) {
        const size_t end = bytes.find('\n', at);
        if (end == std::string_view::npos)
            break; // the last line never ended: a write cut short
        const std::string_view line = bytes.substr(at, end - at);
        at = end + 1;
        std::vector<std::string> fields;
        for (size_t start = 0;;) {
            const size_t tab = line.find('\t', start);
            fields.push_back(unescaped(line.substr(start, tab == std::string_view::npos ? tab : tab - start)));
            if (tab == std::string_view::npos)
                break;
            start = tab + 1;
        }
        if (fields.size() != fieldCount || fields[0].empty())
            continue;
        search::NewAd ad;
        ad.cityCode = std::move(fields[0]);
        ad.link = std::move(fields[1]);
        ad.title = std::move(fields[2]);
        ad.price = std::move(fields[3]);
        ad.oldPrice = std::move(fields[4]);
        ad.place = std::move(fields[5]);
        ad.itemHtml = std::move(fields[6]);
        ads.push_back(std::move(ad));
    }
    if (ads.size() > maximumPending)
        ads.erase(ads.begin(), ads.end() - long(maximumPending));
    return ads;
}

std::vector<search::NewAd> readPending(const std::string& name)
{
    if (!platform::isAcceptableFileName(name))
        return {};
    const auto bytes = platform::readFileStart(shell::programFolder + pendingFile(name), readLimit);
    return bytes ? decodePending(*bytes) : std::vector<search::NewAd>{};
}

bool writePending(const std::string& name, const std::vector<search::NewAd>& ads)
{
    if (!platform::isAcceptableFileName(name))
        return false;
    const std::string path = shell::programFolder + pendingFile(name);
    if (ads.empty())
        return ::unlink(path.c_str()) == 0 || errno == ENOENT;
    return platform::writeFileAtomically(path, encodePending(ads));
}

std::vector<search::NewAd> pendingWith(const std::vector<search::NewAd>& pending,
                                       const std::vector<search::NewAd>& added)
{
    std::vector<search::NewAd> all = pending;
    for (const search::NewAd& ad : added) {
        bool there = false;
        for (size_t i = 0; i < pending.size() && !there; ++i)
            there = sameAd(pending[i], ad);
        if (!there)
            all.push_back(ad);
    }
    if (all.size() > maximumPending)
        all.erase(all.begin(), all.end() - long(maximumPending));
    return all;
}

} // namespace watch

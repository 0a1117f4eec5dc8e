#include "search/adlist.h"

#include "platform/htmltag.h"

#include <algorithm>
#include <optional>

namespace search {

namespace {

// An item far beyond any real ad (about 600 bytes) is a damaged page; it is dropped rather than held.
constexpr size_t maximumItemBytes = 1024 * 1024;

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// Runs of blanks, tabs and line breaks made one blank, trimmed.
std::string foldBlanks(std::string_view text)
{
    std::string folded;
    folded.reserve(text.size());
    bool blankPending = false;
    for (char c : text) {
        if (isBlank(c)) {
            blankPending = !folded.empty();
            continue;
        }
        if (blankPending)
            folded.push_back(' ');
        blankPending = false;
        folded.push_back(c);
    }
    return folded;
}

// The position of the start tag "<name" (followed by a blank, ">" or "/"), from `from` on.
size_t findStartTag(std::string_view text, std::string_view name, size_t from)
{
    for (size_t at = text.find(name, from); at != std::string_view::npos; at = text.find(name, at + 1)) {
        const size_t after = at + name.size();
        if (after >= text.size() || isBlank(text[after]) || text[after] == '>' || text[after] == '/')
            return at;
    }
    return std::string_view::npos;
}

// The tag starting at `at` ("<" ... ">"), or up to the end of the text when it is cut off.
std::string_view tagAt(std::string_view text, size_t at)
{
    const size_t close = text.find('>', at);
    return text.substr(at, close == std::string_view::npos ? std::string_view::npos : close + 1 - at);
}

bool hasClass(std::string_view tag, std::string_view className)
{
    const std::string_view classes = platform::tagAttribute(tag, "class").value_or("");
    size_t at = 0;
    while (at < classes.size()) {
        while (at < classes.size() && isBlank(classes[at]))
            ++at;
        size_t end = at;
        while (end < classes.size() && !isBlank(classes[end]))
            ++end;
        if (classes.substr(at, end - at) == className)
            return true;
        at = end;
    }
    return false;
}

// The text inside the first <div class="className"> of the item, up to its closing tag; nothing when absent.
std::optional<std::string_view> divText(std::string_view item, std::string_view className)
{
    for (size_t at = findStartTag(item, "<div", 0); at != std::string_view::npos;
         at = findStartTag(item, "<div", at + 4)) {
        const std::string_view tag = tagAt(item, at);
        if (!hasClass(tag, className))
            continue;
        const size_t start = at + tag.size();
        const size_t end = item.find("</div>", start);
        return item.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    }
    return std::nullopt;
}

size_t earliest(size_t a, size_t b)
{
    return std::min(a, b); // npos is the largest size_t, so "not found" loses
}

} // namespace

AdListReader::AdListReader(std::function<void(const ListedAd&)> onAd)
    : m_onAd(std::move(onAd))
{
}

void AdListReader::feedLine(std::string_view line)
{
    if (m_listEnded)
        return;
    if (!m_started) {
        // The list's own tag: read from its class on, so that the items sharing its line are read too.
        m_started = true;
        const size_t at = line.find(adListMarker);
        line.remove_prefix(at == std::string_view::npos ? 0 : at + adListMarker.size());
    }
    m_pending.append(line);
    m_pending.push_back('\n');
    process(false);
}

void AdListReader::finish()
{
    if (!m_listEnded)
        process(true);
    m_listEnded = true;
    m_pending.clear();
}

void AdListReader::process(bool pageEnded)
{
    const std::string_view text = m_pending;
    size_t consumed = 0;
    for (;;) {
        const std::string_view rest = text.substr(consumed);
        if (!m_inItem) {
            const size_t item = findStartTag(rest, "<li", 0);
            const size_t listEnd = rest.find("</ol>");
            if (listEnd < item) {
                m_listEnded = true;
                m_pending.clear();
                return;
            }
            if (item == std::string_view::npos) {
                consumed = text.size();
                break;
            }
            consumed += item;
            m_inItem = true;
            m_itemTooLong = false;
            m_searchFrom = 3;
            continue;
        }
        // An item ends at its closing tag, at the next item's start or at the list's end (HTML allows either).
        const size_t from = std::min(m_searchFrom, rest.size());
        const size_t end
            = earliest(earliest(rest.find("</li>", from), findStartTag(rest, "<li", from)), rest.find("</ol>", from));
        if (end == std::string_view::npos) {
            if (pageEnded) {
                if (!m_itemTooLong)
                    takeItem(rest);
                m_inItem = false;
                consumed = text.size();
            } else if (rest.size() > maximumItemBytes) {
                m_itemTooLong = true;
                consumed = text.size();
                m_searchFrom = 0;
            } else {
                // Next time, look only at what the next line adds (a tag never spans the joined line end).
                m_searchFrom = rest.size() > 5 ? rest.size() - 5 : 0;
            }
            break;
        }
        if (!m_itemTooLong)
            takeItem(rest.substr(0, end));
        m_inItem = false;
        consumed += end;
    }
    m_pending.erase(0, consumed);
}

void AdListReader::takeItem(std::string_view item)
{
    const std::string_view tag = tagAt(item, 0);
    if (hasClass(tag, "cl-static-hub-links")) {
        m_sawSeeAlso = true;
        return;
    }
    if (!hasClass(tag, "cl-static-search-result"))
        return;
    const size_t link = findStartTag(item, "<a", tag.size());
    if (link == std::string_view::npos)
        return;
    ListedAd ad;
    ad.link = foldBlanks(platform::tagAttribute(tagAt(item, link), "href").value_or(""));
    if (ad.link.empty())
        return;
    ad.title = foldBlanks(divText(item, "title").value_or(""));
    if (ad.title.empty())
        ad.title = foldBlanks(platform::tagAttribute(tag, "title").value_or(""));
    ad.price = foldBlanks(divText(item, "price").value_or(""));
    ad.place = foldBlanks(divText(item, "location").value_or(""));
    ++m_adCount;
    m_onAd(ad);
}

std::string adItemHtml(const ListedAd& ad, const std::string& cityCode, const std::string& siteDomain, bool newMark)
{
    std::string link;
    if (ad.link.starts_with("//"))
        link = "http:"; // scheme-relative: the results page is a local file
    else if (ad.link.starts_with("/"))
        link = "http://" + cityCode + "." + siteDomain;
    // A single-quoted link may hold a double quote; it must not end our double-quoted attribute.
    for (char c : ad.link)
        link += c == '"' ? std::string("&quot;") : std::string(1, c);

    std::string html = "<p>";
    if (newMark)
        html += "<b>NEW</b> ";
    html += "<a href=\"" + link + "\">" + ad.title + "</a>";
    if (!ad.price.empty())
        html += " " + ad.price;
    if (!ad.place.empty())
        html += " (" + ad.place + ")";
    return html + "</p>";
}

std::string_view postIdOf(std::string_view link)
{
    link = link.substr(0, std::min(link.find('?'), link.find('#')));
    while (link.ends_with("/"))
        link.remove_suffix(1);
    const size_t slash = link.rfind('/');
    std::string_view id = slash == std::string_view::npos ? link : link.substr(slash + 1);
    if (id.ends_with(".html"))
        id.remove_suffix(5);
    return id;
}

} // namespace search

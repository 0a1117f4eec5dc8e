#pragma once
// Today's search pages list their ads in <ol class="cl-static-search-results">, one <li> per ad, with line breaks
// anywhere: an item may span a dozen lines, or several items may share one. The reader takes the page line by
// line, reads it as a stream of tags and hands over each ad as soon as its item is complete, holding only the item
// being read.

#include <functional>
#include <string>
#include <string_view>

namespace search {

// The class that marks the list of ads on today's search pages.
inline constexpr std::string_view adListMarker = "class=\"cl-static-search-results\"";

// One ad of the list, its texts as HTML as they stand in the page (entities kept), runs of white space made one
// blank and trimmed.
struct ListedAd {
    std::string link; // the item's first link, as it stands
    std::string title; // the title div's text, else the item's title attribute
    std::string price;
    std::string place;
};

class AdListReader {
public:
    explicit AdListReader(std::function<void(const ListedAd&)> onAd);

    // Feeds the next line of the page, without its line end. The first line fed is the one holding adListMarker;
    // it is read from the marker on. Lines after the list's end are ignored.
    void feedLine(std::string_view line);
    // The page has ended: an item cut off by the end counts as it stands.
    void finish();

    bool listEnded() const { return m_listEnded; }
    int adCount() const { return m_adCount; }
    // The list held its "see also" item (links to other searches; not an ad).
    bool sawSeeAlso() const { return m_sawSeeAlso; }

private:
    void process(bool pageEnded);
    void takeItem(std::string_view item);

    std::function<void(const ListedAd&)> m_onAd;
    std::string m_pending; // the current item's text so far, or unread text between items
    size_t m_searchFrom = 0;
    bool m_started = false;
    bool m_inItem = false;
    bool m_itemTooLong = false;
    bool m_listEnded = false;
    bool m_sawSeeAlso = false;
    int m_adCount = 0;
};

// The item written for an ad: <p><a href="LINK">TITLE</a> PRICE (PLACE)</p>, an empty price or place left out
// with its blank (and the brackets). A site-relative link ("/...") gets "http://" + city + "." + siteDomain.
// newMark: "<b>NEW</b> " goes in front of the link.
std::string adItemHtml(const ListedAd& ad, const std::string& cityCode, const std::string& siteDomain,
                       bool newMark = false);

// The post id of an ad's link: its last path segment without a ".html" ending ("" when it has none).
std::string_view postIdOf(std::string_view link);

} // namespace search

#pragma once
// Today's search pages carry their list of ads a second time, as JSON-LD in the head:
// <script type="application/ld+json" id="ld_searchpage_results">, an ItemList whose itemListElement entries hold
// position, item.name, item.offers.price and item.image (picture addresses). The HTML list has no pictures, so
// each ad takes the first picture of its entry. The two lists mostly agree, but either may hold an item the other
// lacks, and titles repeat: the ads are aligned with the entries in order, and a wrong picture is worse than none.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace search {

class AdPictures {
public:
    // Whether the line holds the start tag of that script (attributes in any order, quoted in any way).
    static bool isPicturesLine(std::string_view line);

    // Reads the JSON between that tag and the next "</script>" (or the end of the line), replacing what an earlier
    // line gave. JSON that can't be parsed, or is over 8 MB, gives no pictures: false.
    bool parse(std::string_view line);

    // The picture of the next ad of the list, given its title and price as text (the price may be empty), written
    // safe for a double-quoted attribute; "" when no entry is taken for it, or the entry has no http(s) picture.
    // An entry fits an ad when their names are equal (blanks folded) and, where both carry a price, their whole
    // numbers are equal. Ads must come in the list's order.
    std::string pictureFor(std::string_view titleText, std::string_view priceText = {});

    size_t entryCount() const { return m_entries.size(); }

private:
    struct Entry {
        std::string name;
        std::optional<std::string> price; // the whole number, when the entry carries one
        std::string picture;
    };

    std::vector<Entry> m_entries; // in the order of their positions
    size_t m_next = 0; // the first entry no ad has taken or passed over
    int m_adsWithout = 0; // ads in a row, up to the current one, that took no entry
};

} // namespace search

#pragma once
// Today's search pages carry their list of ads a second time, as JSON-LD in the head:
// <script type="application/ld+json" id="ld_searchpage_results">, an ItemList whose itemListElement entries hold
// position, item.name and item.image (picture addresses). The HTML list has no pictures, so each ad takes the
// first picture of its entry, matched by order and by name: a wrong picture is worse than none.

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace search {

class AdPictures {
public:
    // Whether the line holds the start tag of that script (attributes in any order, quoted in any way).
    static bool isPicturesLine(std::string_view line);

    // Reads the JSON between that tag and the next "</script>" (or the end of the line), replacing what an earlier
    // line gave. JSON that can't be parsed, or is over 8 MB, gives no pictures: false.
    bool parse(std::string_view line);

    // The picture of the next entry, after the last one taken, whose name equals the title (as text, blanks
    // folded), written safe for a double-quoted attribute; "" when no entry is left by that name (nothing is
    // taken then) or the entry has no http(s) picture.
    std::string pictureFor(std::string_view titleText);

    size_t entryCount() const { return m_pictures.size(); }

private:
    struct SameName {
        std::vector<size_t> entries; // in the order they are taken
        size_t next = 0;
    };

    std::vector<std::string> m_pictures; // by entry, in the order of their positions
    std::unordered_map<std::string, SameName> m_byName;
    size_t m_nextEntry = 0;
};

} // namespace search

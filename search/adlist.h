#pragma once
// Today's search pages list their ads in <ol class="cl-static-search-results">, one <li> per ad, with line breaks
// anywhere: an item may span a dozen lines, or several items may share one. The reader takes the page line by
// line and reads it as HTML is read (quoted attribute values, comments, script and style contents, tag names in
// any letter case), handing over each ad as soon as its item is complete and holding only the item being read.
//
// Everything taken from the page is data: the texts come out as safe HTML text (no tag survives), and a link is
// only written after absoluteAdLink has accepted its scheme.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace search {

// The class token that marks the list of ads on today's search pages.
inline constexpr std::string_view adListClass = "cl-static-search-results";

// Where the list's opening tag (an <ol> whose class holds adListClass, however quoted) starts in the line; npos
// when the line holds none. Cheap on lines without the class token.
size_t adListStart(std::string_view line);
inline bool startsAdList(std::string_view line)
{
    return adListStart(line) != std::string_view::npos;
}

// One ad of the list. title, price and place are safe HTML text: the text of their divs with the tags inside
// dropped, entities kept as they stand, a "<", ">" or "&" that starts no entity written "&lt;", "&gt;", "&amp;",
// runs of blanks made one blank and trimmed.
struct ListedAd {
    std::string link; // the href of the item's first link, as it stands
    std::string title; // the title div's text, else the item's title attribute
    std::string price;
    std::string place;
};

class AdListReader {
public:
    explicit AdListReader(std::function<void(const ListedAd&)> onAd);
    ~AdListReader();
    AdListReader(const AdListReader&) = delete;
    AdListReader& operator=(const AdListReader&) = delete;

    // Feeds the next line of the page, without its line end. The first line fed is the one for which
    // startsAdList holds; it is read from the list's tag on. Lines after the list's end are ignored.
    void feedLine(std::string_view line);
    // The same for a line read in pieces (a list of thousands of ads may share one line): lineEnded after its
    // last piece.
    void feedPiece(std::string_view piece, bool lineEnded);
    // The page has ended: an item cut off by the end counts as it stands.
    void finish();

    bool listEnded() const { return m_listEnded; }
    // Ads handed over.
    int adCount() const { return m_adCount; }
    // Items of the list other than the "see also" one, whether they could be read or not.
    int itemCount() const { return m_itemCount; }
    // The list held its "see also" item (links to other searches; not an ad) and no other item.
    bool sawSeeAlso() const { return m_sawSeeAlso && m_itemCount == 0; }

private:
    struct Reading; // the tag reader's state and the current item, kept out of this header

    std::unique_ptr<Reading> m_reading;
    bool m_listEnded = false;
    bool m_sawSeeAlso = false;
    int m_adCount = 0;
    int m_itemCount = 0;
};

// The plain text of safe HTML text: &amp; &lt; &gt; &quot; &apos; &nbsp; and numeric references decoded to UTF-8,
// other entities left as they stand. For comparing names and words, never for writing into a page.
std::string htmlToText(std::string_view safeHtml);

// Runs of blanks, tabs and line breaks made one blank, trimmed.
std::string foldBlanks(std::string_view text);

// The address an ad's link is written with: an "http:" or "https:" link (any letter case) as it stands, a
// site-relative one ("/...") with scheme + "://" + cityHost in front, a scheme-relative one ("//...") with
// scheme + ":". Nothing for any other link, or one holding a control byte. A '"' is written "&quot;".
std::optional<std::string> absoluteAdLink(std::string_view link, std::string_view scheme, std::string_view cityHost);

// The item written for an ad: <p class="ad">, then <img src="PICTURE" loading="lazy" alt=""> and a blank when it
// has a picture, "<b>NEW</b> " when newMark, <a href="LINK">TITLE</a> (the title alone without a link), " PRICE"
// and " (PLACE)" when not empty, </p>. The picture must already be safe for a double-quoted attribute.
std::string adItemHtml(const ListedAd& ad, const std::optional<std::string>& absoluteLink, std::string_view picture,
                       bool newMark);

// The short line for an ad already listed under an earlier city of the run:
// <p class="also">Also under CITY: <a href="LINK">TITLE</a></p> (the title alone without a link).
std::string alsoUnderHtml(std::string_view cityCodeUpper, const std::optional<std::string>& absoluteLink,
                          std::string_view title);

// A 64-bit hash (FNV-1a) of the title as text in lower case, runs of characters other than letters and digits
// made one blank and trimmed, and of the price as text: the same ad posted under several cities hashes alike.
std::uint64_t adFingerprint(const ListedAd& ad);

// The excluded words of a words field: each blank-separated word that begins with "-" and has more after it,
// without its "-", in lower case.
std::vector<std::string> excludedWords(std::string_view words);
// Whether the title (as text) contains one of the excluded words, ASCII letters compared in any letter case.
bool hasExcludedWord(std::string_view titleText, const std::vector<std::string>& excluded);

// The post id of an ad's link: its last path segment without a ".html" ending ("" when it has none).
std::string_view postIdOf(std::string_view link);

} // namespace search

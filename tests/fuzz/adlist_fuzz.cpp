// The list reader on any page: read in pieces of random sizes it gives the ads it gives from whole lines, and
// nothing it hands over (title, price, place, link) can form a tag or an attribute of its own in the page written.

#include "fuzzcheck.h"

#include "search/adlist.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

struct Read {
    std::vector<search::ListedAd> ads;
    int items = 0;
    bool seeAlso = false;
};

// The page's lines as the run reads them: a line ends at CR LF, a lone CR or a lone LF.
std::vector<std::string_view> linesOf(std::string_view page)
{
    std::vector<std::string_view> lines;
    size_t at = 0;
    while (at < page.size()) {
        size_t end = page.find_first_of("\r\n", at);
        if (end == std::string_view::npos)
            end = page.size();
        lines.push_back(page.substr(at, end - at));
        at = end + (page.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    return lines;
}

// pieceSize(): 0 feeds each line whole.
template <typename Sizes> Read readPage(const std::vector<std::string_view>& lines, Sizes pieceSize)
{
    Read read;
    search::AdListReader reader([&](const search::ListedAd& ad) { read.ads.push_back(ad); });
    bool started = false;
    for (std::string_view line : lines) {
        if (reader.listEnded())
            break;
        if (!started && !search::startsAdList(line))
            continue;
        started = true;
        size_t from = 0;
        do {
            const size_t size = pieceSize();
            const std::string_view piece = size == 0 ? line.substr(from) : line.substr(from, size);
            from += piece.size();
            reader.feedPiece(piece, from == line.size());
        } while (from < line.size() && !reader.listEnded());
    }
    reader.finish();
    read.items = reader.itemCount();
    read.seeAlso = reader.sawSeeAlso();
    return read;
}

bool same(const search::ListedAd& a, const search::ListedAd& b)
{
    return a.link == b.link && a.title == b.title && a.price == b.price && a.place == b.place;
}

// The tags of written HTML and the quoted values inside them, read as a browser reads them.
struct Markup {
    size_t tags = 0;
    size_t quotedValues = 0;
};

Markup markupOf(std::string_view html)
{
    Markup markup;
    bool inTag = false;
    char quote = 0;
    for (char c : html) {
        if (!inTag) {
            if (c == '<') {
                inTag = true;
                ++markup.tags;
            }
        } else if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
            ++markup.quotedValues;
        } else if (c == '>') {
            inTag = false;
        }
    }
    return markup;
}

bool isSafeText(std::string_view text)
{
    return text.find_first_of("<>") == std::string_view::npos && search::foldBlanks(text) == text;
}

void checkWritten(const search::ListedAd& ad)
{
    FUZZ_CHECK(!ad.link.empty(), "an ad without a link was handed over");
    FUZZ_CHECK(isSafeText(ad.title), "a title holds markup or unfolded blanks");
    FUZZ_CHECK(isSafeText(ad.price), "a price holds markup or unfolded blanks");
    FUZZ_CHECK(isSafeText(ad.place), "a place holds markup or unfolded blanks");
    const std::optional<std::string> link = search::absoluteAdLink(ad.link, "https", "abc.site.org");
    if (link) {
        std::string scheme = link->substr(0, 6);
        std::transform(scheme.begin(), scheme.end(), scheme.begin(), [](char c) { return char(std::tolower(c)); });
        FUZZ_CHECK(scheme.starts_with("http:") || scheme.starts_with("https:"), "a link of another scheme");
        FUZZ_CHECK(link->find('"') == std::string::npos, "a link that can end its attribute");
        FUZZ_CHECK(
            std::none_of(link->begin(), link->end(), [](char c) { return (unsigned char)c < 0x20 || c == 0x7F; }),
            "a link with a control byte");
    }
    // The item written has exactly the tags and attribute values the program puts there: <p class="ad">,
    // <a href="...">, </a>, </p>; anything more came from the page.
    const Markup item = markupOf(search::adItemHtml(ad, link, "", true));
    FUZZ_CHECK(item.tags == (link ? 6u : 4u), "the item written has a tag of the page's own");
    FUZZ_CHECK(item.quotedValues == (link ? 2u : 1u), "the item written has an attribute of the page's own");
    const Markup also = markupOf(search::alsoUnderHtml("ABC", link, ad.title));
    FUZZ_CHECK(also.tags == (link ? 4u : 2u), "the also-under line has a tag of the page's own");
    FUZZ_CHECK(also.quotedValues == (link ? 2u : 1u), "the also-under line has an attribute of the page's own");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    fuzz::Choices choices(data, size);
    // Pieces of 1 to a small bound, drawn from a generator seeded by the input, so that a boundary lands anywhere.
    const size_t largest = 1 + choices.below(64);
    std::uint32_t state = 1 + static_cast<std::uint32_t>(choices.below(256)) * 2654435761u;
    const std::string page(choices.rest());
    const std::vector<std::string_view> lines = linesOf(page);

    const Read whole = readPage(lines, [] { return size_t(0); });
    const Read pieces = readPage(lines, [&] {
        state = state * 1103515245u + 12345u;
        return 1 + (state >> 16) % largest;
    });
    FUZZ_CHECK(pieces.ads.size() == whole.ads.size(), "pieces give another number of ads than whole lines");
    for (size_t i = 0; i < whole.ads.size(); ++i)
        FUZZ_CHECK(same(pieces.ads[i], whole.ads[i]), "pieces give another ad than whole lines");
    FUZZ_CHECK(pieces.items == whole.items, "pieces give another number of items than whole lines");
    FUZZ_CHECK(pieces.seeAlso == whole.seeAlso, "pieces see the see-also item otherwise than whole lines");
    FUZZ_CHECK(static_cast<int>(whole.ads.size()) <= whole.items, "more ads than items");
    for (const search::ListedAd& ad : whole.ads)
        checkWritten(ad);
    return 0;
}

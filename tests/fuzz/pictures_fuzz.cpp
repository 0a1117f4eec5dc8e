// The pictures' JSON-LD on any line: a picture handed out is always an http(s) address that can't leave its
// double-quoted attribute, no entry is handed out twice, and a line parsed after another gives what it gives alone.
// Input: the line, a line feed, then the titles of the list's ads one a line.

#include "fuzzcheck.h"

#include "search/adlist.h"
#include "search/adpictures.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::vector<std::string> picturesFor(search::AdPictures& pictures, const std::vector<std::string_view>& titles)
{
    std::vector<std::string> given;
    for (std::string_view title : titles)
        given.push_back(pictures.pictureFor(title));
    return given;
}

void checkPicture(const std::string& picture)
{
    if (picture.empty())
        return;
    std::string start = picture.substr(0, 6);
    std::transform(start.begin(), start.end(), start.begin(), [](char c) { return char(std::tolower(c)); });
    FUZZ_CHECK(start.starts_with("http:") || start.starts_with("https:"), "a picture of another scheme");
    FUZZ_CHECK(picture.find_first_of("\"<>") == std::string::npos, "a picture that can leave its attribute");
    FUZZ_CHECK(
        std::none_of(picture.begin(), picture.end(), [](char c) { return (unsigned char)c <= 0x20 || c == 0x7F; }),
        "a picture with a blank or control byte");
    const search::ListedAd ad{"/a/1.html", "t", "", ""};
    const std::string item = search::adItemHtml(ad, std::string("https://x/a/1.html"), picture, false);
    FUZZ_CHECK(std::count(item.begin(), item.end(), '"') == 10, "the item written has a quote of the picture's own");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    fuzz::Choices choices(data, size);
    const std::string line(choices.upTo('\n'));
    std::vector<std::string_view> titles;
    while (!choices.empty())
        titles.push_back(choices.upTo('\n'));

    search::AdPictures alone;
    const bool parsed = alone.parse(line);
    FUZZ_CHECK(!parsed || search::AdPictures::isPicturesLine(line), "pictures read from a line that holds none");
    const std::vector<std::string> given = picturesFor(alone, titles);
    size_t handedOut = 0;
    for (const std::string& picture : given) {
        checkPicture(picture);
        handedOut += picture.empty() ? 0 : 1;
    }
    FUZZ_CHECK(handedOut <= alone.entryCount(), "more pictures handed out than entries");

    // The same line after another line's pictures, some of them taken.
    search::AdPictures again;
    again.parse("<script type=\"application/ld+json\" id=\"ld_searchpage_results\">{\"itemListElement\":["
                "{\"position\":0,\"item\":{\"name\":\"t\",\"image\":\"https://x/0.jpg\"}}]}</script>");
    again.pictureFor("t");
    FUZZ_CHECK(again.parse(line) == parsed, "parsing depends on the line parsed before");
    FUZZ_CHECK(picturesFor(again, titles) == given, "pictures depend on the line parsed before");
    return 0;
}

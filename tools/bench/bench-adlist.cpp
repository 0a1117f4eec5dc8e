// Reading today's list of ads: the same 32,000 ads one per line and all on one line, each read several times;
// prints the best time of each shape and their ratio (the reader must not slow down when items share a line).
// Also parses a JSON-LD line of the same ads' pictures and matches every ad to its picture.
//   qb_bench_adlist [ADS]

#include "search/adlist.h"
#include "search/adpictures.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string title(int i)
{
    return "Solid oak desk &amp; chair number " + std::to_string(i);
}

// One ad as the site writes it, its lines joined by blanks.
std::string item(int i)
{
    return "<li class=\"cl-static-search-result\" title=\"" + title(i) + "\"> <a href=\"https://www.site.org/view/d/"
        + "desk-chair/vAjGnkwp5v35F" + std::to_string(1000000 + i) + "\"> <div class=\"title\">" + title(i)
        + "</div> <div class=\"details\"> <div class=\"price\">$" + std::to_string(10 + i % 900)
        + "</div> <div class=\"location\"> Old Town </div> </div> </a> </li>";
}

// Feeds the lines to a reader; returns the seconds taken and checks every ad came through.
double readOnce(const std::vector<std::string>& lines, int ads)
{
    size_t bytes = 0;
    const auto start = std::chrono::steady_clock::now();
    search::AdListReader reader([&](const search::ListedAd& ad) { bytes += ad.title.size(); });
    for (const std::string& line : lines) {
        reader.feedLine(line);
        if (reader.listEnded())
            break;
    }
    reader.finish();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (reader.adCount() != ads || bytes == 0) {
        std::fprintf(stderr, "read %d ads of %d\n", reader.adCount(), ads);
        std::exit(1);
    }
    return seconds;
}

double best(const std::vector<std::string>& lines, int ads)
{
    double fastest = 1e9;
    for (int run = 0; run < 5; ++run)
        fastest = std::min(fastest, readOnce(lines, ads));
    return fastest;
}

} // namespace

int main(int argc, char** argv)
{
    const int ads = argc > 1 ? std::atoi(argv[1]) : 32000;
    std::vector<std::string> perLine{"<ol class=\"cl-static-search-results\">",
                                     "<li class=\"cl-static-hub-links\"><div>see also</div></li>"};
    std::string oneLine = perLine[0] + perLine[1];
    for (int i = 0; i < ads; ++i) {
        perLine.push_back(item(i));
        oneLine += item(i);
    }
    perLine.push_back("</ol>");
    oneLine += "</ol>";

    const double perLineSeconds = best(perLine, ads);
    const double oneLineSeconds = best({oneLine}, ads);
    std::printf("ads %d list_bytes %zu one_per_line_ms %.1f one_line_ms %.1f ratio %.2f\n", ads, oneLine.size(),
                perLineSeconds * 1000, oneLineSeconds * 1000, oneLineSeconds / perLineSeconds);

    std::string json = "<script type=\"application/ld+json\" id=\"ld_searchpage_results\">{\"itemListElement\": [";
    for (int i = 0; i < ads; ++i) {
        json += std::string(i ? ", " : "") + "{\"position\": \"" + std::to_string(i)
            + "\", \"item\": {\"name\": \"Solid oak desk & chair number " + std::to_string(i)
            + "\", \"offers\": {\"price\": \"10.00\", \"priceCurrency\": \"USD\"}, \"image\": [\"https://img.site.org/"
            + std::to_string(i) + "_600x450.jpg\", \"https://img.site.org/b.jpg\"]}}";
    }
    json += "]}</script>";
    const auto start = std::chrono::steady_clock::now();
    search::AdPictures pictures;
    const bool parsed = pictures.parse(json);
    int matched = 0;
    for (int i = 0; i < ads; ++i)
        matched += pictures.pictureFor(search::htmlToText(title(i))).empty() ? 0 : 1;
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("pictures json_bytes %zu parsed %s matched %d parse_and_match_ms %.1f\n", json.size(),
                parsed ? "yes" : "no", matched, ms);
    return parsed && matched == ads ? 0 : 1;
}

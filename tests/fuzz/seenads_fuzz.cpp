// The memory of a search, either way round. A file of any bytes: what is saved from it reads back and saves to
// the same bytes. Cities and ids of a run (first byte odd; then one city a line, "code<TAB>id id ..."): the memory
// saved reads back with every city remembered and every storable id of it not new.

#include "fuzzcheck.h"

#include "search/seenads.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

// A plain array, not a string: the clean-up at exit runs after the statics' destructors.
char folderName[] = "/tmp/qb-fuzz-seen-XXXXXX";

std::string folder()
{
    static const bool made = [] {
        FUZZ_CHECK(::mkdtemp(folderName) != nullptr, "no temporary folder");
        std::atexit([] { std::filesystem::remove_all(folderName); });
        return true;
    }();
    (void)made;
    return std::string(folderName) + "/";
}

std::string contents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write(const std::string& path, std::string_view bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), std::streamsize(bytes.size()));
}

// As the memory file takes them: printable ASCII without blanks, not starting a city line, at most 200 bytes.
bool isStorable(std::string_view id)
{
    return !id.empty() && id.size() <= 200 && id.front() != '['
        && std::all_of(id.begin(), id.end(), [](char c) { return c > ' ' && c < 0x7F; });
}

void savedFileReadsBack(std::string_view bytes)
{
    write(folder() + "given.seen", bytes);
    search::SeenAds given;
    given.load(folder() + "given.seen");
    const bool hadMemory = given.hasMemory();
    // A city that lists nothing new keeps its memory as it was.
    given.beginCity("zz-no-such-city");
    given.endCity(false);
    if (!given.save(folder() + "first.seen"))
        return;
    search::SeenAds first;
    first.load(folder() + "first.seen");
    FUZZ_CHECK(first.hasMemory() == hadMemory, "a saved memory lost or gained its cities");
    FUZZ_CHECK(first.save(folder() + "second.seen"), "a memory read back can't be saved");
    FUZZ_CHECK(contents(folder() + "first.seen") == contents(folder() + "second.seen"),
               "a saved memory does not read back as it was saved");
}

void savedRunReadsBack(fuzz::Choices& choices)
{
    struct City {
        std::string code;
        std::set<std::string, std::less<>> ids;
    };
    std::vector<City> cities;
    search::SeenAds run;
    while (!choices.empty()) {
        std::string_view line = choices.upTo('\n');
        const size_t tab = line.find('\t');
        City city{std::string(line.substr(0, tab)), {}};
        line.remove_prefix(tab == std::string_view::npos ? line.size() : tab + 1);
        run.beginCity(city.code);
        while (!line.empty()) {
            const size_t blank = line.find(' ');
            const std::string_view id = line.substr(0, blank);
            line.remove_prefix(blank == std::string_view::npos ? line.size() : blank + 1);
            run.noteListed(id);
            if (isStorable(id))
                city.ids.emplace(id);
        }
        run.endCity(true);
        cities.push_back(std::move(city));
    }
    if (cities.empty())
        return;
    FUZZ_CHECK(run.anyCityListed(), "cities listed but nothing to save");
    FUZZ_CHECK(run.save(folder() + "run.seen"), "the memory could not be saved");
    search::SeenAds next;
    next.load(folder() + "run.seen");
    for (const City& city : cities) {
        // A code holding a zero byte can't stand on its line: that city alone is not remembered.
        if (city.code.find('\0') != std::string::npos) {
            FUZZ_CHECK(!next.cityHasMemory(city.code), "a city that can't be written read back");
            continue;
        }
        FUZZ_CHECK(next.cityHasMemory(city.code), "a city saved is not read back as a city");
        for (const std::string& id : city.ids)
            FUZZ_CHECK(!next.isNew(city.code, id), "an id saved is read back as new");
        const bool listedSomewhere = std::any_of(cities.begin(), cities.end(), [](const City& c) {
            return c.ids.contains("never-listed-id") && c.code.find('\0') == std::string::npos;
        });
        FUZZ_CHECK(next.isNew(city.code, "never-listed-id") == !listedSomewhere, "an id never listed is not new");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    fuzz::Choices choices(data, size);
    if (choices.below(2) == 0)
        savedFileReadsBack(choices.rest());
    else
        savedRunReadsBack(choices);
    return 0;
}

#pragma once
// The ad store: every ad a run reads from a list of today's shape, kept in one SQLite database, "ads.db" in
// programFolder, with each search's memory of what its cities listed last (for the NEW marks), the history of
// every ad's whole-number price (table prices: for an ad whose price changed, the price it had when first seen and
// the price from each change on, with the time; an ad whose price never changed has its one price in its own row),
// and the user's marks (star, hidden, note) per ad key across searches.
//
// A search is known by its URL tail (buildSearchTail), exactly as the NEW marks know it. An ad is known by its key,
// the post id of its link (postIdOf); in a search it is kept per city.
//
// Connections: an AdStore is one connection and belongs to the thread that opened it. Each thread opens its own
// (the window's thread and the watch's thread never share one); threadStore() is the calling thread's, opened at
// first use. A window that wants its own can construct an AdStore and open(adStorePath()). The file is in WAL mode
// with a busy timeout of 5 s, so a reader never waits for a run and two writers take turns.
//
// Texts (title, price, place, note) are plain text, never HTML: escape them before writing them into a page. A
// link is the absolute address as the results page writes it in its href (a '"' in it written "&quot;").
// Times are UTC seconds since 1970.
//
// Every operation returns a value; nothing throws. A failure leaves the store as it was and lastError() says why.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

struct sqlite3;

namespace search {

// programFolder + "ads.db".
std::string adStorePath();

// A city's memory keeps at most this many keys, its first on the page.
inline constexpr int maximumKeysPerCity = 5000;
// A note keeps at most this many characters (not bytes).
inline constexpr size_t maximumNoteCharacters = 2000;
// Ads that no run has listed for this long are removed at start-up, unless starred, hidden or noted.
inline constexpr std::int64_t staleAdSeconds = 90LL * 24 * 60 * 60;

// The price as a whole number where it reads as one: an optional currency sign (any bytes other than digits and
// blanks, at most 4), then digits, in groups of three after the first when they carry commas ("$1,350" 1350,
// "€900" 900); nothing for "$1,200.50", "free", "" or more than 15 digits.
std::optional<std::int64_t> priceAsWholeNumber(std::string_view price);

// The user's marks on an ad key, across searches.
struct AdMarks {
    bool starred = false;
    bool hidden = false;
    std::string note;
    bool any() const { return starred || hidden || !note.empty(); }
};

// An ad as the store keeps it, with what the last run of its city made of it.
struct StoredAd {
    std::string tail; // the search's
    std::string key;
    std::string cityCode;
    int cityPosition = 0; // the city's pass in the run's area list, from 1
    int pagePosition = 0; // its place in the city's list on the page, from 0
    std::string link;
    std::string title;
    std::string price; // as shown
    std::optional<std::int64_t> priceNumber;
    std::string place;
    std::string picture; // its picture's address, "" for none
    std::int64_t firstSeen = 0;
    std::int64_t lastSeen = 0;
    bool isNew = false; // marked NEW by the last run of its city
    // When the last run of its city saw its price fall: the price before, as shown then.
    std::string oldPrice;
    std::optional<std::int64_t> oldPriceNumber;
    // A cross-post: the page showed it as one "Also under" line, in full under an earlier city of the run (an ad
    // with the same key, or the same title and price, in that city).
    bool folded = false;
    AdMarks marks;
};

enum class StoreStatus {
    ok,
    newerVersion, // written by a newer version of the program: left untouched, not used
    failed, // could not be opened, created or read; lastError() says why
};

class AdStore {
public:
    AdStore();
    ~AdStore();
    AdStore(const AdStore&) = delete;
    AdStore& operator=(const AdStore&) = delete;

    // Opens the store at path, creating the file when missing and bringing an older schema up to date in place.
    // A store of a newer schema is closed again at once, unchanged.
    StoreStatus open(const std::string& path);
    void close();
    bool isOpen() const { return m_db != nullptr; }
    const std::string& path() const { return m_path; }
    // Why the last failing operation failed, in words.
    const std::string& lastError() const { return m_error; }

    // Once per program start, before any run: drops what runs that never finished left behind, removes ads no run
    // has listed for staleAdSeconds before now (unless starred, hidden or noted), and reads the memory files of
    // earlier versions in seenFolder into the store if they were never read (they are left as they are).
    bool startUp(std::int64_t now, const std::string& seenFolder);

    // The searches the store holds ads for, by tail.
    std::vector<std::string> searchTails();
    // The cities of a search that have a memory, in the order of the area list of the run that last listed each.
    std::vector<std::string> searchCities(const std::string& tail);
    // The ads of each city's last list, by city position, then page position. Ads left out by excluded words are
    // not among them; cross-posts are (folded).
    std::vector<StoredAd> searchAds(const std::string& tail);
    // Every starred ad of every search (an ad listed by several searches or cities once per search and city), by
    // search, then as searchAds orders them.
    std::vector<StoredAd> starredAds();
    // The same ads in no particular order, each handed to visit in one StoredAd that is filled again for the next:
    // a list of 100,000 ads is read without holding it twice.
    void forEachSearchAd(const std::string& tail, const std::function<void(const StoredAd&)>& visit);
    void forEachStarredAd(const std::function<void(const StoredAd&)>& visit);
    // Whether some search holds an ad with this key.
    bool knowsAd(const std::string& key);
    // The title of the ad with this key as the store last had it; "" when it has none.
    std::string adTitle(const std::string& key);

    AdMarks marksOf(const std::string& key);
    // Each keeps the change at once. A note is cut to maximumNoteCharacters.
    bool setStarred(const std::string& key, bool starred);
    bool setHidden(const std::string& key, bool hidden);
    bool setNote(const std::string& key, const std::string& note);

    // Removes the search's ads, price history and memory; the marks of its ads stay.
    bool forgetSearch(const std::string& tail);
    // Takes the key out of the search's memory: its next run marks the ad NEW again (where its city remembers).
    bool forgetKey(const std::string& tail, const std::string& key);

    // For the run (StoreRun) and tests.
    sqlite3* handle() const { return m_db; }
    bool fail(std::string_view what);
    bool execute(const char* sql);

private:
    // Whether every table of a store of that version has its columns; sets the error when not.
    bool hasItsTables(int version);

    sqlite3* m_db = nullptr;
    std::string m_path;
    std::string m_error;
};

// The calling thread's connection to adStorePath(), opened at first use (and again when programFolder changed).
// status and error, when given, receive how the open went and why it failed. The store is null when it could not be
// opened.
AdStore* threadStore(StoreStatus* status = nullptr, std::string* error = nullptr);

// The schema version this program writes.
inline constexpr int adStoreVersion = 2;
// For tests: makes the schema of an older version in an empty database file.
bool createAdStoreSchema(const std::string& path, int version);

// An ad of the list a run reads, as the run hands it to the store.
struct RunAd {
    enum Kind { shown = 0, folded = 1, excluded = 2 };
    std::string key; // never empty
    std::string link;
    std::string title;
    std::string price;
    std::string place;
    std::string picture;
    int pagePosition = 0;
    Kind kind = shown;
    bool isNew = false;
    std::string oldPrice; // when its price fell: the price before
};

// The price the store had last for an ad key of a search.
struct KnownPrice {
    std::int64_t number = 0;
    std::string shown;
};

// One run of one search against the store. The memory rules: a city replaces its keys only when its page gave a
// list; an ad is NEW only where its city has a memory and no city holds its key; nothing takes effect unless the
// run finishes (every block reached the page).
//
// Each city is written in a transaction of its own when it ends, beside the store's ads; finish() makes all of
// them the search's in one more transaction. A process ended at any moment leaves the store as before the run or
// as after it; what an unfinished run wrote is dropped at the next start-up (AdStore::startUp).
class StoreRun {
public:
    StoreRun();
    ~StoreRun();
    StoreRun(const StoreRun&) = delete;
    StoreRun& operator=(const StoreRun&) = delete;

    // Reads the search's memory, its ads' last prices and every ad's marks. store may be null: no memory then.
    // False when the store can't be read (the run then has no memory and failure() says why).
    bool begin(AdStore* store, const std::string& tail, std::int64_t now);

    bool hasMemory() const { return !m_cities.empty(); }
    bool cityHasMemory(const std::string& cityCode) const;
    // The city has a memory and no city's memory holds the key. False for an empty key.
    bool isNew(const std::string& cityCode, std::string_view key) const;
    // The whole-number price the store had last for the key, in any city of the search.
    const KnownPrice* lastPrice(std::string_view key) const;
    // The marks as they were when the run began.
    AdMarks marksOf(std::string_view key) const;
    // The store has prices for the search: a city without a memory may still show ads cheaper.
    bool knowsPrices() const { return !m_prices.empty(); }

    // This run reads the city's list: the ads noted until endCity are the city's (its first maximumKeysPerCity
    // different keys; an ad without a storable key is passed over).
    void beginCity(const std::string& cityCode, int cityPosition);
    void noteAd(const RunAd& ad);
    // gaveList: the city's page gave a list of today's shape (one without ads counts), so its keys will replace the
    // remembered ones; otherwise the city keeps what it had and the ads noted are dropped. False when the city's
    // transaction failed (failure() says why).
    bool endCity(bool gaveList);

    // Makes what the cities wrote the search's, in one transaction; nothing to do (true) when no city gave a list.
    bool finish();
    // Drops what the cities wrote: the run ends without taking effect.
    void abandon();
    const std::string& failure() const { return m_failure; }

private:
    bool ensureRunRow();
    bool failWith(const std::string& what);

    AdStore* m_store = nullptr;
    std::string m_tail;
    std::int64_t m_now = 0;
    std::int64_t m_searchId = 0;
    std::int64_t m_runId = 0;
    std::unordered_map<std::string, bool> m_cities; // code: has a memory
    std::unordered_set<std::string> m_remembered; // every key of the search's memory
    std::unordered_map<std::string, KnownPrice> m_prices;
    std::unordered_map<std::string, AdMarks> m_marks;
    // The city being read.
    std::string m_city;
    int m_cityPosition = 0;
    std::vector<RunAd> m_cityAds;
    std::unordered_set<std::string> m_cityKeys;
    bool m_anyListed = false;
    bool m_broken = false;
    std::string m_failure;
};

// Whether a key can be kept: printable ASCII without blanks, at most 200 bytes, not starting with "[".
bool isStorableKey(std::string_view key);

} // namespace search

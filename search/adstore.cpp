#include "search/adstore.h"

#include "search/seenads.h"

#include "shell/programstate.h"

#include <sqlite3.h>

#include <dirent.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <tuple>
#include <utility>
#include <thread>

namespace search {

namespace {

constexpr int busyTimeoutMs = 5000;

// Each step brings the schema from the version before it to its own; a store is upgraded by running the steps it
// lacks, all in one transaction.
const char* const schemaSteps[] = {
    // 1: searches, their cities' memory, their ads with the price history, the marks, and the rows a run writes
    // before it takes effect.
    "CREATE TABLE searches(id INTEGER PRIMARY KEY, tail TEXT NOT NULL UNIQUE);"
    "CREATE TABLE cities(search INTEGER NOT NULL REFERENCES searches(id) ON DELETE CASCADE, code TEXT NOT NULL,"
    " position INTEGER NOT NULL, PRIMARY KEY(search, code)) WITHOUT ROWID;"
    "CREATE TABLE memory(search INTEGER NOT NULL, city TEXT NOT NULL, key TEXT NOT NULL,"
    " PRIMARY KEY(search, city, key), FOREIGN KEY(search, city) REFERENCES cities(search, code) ON DELETE CASCADE)"
    " WITHOUT ROWID;"
    "CREATE TABLE ads(search INTEGER NOT NULL REFERENCES searches(id) ON DELETE CASCADE, city TEXT NOT NULL,"
    " key TEXT NOT NULL, link TEXT NOT NULL, title TEXT NOT NULL, price TEXT NOT NULL, priceNumber INTEGER,"
    " place TEXT NOT NULL, picture TEXT NOT NULL, firstSeen INTEGER NOT NULL, lastSeen INTEGER NOT NULL,"
    " cityPosition INTEGER NOT NULL, pagePosition INTEGER NOT NULL, listed INTEGER NOT NULL, kind INTEGER NOT NULL,"
    " isNew INTEGER NOT NULL, oldPrice TEXT, oldPriceNumber INTEGER, PRIMARY KEY(search, city, key)) WITHOUT ROWID;"
    "CREATE INDEX adsByKey ON ads(key);"
    "CREATE TABLE prices(search INTEGER NOT NULL, city TEXT NOT NULL, key TEXT NOT NULL, at INTEGER NOT NULL,"
    " priceNumber INTEGER, PRIMARY KEY(search, city, key, at),"
    " FOREIGN KEY(search, city, key) REFERENCES ads(search, city, key) ON DELETE CASCADE"
    " DEFERRABLE INITIALLY DEFERRED) WITHOUT ROWID;"
    "CREATE TABLE marks(key TEXT PRIMARY KEY, starred INTEGER NOT NULL DEFAULT 0, hidden INTEGER NOT NULL DEFAULT 0,"
    " note TEXT NOT NULL DEFAULT '') WITHOUT ROWID;"
    "CREATE TABLE runs(id INTEGER PRIMARY KEY, search INTEGER NOT NULL REFERENCES searches(id) ON DELETE CASCADE);"
    "CREATE TABLE stagedCities(run INTEGER NOT NULL REFERENCES runs(id) ON DELETE CASCADE, city TEXT NOT NULL,"
    " position INTEGER NOT NULL, PRIMARY KEY(run, city)) WITHOUT ROWID;"
    "CREATE TABLE staged(run INTEGER NOT NULL, city TEXT NOT NULL, key TEXT NOT NULL, link TEXT NOT NULL,"
    " title TEXT NOT NULL, price TEXT NOT NULL, priceNumber INTEGER, place TEXT NOT NULL, picture TEXT NOT NULL,"
    " pagePosition INTEGER NOT NULL, kind INTEGER NOT NULL, isNew INTEGER NOT NULL, oldPrice TEXT,"
    " oldPriceNumber INTEGER, PRIMARY KEY(run, city, key),"
    " FOREIGN KEY(run, city) REFERENCES stagedCities(run, city) ON DELETE CASCADE) WITHOUT ROWID;",
    // 2: the memory files of earlier versions, read once, waiting for the run of their search (a file is named by
    // a digest of the search's tail, which can't be turned back into the tail). A city's own row has key ''.
    "CREATE TABLE imported(file TEXT NOT NULL, city TEXT NOT NULL, key TEXT NOT NULL, PRIMARY KEY(file, city, key))"
    " WITHOUT ROWID;"
    "CREATE TABLE settings(name TEXT PRIMARY KEY, value TEXT NOT NULL) WITHOUT ROWID;",
};
static_assert(std::size(schemaSteps) == adStoreVersion);

// A prepared statement that finalizes itself.
class Statement {
public:
    Statement(sqlite3* db, const char* sql)
    {
        if (sqlite3_prepare_v2(db, sql, -1, &m_statement, nullptr) != SQLITE_OK)
            m_statement = nullptr;
    }
    ~Statement() { sqlite3_finalize(m_statement); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool ok() const { return m_statement != nullptr; }
    Statement& bind(int index, std::string_view text)
    {
        // An empty view may have no data at all, which SQLite would take as NULL.
        sqlite3_bind_text(m_statement, index, text.empty() ? "" : text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
        return *this;
    }
    Statement& bind(int index, std::int64_t number)
    {
        sqlite3_bind_int64(m_statement, index, number);
        return *this;
    }
    Statement& bind(int index, const std::optional<std::int64_t>& number)
    {
        if (number)
            sqlite3_bind_int64(m_statement, index, *number);
        else
            sqlite3_bind_null(m_statement, index);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or an error.
    int step() { return m_statement ? sqlite3_step(m_statement) : SQLITE_MISUSE; }
    bool run()
    {
        const int result = step();
        sqlite3_reset(m_statement);
        return result == SQLITE_DONE || result == SQLITE_ROW;
    }
    void reset()
    {
        // A statement that could not be prepared (a damaged store's schema) is null, which clear_bindings
        // does not take.
        if (!m_statement)
            return;
        sqlite3_reset(m_statement);
        sqlite3_clear_bindings(m_statement);
    }
    // Valid until the next step.
    std::string_view textView(int column) const
    {
        const unsigned char* value = sqlite3_column_text(m_statement, column);
        return value ? std::string_view(reinterpret_cast<const char*>(value),
                                        static_cast<size_t>(sqlite3_column_bytes(m_statement, column)))
                     : std::string_view();
    }
    std::string text(int column) const { return std::string(textView(column)); }
    std::int64_t number(int column) const { return sqlite3_column_int64(m_statement, column); }
    std::optional<std::int64_t> optionalNumber(int column) const
    {
        if (sqlite3_column_type(m_statement, column) == SQLITE_NULL)
            return std::nullopt;
        return number(column);
    }

private:
    sqlite3_stmt* m_statement = nullptr;
};

// Each table with every column the program reads or writes, and the schema version that made it.
struct TableColumns {
    int version;
    const char* table;
    const char* columns;
};
const TableColumns tableColumns[] = {
    {1, "searches", "id, tail"},
    {1, "cities", "search, code, position"},
    {1, "memory", "search, city, key"},
    {1, "ads", "search, city, key, link, title, price, priceNumber, place, picture, firstSeen, lastSeen, cityPosition,"
               " pagePosition, listed, kind, isNew, oldPrice, oldPriceNumber"},
    {1, "prices", "search, city, key, at, priceNumber"},
    {1, "marks", "key, starred, hidden, note"},
    {1, "runs", "id, search"},
    {1, "stagedCities", "run, city, position"},
    {1, "staged", "run, city, key, link, title, price, priceNumber, place, picture, pagePosition, kind, isNew,"
                  " oldPrice, oldPriceNumber"},
    {2, "imported", "file, city, key"},
    {2, "settings", "name, value"},
};

// The first table of a store of that version that lacks a column (a damaged schema, or one of another program); ""
// when none does. A statement that names them all prepares only when they are all there.
std::string tableLackingColumns(sqlite3* db, int version)
{
    for (const TableColumns& table : tableColumns) {
        if (table.version > version)
            continue;
        const std::string probe = std::string("SELECT ") + table.columns + " FROM " + table.table + " LIMIT 0";
        if (!Statement(db, probe.c_str()).ok())
            return table.table;
    }
    return {};
}

bool isEmptyDatabase(sqlite3* db)
{
    Statement anything(db, "SELECT 1 FROM sqlite_master LIMIT 1");
    return anything.ok() && anything.step() == SQLITE_DONE;
}

int userVersion(sqlite3* db)
{
    Statement version(db, "PRAGMA user_version");
    return version.step() == SQLITE_ROW ? static_cast<int>(version.number(0)) : -1;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Counts UTF-8 characters; cuts text to at most count of them.
std::string firstCharacters(const std::string& text, size_t count)
{
    size_t characters = 0;
    for (size_t at = 0; at < text.size(); ++at) {
        if ((static_cast<unsigned char>(text[at]) & 0xC0) != 0x80) {
            if (characters == count)
                return text.substr(0, at);
            ++characters;
        }
    }
    return text;
}

std::string fileNameOf(const std::string& path)
{
    return path.substr(path.rfind('/') + 1);
}

const char* const storedAdColumns
    = "s.tail, a.key, a.city, a.cityPosition, a.pagePosition, a.link, a.title, a.price, a.priceNumber, a.place,"
      " a.picture, a.firstSeen, a.lastSeen, a.isNew, a.oldPrice, a.oldPriceNumber, a.kind, m.starred, m.hidden,"
      " m.note";

// Fills ad from the row in place, so that one StoredAd read again for every row keeps its strings' room.
void readStoredAd(const Statement& row, StoredAd& ad)
{
    ad.tail = row.textView(0);
    ad.key = row.textView(1);
    ad.cityCode = row.textView(2);
    ad.cityPosition = static_cast<int>(row.number(3));
    ad.pagePosition = static_cast<int>(row.number(4));
    ad.link = row.textView(5);
    ad.title = row.textView(6);
    ad.price = row.textView(7);
    ad.priceNumber = row.optionalNumber(8);
    ad.place = row.textView(9);
    ad.picture = row.textView(10);
    ad.firstSeen = row.number(11);
    ad.lastSeen = row.number(12);
    ad.isNew = row.number(13) != 0;
    ad.oldPrice = row.textView(14);
    ad.oldPriceNumber = row.optionalNumber(15);
    ad.folded = row.number(16) == RunAd::folded;
    ad.marks.starred = row.number(17) != 0;
    ad.marks.hidden = row.number(18) != 0;
    ad.marks.note = row.textView(19);
}

void visitStoredAds(Statement& query, const std::function<void(const StoredAd&)>& visit)
{
    StoredAd ad;
    while (query.step() == SQLITE_ROW) {
        readStoredAd(query, ad);
        visit(ad);
    }
}

// The order of the merged page: by search, the area list's order, the page's order.
bool listedBefore(const StoredAd& a, const StoredAd& b)
{
    return std::tie(a.tail, a.cityPosition, a.cityCode, a.pagePosition)
        < std::tie(b.tail, b.cityPosition, b.cityCode, b.pagePosition);
}

} // namespace

std::string adStorePath()
{
    return shell::programFolder + "ads.db";
}

std::optional<std::int64_t> priceAsWholeNumber(std::string_view price)
{
    size_t at = 0;
    while (at < price.size() && !isDigit(price[at]) && price[at] != ' ' && price[at] != '\t')
        ++at;
    if (at > 4 || at == price.size())
        return std::nullopt;
    std::int64_t number = 0;
    int digits = 0;
    int group = -1; // digits since the last comma; -1 before the first
    for (; at < price.size(); ++at) {
        const char c = price[at];
        if (isDigit(c)) {
            if (++digits > 15)
                return std::nullopt;
            number = number * 10 + (c - '0');
            if (group >= 0)
                ++group;
        } else if (c == ',') {
            if (digits == 0 || (group >= 0 && group != 3) || (group < 0 && digits > 3))
                return std::nullopt;
            group = 0;
        } else {
            return std::nullopt;
        }
    }
    if (group >= 0 && group != 3)
        return std::nullopt;
    return number;
}

bool isStorableKey(std::string_view key)
{
    return !key.empty() && key.size() <= 200 && key.front() != '['
        && std::all_of(key.begin(), key.end(), [](char c) { return c > ' ' && c < 0x7F; });
}

AdStore::AdStore() = default;

AdStore::~AdStore()
{
    close();
}

void AdStore::close()
{
    if (m_db)
        sqlite3_close_v2(m_db);
    m_db = nullptr;
}

bool AdStore::fail(std::string_view what)
{
    m_error = std::string(what);
    if (m_db) {
        const char* message = sqlite3_errmsg(m_db);
        if (message && *message && std::strcmp(message, "not an error") != 0)
            m_error += std::string(m_error.empty() ? "" : ": ") + message;
    }
    return false;
}

bool AdStore::hasItsTables(int version)
{
    const std::string lacking = tableLackingColumns(m_db, version);
    if (lacking.empty())
        return true;
    m_error = "ads.db is damaged: its table " + lacking + " is not as Quillobrand writes it";
    return false;
}

bool AdStore::execute(const char* sql)
{
    if (!m_db)
        return fail("the ad store is not open");
    char* message = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    m_error = message ? message : "the ad store could not be written";
    sqlite3_free(message);
    return false;
}

StoreStatus AdStore::open(const std::string& path)
{
    close();
    m_path = path;
    m_error.clear();
    if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr)
        != SQLITE_OK) {
        fail("the ad store could not be opened");
        close();
        return StoreStatus::failed;
    }
    sqlite3_busy_timeout(m_db, busyTimeoutMs);
    sqlite3_extended_result_codes(m_db, 1);
    // The version is read before anything could write to a newer store.
    const int version = userVersion(m_db);
    if (version < 0) {
        fail("the ad store could not be read");
        close();
        return StoreStatus::failed;
    }
    if (version > adStoreVersion) {
        m_error = "ads.db was written by a newer version of Quillobrand";
        close();
        return StoreStatus::newerVersion;
    }
    // A store is checked before anything is written to it: a damaged one stays as it is, and so does a database of
    // some other program (no version, but tables).
    if (version > 0 && !hasItsTables(version)) {
        close();
        return StoreStatus::failed;
    }
    if (version == 0 && !isEmptyDatabase(m_db)) {
        m_error = "ads.db is not an ad store of Quillobrand";
        close();
        return StoreStatus::failed;
    }
    // A new store gives back the pages a run's staged rows leave free (see StoreRun::finish); it can be set only
    // before the first table. The WAL file is cut back after each checkpoint rather than kept at its largest.
    if ((version == 0 && !execute("PRAGMA auto_vacuum=INCREMENTAL")) || !execute("PRAGMA journal_mode=WAL")
        || !execute("PRAGMA foreign_keys=ON") || !execute("PRAGMA synchronous=NORMAL")
        || !execute("PRAGMA journal_size_limit=4194304")) {
        close();
        return StoreStatus::failed;
    }
    if (version < adStoreVersion) {
        // Another connection may be upgrading at the same moment: the version is read again inside the transaction.
        bool done = execute("BEGIN IMMEDIATE");
        const int now = done ? userVersion(m_db) : -1;
        if (done && now > adStoreVersion) {
            execute("ROLLBACK");
            m_error = "ads.db was written by a newer version of Quillobrand";
            close();
            return StoreStatus::newerVersion;
        }
        for (int step = std::max(now, 0); done && step < adStoreVersion; ++step)
            done = execute(schemaSteps[step]);
        const std::string setVersion = "PRAGMA user_version=" + std::to_string(adStoreVersion);
        done = done && hasItsTables(adStoreVersion) && execute(setVersion.c_str()) && execute("COMMIT");
        if (!done) {
            const std::string why = m_error;
            execute("ROLLBACK");
            m_error = why;
            close();
            return StoreStatus::failed;
        }
    }
    return StoreStatus::ok;
}

bool createAdStoreSchema(const std::string& path, int version)
{
    AdStore store;
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
        sqlite3_close(db);
        return false;
    }
    bool done = true;
    for (int step = 0; done && step < version && step < adStoreVersion; ++step)
        done = sqlite3_exec(db, schemaSteps[step], nullptr, nullptr, nullptr) == SQLITE_OK;
    const std::string setVersion = "PRAGMA user_version=" + std::to_string(version);
    done = done && sqlite3_exec(db, setVersion.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return done;
}

bool AdStore::startUp(std::int64_t now, const std::string& seenFolder)
{
    if (!m_db)
        return fail("the ad store is not open");
    if (!execute("BEGIN IMMEDIATE"))
        return false;
    bool done = execute("DELETE FROM runs");
    if (done) {
        Statement stale(m_db, "DELETE FROM ads WHERE lastSeen < ?1 AND key NOT IN"
                              " (SELECT key FROM marks WHERE starred OR hidden OR note <> '')");
        done = stale.bind(1, now - staleAdSeconds).run();
        done = done && execute("DELETE FROM marks WHERE NOT starred AND NOT hidden AND note = ''");
    }
    Statement imported(m_db, "SELECT value FROM settings WHERE name = 'seen imported'");
    const bool importDone = imported.step() == SQLITE_ROW;
    if (done && !importDone) {
        Statement add(m_db, "INSERT OR IGNORE INTO imported(file, city, key) VALUES (?1, ?2, ?3)");
        if (DIR* folder = ::opendir(seenFolder.c_str())) {
            while (const dirent* entry = ::readdir(folder)) {
                const std::string name = entry->d_name;
                if (name.size() <= 5 || !name.ends_with(".seen"))
                    continue;
                SeenAds seen;
                seen.load(seenFolder + (seenFolder.ends_with('/') ? "" : "/") + name);
                for (const auto& [city, keys] : seen.rememberedCities()) {
                    done = done && add.bind(1, name).bind(2, city).bind(3, std::string_view()).run();
                    int kept = 0;
                    for (const std::string& key : keys) {
                        if (kept++ >= maximumKeysPerCity)
                            break;
                        done = done && add.bind(1, name).bind(2, city).bind(3, key).run();
                    }
                }
            }
            ::closedir(folder);
        }
        done = done && execute("INSERT INTO settings(name, value) VALUES ('seen imported', '1')");
    }
    if (!done) {
        const std::string why = m_error.empty() ? "the ad store could not be written" : m_error;
        execute("ROLLBACK");
        m_error = why;
        return false;
    }
    return execute("COMMIT");
}

std::vector<std::string> AdStore::searchTails()
{
    std::vector<std::string> tails;
    if (!m_db)
        return tails;
    Statement query(m_db, "SELECT tail FROM searches WHERE id IN (SELECT DISTINCT search FROM ads) ORDER BY tail");
    while (query.step() == SQLITE_ROW)
        tails.push_back(query.text(0));
    return tails;
}

std::vector<std::string> AdStore::searchCities(const std::string& tail)
{
    std::vector<std::string> cities;
    if (!m_db)
        return cities;
    Statement query(m_db, "SELECT c.code FROM cities c JOIN searches s ON s.id = c.search WHERE s.tail = ?1"
                          " ORDER BY c.position, c.code");
    query.bind(1, tail);
    while (query.step() == SQLITE_ROW)
        cities.push_back(query.text(0));
    return cities;
}

void AdStore::forEachSearchAd(const std::string& tail, const std::function<void(const StoredAd&)>& visit)
{
    if (!m_db)
        return;
    // No ORDER BY: sorting whole rows in SQLite takes three times as long as reading them.
    const std::string sql = std::string("SELECT ") + storedAdColumns
        + " FROM ads a JOIN searches s ON s.id = a.search LEFT JOIN marks m ON m.key = a.key"
          " WHERE s.tail = ?1 AND a.listed = 1 AND a.kind <> 2";
    Statement query(m_db, sql.c_str());
    query.bind(1, tail);
    visitStoredAds(query, visit);
}

void AdStore::forEachStarredAd(const std::function<void(const StoredAd&)>& visit)
{
    if (!m_db)
        return;
    const std::string sql = std::string("SELECT ") + storedAdColumns
        + " FROM ads a JOIN searches s ON s.id = a.search JOIN marks m ON m.key = a.key WHERE m.starred = 1";
    Statement query(m_db, sql.c_str());
    visitStoredAds(query, visit);
}

std::vector<StoredAd> AdStore::searchAds(const std::string& tail)
{
    std::vector<StoredAd> ads;
    forEachSearchAd(tail, [&ads](const StoredAd& ad) { ads.push_back(ad); });
    std::sort(ads.begin(), ads.end(), listedBefore);
    return ads;
}

std::vector<StoredAd> AdStore::starredAds()
{
    std::vector<StoredAd> ads;
    forEachStarredAd([&ads](const StoredAd& ad) { ads.push_back(ad); });
    std::sort(ads.begin(), ads.end(), listedBefore);
    return ads;
}

bool AdStore::knowsAd(const std::string& key)
{
    if (!m_db)
        return false;
    Statement query(m_db, "SELECT 1 FROM ads WHERE key = ?1 LIMIT 1");
    query.bind(1, key);
    return query.step() == SQLITE_ROW;
}

std::string AdStore::adTitle(const std::string& key)
{
    if (!m_db)
        return {};
    Statement query(m_db, "SELECT title FROM ads WHERE key = ?1 ORDER BY lastSeen DESC LIMIT 1");
    query.bind(1, key);
    return query.step() == SQLITE_ROW ? query.text(0) : std::string();
}

AdMarks AdStore::marksOf(const std::string& key)
{
    AdMarks marks;
    if (!m_db)
        return marks;
    Statement query(m_db, "SELECT starred, hidden, note FROM marks WHERE key = ?1");
    query.bind(1, key);
    if (query.step() == SQLITE_ROW) {
        marks.starred = query.number(0) != 0;
        marks.hidden = query.number(1) != 0;
        marks.note = query.text(2);
    }
    return marks;
}

bool AdStore::setStarred(const std::string& key, bool starred)
{
    if (!m_db)
        return fail("the ad store is not open");
    Statement change(m_db, "INSERT INTO marks(key, starred) VALUES (?1, ?2)"
                           " ON CONFLICT(key) DO UPDATE SET starred = excluded.starred");
    return change.bind(1, key).bind(2, std::int64_t(starred)).run() || fail("the star could not be kept");
}

bool AdStore::setHidden(const std::string& key, bool hidden)
{
    if (!m_db)
        return fail("the ad store is not open");
    Statement change(m_db, "INSERT INTO marks(key, hidden) VALUES (?1, ?2)"
                           " ON CONFLICT(key) DO UPDATE SET hidden = excluded.hidden");
    return change.bind(1, key).bind(2, std::int64_t(hidden)).run() || fail("the ad could not be hidden");
}

bool AdStore::setNote(const std::string& key, const std::string& note)
{
    if (!m_db)
        return fail("the ad store is not open");
    Statement change(m_db, "INSERT INTO marks(key, note) VALUES (?1, ?2)"
                           " ON CONFLICT(key) DO UPDATE SET note = excluded.note");
    return change.bind(1, key).bind(2, firstCharacters(note, maximumNoteCharacters)).run()
        || fail("the note could not be kept");
}

bool AdStore::forgetSearch(const std::string& tail)
{
    if (!m_db)
        return fail("the ad store is not open");
    // The cascade takes the cities, memory, ads, prices and any unfinished run's rows with the search.
    Statement forget(m_db, "DELETE FROM searches WHERE tail = ?1");
    return forget.bind(1, tail).run() || fail("the search could not be forgotten");
}

bool AdStore::forgetKey(const std::string& tail, const std::string& key)
{
    if (!m_db)
        return fail("the ad store is not open");
    Statement forget(m_db, "DELETE FROM memory WHERE key = ?2 AND search = (SELECT id FROM searches WHERE tail = ?1)");
    return forget.bind(1, tail).bind(2, key).run() || fail("the ad could not be forgotten");
}

AdStore* threadStore(StoreStatus* status, std::string* error)
{
    thread_local std::unique_ptr<AdStore> store;
    thread_local StoreStatus lastStatus = StoreStatus::failed;
    const std::string path = adStorePath();
    if (!store || !store->isOpen() || store->path() != path) {
        if (!store)
            store = std::make_unique<AdStore>();
        lastStatus = store->open(path);
    }
    if (status)
        *status = lastStatus;
    if (error)
        *error = store->lastError();
    return store->isOpen() ? store.get() : nullptr;
}

// --- StoreRun

StoreRun::StoreRun() = default;

StoreRun::~StoreRun()
{
    abandon();
}

bool StoreRun::failWith(const std::string& what)
{
    if (m_failure.empty())
        m_failure = what;
    m_broken = true;
    return false;
}

bool StoreRun::begin(AdStore* store, const std::string& tail, std::int64_t now)
{
    m_store = store;
    m_tail = tail;
    m_now = now;
    if (!store || !store->isOpen())
        return failWith(store ? store->lastError() : "the ad store could not be opened");
    sqlite3* db = store->handle();
    // A search whose store rows are new takes the memory file an earlier version kept for it, once.
    if (!store->execute("BEGIN IMMEDIATE"))
        return failWith(store->lastError());
    bool done = Statement(db, "INSERT OR IGNORE INTO searches(tail) VALUES (?1)").bind(1, tail).run();
    {
        Statement id(db, "SELECT id FROM searches WHERE tail = ?1");
        id.bind(1, tail);
        done = done && id.step() == SQLITE_ROW;
        m_searchId = done ? id.number(0) : 0;
    }
    const std::string file = fileNameOf(seenFilePath(tail));
    // Each question is asked and done with before anything is written.
    const bool hasImport = done && Statement(db, "SELECT 1 FROM imported WHERE file = ?1 LIMIT 1").bind(1, file).step() == SQLITE_ROW;
    if (hasImport) {
        const bool hasCities
            = Statement(db, "SELECT 1 FROM cities WHERE search = ?1 LIMIT 1").bind(1, m_searchId).step() == SQLITE_ROW;
        if (!hasCities) {
            done = Statement(db, "INSERT INTO cities(search, code, position)"
                                 " SELECT ?1, city, 0 FROM imported WHERE file = ?2 AND key = ''")
                       .bind(1, m_searchId)
                       .bind(2, file)
                       .run()
                && Statement(db, "INSERT INTO memory(search, city, key)"
                                 " SELECT ?1, city, key FROM imported WHERE file = ?2 AND key <> ''")
                       .bind(1, m_searchId)
                       .bind(2, file)
                       .run();
        }
        done = done && Statement(db, "DELETE FROM imported WHERE file = ?1").bind(1, file).run();
    }
    if (!done || !store->execute("COMMIT")) {
        store->fail("the ad store could not be read");
        const std::string why = store->lastError();
        store->execute("ROLLBACK");
        return failWith(why);
    }

    // What the run reads, read in one transaction so that a run finishing elsewhere can't split it.
    if (!store->execute("BEGIN"))
        return failWith(store->lastError());
    Statement cities(db, "SELECT code FROM cities WHERE search = ?1");
    cities.bind(1, m_searchId);
    while (cities.step() == SQLITE_ROW)
        m_cities[cities.text(0)] = true;
    Statement memory(db, "SELECT key FROM memory WHERE search = ?1");
    memory.bind(1, m_searchId);
    while (memory.step() == SQLITE_ROW)
        m_remembered.insert(memory.text(0));
    Statement prices(db, "SELECT key, priceNumber, price FROM ads WHERE search = ?1 AND priceNumber IS NOT NULL"
                         " ORDER BY lastSeen");
    prices.bind(1, m_searchId);
    while (prices.step() == SQLITE_ROW)
        m_prices[prices.text(0)] = {prices.number(1), prices.text(2)};
    Statement marks(db, "SELECT key, starred, hidden, note FROM marks");
    while (marks.step() == SQLITE_ROW) {
        AdMarks& m = m_marks[marks.text(0)];
        m.starred = marks.number(1) != 0;
        m.hidden = marks.number(2) != 0;
        m.note = marks.text(3);
    }
    store->execute("COMMIT");
    return true;
}

bool StoreRun::cityHasMemory(const std::string& cityCode) const
{
    return m_cities.count(cityCode) != 0;
}

bool StoreRun::isNew(const std::string& cityCode, std::string_view key) const
{
    return !key.empty() && cityHasMemory(cityCode) && !m_remembered.count(std::string(key));
}

const KnownPrice* StoreRun::lastPrice(std::string_view key) const
{
    const auto found = m_prices.find(std::string(key));
    return found == m_prices.end() ? nullptr : &found->second;
}

AdMarks StoreRun::marksOf(std::string_view key) const
{
    const auto found = m_marks.find(std::string(key));
    return found == m_marks.end() ? AdMarks() : found->second;
}

void StoreRun::beginCity(const std::string& cityCode, int cityPosition)
{
    m_city = cityCode;
    m_cityPosition = cityPosition;
    m_cityAds.clear();
    m_cityKeys.clear();
}

void StoreRun::noteAd(const RunAd& ad)
{
    if (!isStorableKey(ad.key) || m_cityKeys.size() >= static_cast<size_t>(maximumKeysPerCity))
        return;
    if (m_cityKeys.insert(ad.key).second)
        m_cityAds.push_back(ad);
}

bool StoreRun::ensureRunRow()
{
    if (m_runId != 0)
        return true;
    if (!Statement(m_store->handle(), "INSERT INTO runs(search) VALUES (?1)").bind(1, m_searchId).run())
        return false;
    m_runId = sqlite3_last_insert_rowid(m_store->handle());
    return true;
}

bool StoreRun::endCity(bool gaveList)
{
    std::vector<RunAd> ads;
    ads.swap(m_cityAds);
    m_cityKeys.clear();
    if (!gaveList || m_broken || !m_store || !m_store->isOpen())
        return !m_broken;
    sqlite3* db = m_store->handle();
    if (!m_store->execute("BEGIN IMMEDIATE"))
        return failWith(m_store->lastError());
    bool done = ensureRunRow();
    done = done
        && Statement(db, "INSERT OR REPLACE INTO stagedCities(run, city, position) VALUES (?1, ?2, ?3)")
               .bind(1, m_runId)
               .bind(2, m_city)
               .bind(3, std::int64_t(m_cityPosition))
               .run();
    // A city asked twice in one run: its later list counts, as it would in the memory.
    done = done && Statement(db, "DELETE FROM staged WHERE run = ?1 AND city = ?2").bind(1, m_runId).bind(2, m_city).run();
    Statement add(db, "INSERT OR IGNORE INTO staged(run, city, key, link, title, price, priceNumber, place, picture,"
                      " pagePosition, kind, isNew, oldPrice, oldPriceNumber)"
                      " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14)");
    for (const RunAd& ad : ads) {
        if (!done)
            break;
        add.reset();
        add.bind(1, m_runId).bind(2, m_city).bind(3, ad.key).bind(4, ad.link).bind(5, ad.title).bind(6, ad.price);
        add.bind(7, priceAsWholeNumber(ad.price)).bind(8, ad.place).bind(9, ad.picture);
        add.bind(10, std::int64_t(ad.pagePosition)).bind(11, std::int64_t(ad.kind)).bind(12, std::int64_t(ad.isNew));
        if (!ad.oldPrice.empty())
            add.bind(13, ad.oldPrice).bind(14, priceAsWholeNumber(ad.oldPrice));
        done = add.run();
    }
    if (!done || !m_store->execute("COMMIT")) {
        m_store->fail("");
        const std::string why = m_store->lastError();
        m_store->execute("ROLLBACK");
        m_runId = 0; // rolled back with the rest, if this transaction made it
        return failWith(why.empty() ? "the ads of " + m_city + " could not be kept" : why);
    }
    m_anyListed = true;
    return true;
}

bool StoreRun::finish()
{
    if (m_broken)
        return false;
    if (!m_anyListed)
        return true;
    sqlite3* db = m_store->handle();
    if (!m_store->execute("BEGIN IMMEDIATE"))
        return failWith(m_store->lastError());
    const std::int64_t run = m_runId;
    const std::int64_t search = m_searchId;
    auto step = [&](const char* sql) {
        Statement statement(db, sql);
        if (!statement.ok())
            return false;
        statement.bind(1, run).bind(2, search).bind(3, m_now);
        return statement.run();
    };
    // The listing cities replace their memory and their ads' last-run facts. A price that changed adds a line to
    // the history, and the first change the price the ad had when it was first seen: an ad whose price never
    // changed has no history but its own row, which keeps most ads at one row.
    bool done = step("INSERT INTO cities(search, code, position) SELECT ?2, city, position FROM stagedCities"
                     " WHERE run = ?1 ON CONFLICT(search, code) DO UPDATE SET position = excluded.position")
        && step("DELETE FROM memory WHERE search = ?2 AND city IN (SELECT city FROM stagedCities WHERE run = ?1)"
                "")
        && step("INSERT INTO memory(search, city, key) SELECT ?2, city, key FROM staged WHERE run = ?1")
        && step("INSERT OR IGNORE INTO prices(search, city, key, at, priceNumber)"
                " SELECT ?2, t.city, t.key, a.firstSeen, a.priceNumber FROM staged t"
                " JOIN ads a ON a.search = ?2 AND a.city = t.city AND a.key = t.key"
                " WHERE t.run = ?1 AND a.priceNumber IS NOT t.priceNumber AND NOT EXISTS (SELECT 1 FROM prices p"
                " WHERE p.search = ?2 AND p.city = t.city AND p.key = t.key)")
        && step("INSERT INTO prices(search, city, key, at, priceNumber)"
                " SELECT ?2, t.city, t.key, ?3, t.priceNumber FROM staged t"
                " JOIN ads a ON a.search = ?2 AND a.city = t.city AND a.key = t.key"
                " WHERE t.run = ?1 AND a.priceNumber IS NOT t.priceNumber"
                " ON CONFLICT DO UPDATE SET priceNumber = excluded.priceNumber")
        && step("UPDATE ads SET listed = 0, isNew = 0, oldPrice = NULL, oldPriceNumber = NULL"
                " WHERE search = ?2 AND city IN (SELECT city FROM stagedCities WHERE run = ?1)")
        && step("INSERT INTO ads(search, city, key, link, title, price, priceNumber, place, picture, firstSeen,"
                " lastSeen, cityPosition, pagePosition, listed, kind, isNew, oldPrice, oldPriceNumber)"
                " SELECT ?2, t.city, t.key, t.link, t.title, t.price, t.priceNumber, t.place, t.picture, ?3, ?3,"
                " c.position, t.pagePosition, 1, t.kind, t.isNew, t.oldPrice, t.oldPriceNumber"
                " FROM staged t JOIN stagedCities c ON c.run = t.run AND c.city = t.city WHERE t.run = ?1"
                " ON CONFLICT(search, city, key) DO UPDATE SET link = excluded.link, title = excluded.title,"
                " price = excluded.price, priceNumber = excluded.priceNumber, place = excluded.place,"
                " picture = excluded.picture, lastSeen = excluded.lastSeen, cityPosition = excluded.cityPosition,"
                " pagePosition = excluded.pagePosition, listed = 1, kind = excluded.kind, isNew = excluded.isNew,"
                " oldPrice = excluded.oldPrice, oldPriceNumber = excluded.oldPriceNumber")
        && step("DELETE FROM runs WHERE id = ?1");
    if (!done || !m_store->execute("COMMIT")) {
        m_store->fail("");
        const std::string why = m_store->lastError();
        m_store->execute("ROLLBACK");
        return failWith(why.empty() ? "the ad store could not be written" : why);
    }
    m_runId = 0;
    m_anyListed = false;
    // The staged rows' pages go back to the file system; the run has taken effect whatever this does.
    m_store->execute("PRAGMA incremental_vacuum");
    return true;
}

void StoreRun::abandon()
{
    if (m_runId != 0 && m_store && m_store->isOpen()) {
        // The cascade takes the staged rows; a failure here is cleaned up at the next start-up.
        Statement(m_store->handle(), "DELETE FROM runs WHERE id = ?1").bind(1, m_runId).run();
    }
    m_runId = 0;
    m_anyListed = false;
}

} // namespace search

#pragma once
// A search's memory in the ad store as text, the way tests write it: "[" + city + "]" lines in the order of the
// cities' codes, each followed by its keys, sorted, each line ended by CR LF.

#include <sqlite3.h>

#include <map>
#include <set>
#include <string>

inline std::string storeMemoryText(const std::string& storePath, const std::string& tail)
{
    sqlite3* db = nullptr;
    std::map<std::string, std::set<std::string>> cities;
    if (sqlite3_open_v2(storePath.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        sqlite3_stmt* query = nullptr;
        sqlite3_prepare_v2(db,
                           "SELECT c.code, m.key FROM cities c JOIN searches s ON s.id = c.search"
                           " LEFT JOIN memory m ON m.search = c.search AND m.city = c.code WHERE s.tail = ?1",
                           -1, &query, nullptr);
        sqlite3_bind_text(query, 1, tail.c_str(), -1, SQLITE_TRANSIENT);
        while (sqlite3_step(query) == SQLITE_ROW) {
            std::set<std::string>& keys = cities[reinterpret_cast<const char*>(sqlite3_column_text(query, 0))];
            if (const unsigned char* key = sqlite3_column_text(query, 1))
                keys.insert(reinterpret_cast<const char*>(key));
        }
        sqlite3_finalize(query);
    }
    sqlite3_close(db);
    std::string text;
    for (const auto& [city, keys] : cities) {
        text += "[" + city + "]\r\n";
        for (const std::string& key : keys)
            text += key + "\r\n";
    }
    return text;
}

// Replaces the search's memory by the one the text describes (in the form above, in any order).
inline bool setStoreMemory(const std::string& storePath, const std::string& tail, const std::string& text)
{
    sqlite3* db = nullptr;
    if (sqlite3_open(storePath.c_str(), &db) != SQLITE_OK) {
        sqlite3_close(db);
        return false;
    }
    sqlite3_busy_timeout(db, 5000);
    auto run = [&](const char* sql, const std::string& a = "", const std::string& b = "") {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK)
            return false;
        sqlite3_bind_text(statement, 1, tail.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(statement, 2, a.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(statement, 3, b.c_str(), -1, SQLITE_TRANSIENT);
        const bool done = sqlite3_step(statement) == SQLITE_DONE;
        sqlite3_finalize(statement);
        return done;
    };
    bool done = sqlite3_exec(db, "PRAGMA foreign_keys=ON; BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK
        && run("INSERT OR IGNORE INTO searches(tail) VALUES (?1)")
        && run("DELETE FROM cities WHERE search = (SELECT id FROM searches WHERE tail = ?1)");
    std::string city;
    for (size_t at = 0; done && at < text.size();) {
        size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end;
        std::string line = text.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.size() > 2 && line.front() == '[' && line.back() == ']') {
            city = line.substr(1, line.size() - 2);
            done = run("INSERT INTO cities(search, code, position) SELECT id, ?2, 0 FROM searches WHERE tail = ?1",
                       city);
        } else if (!line.empty()) {
            done = run("INSERT OR IGNORE INTO memory(search, city, key) SELECT id, ?2, ?3 FROM searches WHERE tail = ?1",
                       city, line);
        }
    }
    done = done && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return done;
}

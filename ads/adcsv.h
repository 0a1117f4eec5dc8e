#pragma once
// The ads as a CSV file (RFC 4180) that spreadsheet programs open as they stand: UTF-8 with a byte-order mark,
// CR LF after each record, a cell holding a comma, a double quote or a line break quoted with its quotes doubled.

#include "ads/adrules.h"

#include <string>
#include <string_view>
#include <vector>

namespace ads {

// The plain text of a text as a page holds it: tags dropped, entities decoded, blanks folded.
std::string plainText(std::string_view safeHtml);

// One cell. Titles and notes come from the network and from users, so a cell a spreadsheet would take for a
// formula (one starting with "=", "+", "-", "@", a tab or a CR) gets a leading apostrophe first.
std::string csvCell(std::string_view text);

// The header record: city, title, price, price number, place, link, picture, first seen, last seen, new,
// old price, starred, hidden, note.
std::string csvHeader();
// One ad's record; times as YYYY-MM-DDTHH:MM:SSZ, flags as "yes" or "no".
std::string csvRecord(const AdRow& row);

// The byte-order mark, the header, and the rows at the indexes, in that order.
std::string adsCsv(const std::vector<AdRow>& rows, const std::vector<int>& order);

// "YYYY-MM-DDTHH:MM:SSZ".
std::string utcTimeText(std::int64_t secondsSinceEpoch);

} // namespace ads

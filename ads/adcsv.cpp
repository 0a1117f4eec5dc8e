#include "ads/adcsv.h"

#include "search/adlist.h"

#include <ctime>

namespace ads {

std::string plainText(std::string_view safeHtml)
{
    // Tags go before entities are decoded: a "&lt;" in the text is a character, never the start of a tag.
    std::string untagged;
    untagged.reserve(safeHtml.size());
    size_t at = 0;
    while (at < safeHtml.size()) {
        const size_t open = safeHtml.find('<', at);
        untagged.append(safeHtml.substr(at, open == std::string_view::npos ? std::string_view::npos : open - at));
        if (open == std::string_view::npos)
            break;
        const size_t close = safeHtml.find('>', open);
        if (close == std::string_view::npos)
            break; // a tag cut off at the end
        untagged += ' ';
        at = close + 1;
    }
    return search::foldBlanks(search::htmlToText(untagged));
}

namespace {

void appendCsvCell(std::string& out, std::string_view text)
{
    const bool guard = !text.empty()
        && (text[0] == '=' || text[0] == '+' || text[0] == '-' || text[0] == '@' || text[0] == '\t' || text[0] == '\r');
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        if (guard)
            out += '\'';
        out += text;
        return;
    }
    out += '"';
    if (guard)
        out += '\'';
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

} // namespace

std::string csvCell(std::string_view text)
{
    std::string cell;
    appendCsvCell(cell, text);
    return cell;
}

std::string utcTimeText(std::int64_t secondsSinceEpoch)
{
    const std::time_t t = static_cast<std::time_t>(secondsSinceEpoch);
    std::tm parts{};
    if (!::gmtime_r(&t, &parts))
        return {};
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

std::string csvHeader()
{
    return "city,title,price,price number,place,link,picture,first seen,last seen,new,old "
           "price,starred,hidden,note\r\n";
}

namespace {

void appendRecord(std::string& out, const AdRow& row)
{
    const std::string number = row.priceNumber ? std::to_string(*row.priceNumber) : std::string();
    const std::string firstSeen = row.firstSeen ? utcTimeText(row.firstSeen) : std::string();
    const std::string lastSeen = row.lastSeen ? utcTimeText(row.lastSeen) : std::string();
    const std::string_view cells[] = {
        row.city(),
        row.title(),
        row.price(),
        number,
        row.place(),
        row.link(),
        row.text(Text::picture),
        firstSeen,
        lastSeen,
        row.isNew ? "yes" : "no",
        row.oldPrice(),
        row.starred ? "yes" : "no",
        row.hidden ? "yes" : "no",
        row.note(),
    };
    for (const std::string_view& cell : cells) {
        if (&cell != &cells[0])
            out += ',';
        appendCsvCell(out, cell);
    }
    out += "\r\n";
}

} // namespace

std::string csvRecord(const AdRow& row)
{
    std::string record;
    appendRecord(record, row);
    return record;
}

std::string adsCsv(const std::vector<AdRow>& rows, const std::vector<int>& order)
{
    std::string csv = "\xEF\xBB\xBF" + csvHeader();
    csv.reserve(csv.size() + order.size() * 400);
    for (int index : order)
        appendRecord(csv, rows[size_t(index)]);
    return csv;
}

} // namespace ads

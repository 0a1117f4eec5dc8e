#include "search/adlist.h"

#include "platform/htmltag.h"

#include <algorithm>
#include <array>

namespace search {

namespace {

// An item far beyond any real ad (about 600 bytes) is a damaged page; it is dropped rather than held.
constexpr size_t maximumItemBytes = 1024 * 1024;
// Longer tag names matter to nobody here; they are cut, not held.
constexpr size_t longestTagName = 12;

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

char lower(char c)
{
    return platform::asciiLower(c);
}

std::string_view trimBlanks(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size()
        && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower(x) == lower(y); });
}

// The length of the character reference ("&amp;", "&#38;", "&#x26;") at text[at], or 0 when none starts there.
size_t entityLength(std::string_view text, size_t at)
{
    constexpr size_t longest = 40;
    size_t i = at + 1;
    const size_t end = std::min(text.size(), at + longest);
    if (i < end && text[i] == '#') {
        ++i;
        const bool hex = i < end && (text[i] == 'x' || text[i] == 'X');
        if (hex)
            ++i;
        const size_t digits = i;
        while (i < end && (isDigit(text[i]) || (hex && isLetter(text[i]) && lower(text[i]) <= 'f')))
            ++i;
        return i > digits && i < end && text[i] == ';' ? i + 1 - at : 0;
    }
    if (i >= end || !isLetter(text[i]))
        return 0;
    while (i < end && (isLetter(text[i]) || isDigit(text[i])))
        ++i;
    return i < end && text[i] == ';' ? i + 1 - at : 0;
}

// Text as it stands in a page, made safe to write back: entities kept, any other "&", "<" or ">" escaped.
void appendEscaped(std::string& out, std::string_view text)
{
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else if (c == '&' && entityLength(text, i) == 0)
            out += "&amp;";
        else
            out.push_back(c);
    }
}

std::optional<std::string_view> attribute(std::string_view tag, std::string_view name)
{
    std::optional<std::string_view> found;
    platform::forEachTagAttribute(tag, 0, [&](std::string_view attributeName, std::string_view value) {
        if (!found && equalsIgnoringCase(attributeName, name))
            found = value;
    });
    return found;
}

bool hasClass(std::string_view tag, std::string_view className)
{
    const std::string_view classes = attribute(tag, "class").value_or("");
    size_t at = 0;
    while (at < classes.size()) {
        while (at < classes.size() && isBlank(classes[at]))
            ++at;
        size_t end = at;
        while (end < classes.size() && !isBlank(classes[end]))
            ++end;
        if (classes.substr(at, end - at) == className)
            return true;
        at = end;
    }
    return false;
}

// Elements whose content is not markup: it ends only at the element's own end tag.
bool isRawTextElement(std::string_view name)
{
    static constexpr std::array<std::string_view, 8> names
        = {"script", "style", "textarea", "title", "xmp", "iframe", "noembed", "noframes"};
    return std::find(names.begin(), names.end(), name) != names.end();
}

// Raw text a browser shows as text; script, style and the like show nothing.
bool isShownRawText(std::string_view name)
{
    return name == "textarea" || name == "title" || name == "xmp";
}

// Reads HTML as a browser's tokenizer does, as far as finding tags goes: quoted attribute values, comments,
// bogus comments ("<!DOCTYPE", "<?", "</ x") and raw text elements. Fed in pieces, cut anywhere: whatever a
// piece leaves unfinished (a "<" or "</" at its end, a comment's closing dashes, a raw text element's end tag
// cut short) is carried into the next. Positions are offsets of the whole stream; the handler gets
//   text(piece)                       text outside tags (only the shown kind of raw text),
//   tagStarted(at)                    the "<" of a tag at offset `at`, which may lie in an earlier piece,
//   tagEnded(after, name, endTag)     its ">" just before offset `after`, the name in lower case.
class HtmlScanner {
public:
    template <typename Handler> void scan(std::string_view s, Handler& handler);

    bool inHiddenRawText() const { return m_state == State::RawText && !isShownRawText(m_rawName); }
    // Whether the piece ended inside a start tag of that name.
    bool insideStartTag(std::string_view name) const
    {
        return m_state >= State::TagName && m_state <= State::Unquoted && !m_endTag && m_name == name;
    }
    // The input has ended: a "<" or "</" left undecided is text, as is an end tag cut short in shown raw text.
    template <typename Handler> void end(Handler& handler)
    {
        if (m_state == State::TagOpen)
            handler.text("<");
        else if (m_state == State::EndTagOpen)
            handler.text("</");
        else if (m_state == State::RawText && isShownRawText(m_rawName) && !m_rawHeld.empty())
            handler.text(m_rawHeld);
        m_state = State::Text;
    }
    // The offset of a "<" that the next piece may still make a tag's start (npos when none): the bytes from there
    // on can't yet be given to anyone.
    size_t undecidedFrom() const
    {
        const bool undecided = m_state == State::TagOpen || m_state == State::EndTagOpen
            || (m_state == State::RawText && !m_rawHeld.empty());
        return undecided ? m_lessThan : std::string_view::npos;
    }

private:
    enum class State {
        Text,
        TagOpen,
        EndTagOpen,
        TagName,
        BeforeAttribute,
        AttributeName,
        AfterAttributeName,
        BeforeValue,
        DoubleQuoted,
        SingleQuoted,
        Unquoted,
        MarkupOpen,
        Comment,
        BogusComment,
        RawText,
    };

    State m_state = State::Text;
    std::string m_name;
    std::string m_rawName;
    bool m_endTag = false;
    bool m_markupDash = false;
    size_t m_offset = 0; // of the piece being scanned in the stream
    size_t m_lessThan = 0; // the current "<", in the stream
    std::string m_commentTail; // the last bytes (up to 3) of a comment that goes on, its opening dashes included
    std::string m_rawHeld; // what a piece ended with of the raw text element's end tag: "</", "</scr"
};

template <typename Handler> void HtmlScanner::scan(std::string_view s, Handler& handler)
{
    constexpr size_t npos = std::string_view::npos;
    const size_t n = s.size();
    size_t i = 0;
    size_t textFrom = 0;
    size_t commentFrom = 0; // where the comment's bytes in this piece start; those before are in m_commentTail
    auto emitText = [&](size_t to) {
        if (to > textFrom)
            handler.text(s.substr(textFrom, to - textFrom));
    };
    auto startTag = [&](char first, bool endTag, size_t at) {
        m_name.assign(1, lower(first));
        m_endTag = endTag;
        m_state = State::TagName;
        handler.tagStarted(at);
    };
    auto endTag = [&](size_t after) {
        m_state = State::Text;
        textFrom = after;
        handler.tagEnded(m_offset + after, std::string_view(m_name), m_endTag);
        if (!m_endTag && isRawTextElement(m_name)) {
            m_rawName = m_name;
            m_state = State::RawText;
        }
    };
    // "</" and the raw text element's name (in any letter case) from s[at]: how many bytes match, up to all.
    auto rawEndMatch = [&](size_t at, size_t matched) {
        const size_t whole = 2 + m_rawName.size();
        while (at < n && matched < whole) {
            const char wanted = matched == 0 ? '<' : matched == 1 ? '/' : m_rawName[matched - 2];
            if (lower(s[at]) != wanted)
                break;
            ++at;
            ++matched;
        }
        return matched;
    };
    auto endsRawName = [](char c) { return isBlank(c) || c == '/' || c == '>'; };
    while (i < n) {
        const char c = s[i];
        switch (m_state) {
        case State::Text: {
            const size_t at = s.find('<', i);
            if (at == npos) {
                i = n;
                break;
            }
            emitText(at);
            m_lessThan = m_offset + at;
            m_state = State::TagOpen;
            textFrom = i = at + 1;
            break;
        }
        case State::TagOpen:
            if (isLetter(c)) {
                startTag(c, false, m_lessThan);
                ++i;
            } else if (c == '!') {
                m_state = State::MarkupOpen;
                m_markupDash = false;
                ++i;
            } else if (c == '/') {
                m_state = State::EndTagOpen;
                ++i;
            } else if (c == '?') {
                m_state = State::BogusComment;
            } else {
                m_state = State::Text; // a lone "<" is text
                if (m_lessThan < m_offset)
                    handler.text("<");
                textFrom = std::max(m_lessThan, m_offset) - m_offset;
            }
            break;
        case State::EndTagOpen:
            if (isLetter(c)) {
                startTag(c, true, m_lessThan);
                ++i;
            } else if (c == '>') {
                m_state = State::Text;
                textFrom = ++i;
            } else {
                m_state = State::BogusComment;
            }
            break;
        case State::TagName:
            if (isBlank(c) || c == '/') {
                m_state = State::BeforeAttribute;
                ++i;
            } else if (c == '>') {
                endTag(++i);
            } else {
                if (m_name.size() < longestTagName)
                    m_name.push_back(lower(c));
                ++i;
            }
            break;
        case State::BeforeAttribute:
            if (c == '>')
                endTag(++i);
            else {
                if (!isBlank(c) && c != '/')
                    m_state = State::AttributeName;
                ++i;
            }
            break;
        case State::AttributeName:
        case State::AfterAttributeName:
            if (c == '>') {
                endTag(++i);
                break;
            }
            if (c == '=')
                m_state = State::BeforeValue;
            else if (c == '/')
                m_state = State::BeforeAttribute;
            else if (isBlank(c))
                m_state = State::AfterAttributeName;
            else
                m_state = State::AttributeName;
            ++i;
            break;
        case State::BeforeValue:
            if (c == '>') {
                endTag(++i);
                break;
            }
            if (c == '"')
                m_state = State::DoubleQuoted;
            else if (c == '\'')
                m_state = State::SingleQuoted;
            else if (!isBlank(c))
                m_state = State::Unquoted;
            ++i;
            break;
        case State::DoubleQuoted:
        case State::SingleQuoted: {
            const size_t close = s.find(m_state == State::DoubleQuoted ? '"' : '\'', i);
            if (close == npos) {
                i = n;
            } else {
                m_state = State::BeforeAttribute;
                i = close + 1;
            }
            break;
        }
        case State::Unquoted:
            if (c == '>')
                endTag(++i);
            else {
                if (isBlank(c))
                    m_state = State::BeforeAttribute;
                ++i;
            }
            break;
        case State::MarkupOpen:
            if (c == '-' && !m_markupDash) {
                m_markupDash = true;
                ++i;
            } else if (c == '-') {
                // "<!--": the comment's own dashes count towards its end, so "<!-->" is a whole comment.
                m_state = State::Comment;
                m_commentTail = "--";
                commentFrom = ++i;
            } else {
                m_state = State::BogusComment;
            }
            break;
        case State::Comment: {
            const size_t close = s.find('>', i);
            if (close == npos) {
                i = n;
                break;
            }
            // The byte `back` places before the ">", within the comment; none before the comment's start.
            auto before = [&](size_t back) -> char {
                if (close >= commentFrom + back)
                    return s[close - back];
                const size_t fromTail = back - (close - commentFrom);
                return fromTail <= m_commentTail.size() ? m_commentTail[m_commentTail.size() - fromTail] : '\0';
            };
            if ((before(1) == '-' && before(2) == '-') || (before(1) == '!' && before(2) == '-' && before(3) == '-')) {
                m_state = State::Text;
                m_commentTail.clear();
                textFrom = close + 1;
            }
            i = close + 1;
            break;
        }
        case State::BogusComment: {
            const size_t close = s.find('>', i);
            if (close == npos) {
                i = n;
            } else {
                m_state = State::Text;
                textFrom = i = close + 1;
            }
            break;
        }
        case State::RawText: {
            const bool shown = isShownRawText(m_rawName);
            const size_t whole = 2 + m_rawName.size();
            size_t at = i;
            size_t matched = 0;
            if (!m_rawHeld.empty()) {
                // An end tag begun in an earlier piece goes on here, or turns out to be text.
                matched = rawEndMatch(i, m_rawHeld.size());
                const size_t end = i + matched - m_rawHeld.size();
                if (end == n) {
                    m_rawHeld.append(s.substr(i));
                    i = textFrom = n;
                    break;
                }
                if (matched < whole || !endsRawName(s[end])) {
                    if (shown)
                        handler.text(m_rawHeld);
                    m_rawHeld.clear();
                    textFrom = i; // the byte that broke the match may start an end tag itself
                    break;
                }
                m_rawHeld.clear();
                startTag(m_rawName.front(), true, m_lessThan);
                m_name = m_rawName;
                i = end;
                break;
            }
            at = s.find('<', i);
            if (at == npos) {
                i = n;
                break;
            }
            matched = rawEndMatch(at, 0);
            const size_t end = at + matched;
            if (end == n) {
                // Cut off by the piece's end: the next piece says whether it is the end tag.
                if (shown)
                    emitText(at);
                m_lessThan = m_offset + at;
                m_rawHeld.assign(s.substr(at));
                i = textFrom = n;
                break;
            }
            if (matched == whole && endsRawName(s[end])) {
                if (shown)
                    emitText(at);
                startTag(m_rawName.front(), true, m_offset + at);
                m_name = m_rawName;
                i = end;
            } else {
                i = at + 1;
            }
            break;
        }
        }
    }
    if (m_state == State::Text || (m_state == State::RawText && isShownRawText(m_rawName)))
        emitText(n);
    if (m_state == State::Comment) {
        // The comment goes on in the next piece: its last bytes decide whether a ">" there ends it.
        m_commentTail.append(s.substr(std::max(commentFrom, n - std::min<size_t>(n, 3))));
        m_commentTail.erase(0, m_commentTail.size() - std::min<size_t>(m_commentTail.size(), 3));
    }
    m_offset += n;
}

// The fields of one complete item, read from its bytes (which start with its <li> tag).
class ItemReader {
public:
    explicit ItemReader(std::string_view item)
        : m_item(item)
    {
        m_scanner.scan(item, *this);
        m_scanner.end(*this);
    }

    void text(std::string_view piece)
    {
        if (m_field >= 0 && !m_scanner.inHiddenRawText())
            appendEscaped(m_raw[m_field], piece);
    }
    void tagStarted(size_t at) { m_tagAt = at; }
    void tagEnded(size_t after, std::string_view name, bool endTag)
    {
        const std::string_view tag = m_item.substr(m_tagAt, after - m_tagAt);
        if (m_firstTag.empty())
            m_firstTag = tag;
        if (name == "div") {
            if (m_field >= 0) {
                if (!endTag)
                    ++m_divDepth;
                else if (m_divDepth > 0)
                    --m_divDepth;
                else {
                    m_done[m_field] = true;
                    m_field = -1;
                }
            } else if (!endTag) {
                static constexpr std::array<std::string_view, 3> classes = {"title", "price", "location"};
                for (int f = 0; f < 3; ++f) {
                    if (!m_done[f] && hasClass(tag, classes[f])) {
                        m_field = f;
                        m_divDepth = 0;
                        break;
                    }
                }
            }
        } else if (name == "a" && !endTag && !m_link) {
            const std::string_view href = trimBlanks(attribute(tag, "href").value_or(""));
            if (!href.empty())
                m_link = href;
        }
    }

    bool toAd(ListedAd& ad) const
    {
        if (!m_link)
            return false;
        ad.link = std::string(*m_link);
        ad.title = foldBlanks(m_raw[0]);
        if (ad.title.empty()) {
            std::string escaped;
            appendEscaped(escaped, attribute(m_firstTag, "title").value_or(""));
            ad.title = foldBlanks(escaped);
        }
        ad.price = foldBlanks(m_raw[1]);
        ad.place = foldBlanks(m_raw[2]);
        return true;
    }

private:
    std::string_view m_item;
    HtmlScanner m_scanner;
    std::string_view m_firstTag;
    size_t m_tagAt = 0;
    int m_field = -1; // the field whose div is being read: title, price, place
    int m_divDepth = 0;
    std::array<std::string, 3> m_raw;
    std::array<bool, 3> m_done = {false, false, false};
    std::optional<std::string_view> m_link;
};

// Finds the list's opening tag in one line read on its own.
class ListTagFinder {
public:
    explicit ListTagFinder(std::string_view line)
        : m_line(line)
    {
        HtmlScanner scanner;
        scanner.scan(line, *this);
        // The tag may go on on the next line; the class it has so far decides.
        if (found == std::string_view::npos && scanner.insideStartTag("ol")
            && hasClass(line.substr(m_tagAt), adListClass))
            found = m_tagAt;
    }
    void text(std::string_view) { }
    void tagStarted(size_t at) { m_tagAt = at; }
    void tagEnded(size_t after, std::string_view name, bool endTag)
    {
        if (found == std::string_view::npos && name == "ol" && !endTag
            && hasClass(m_line.substr(m_tagAt, after - m_tagAt), adListClass))
            found = m_tagAt;
    }

    size_t found = std::string_view::npos;

private:
    std::string_view m_line;
    size_t m_tagAt = 0;
};

} // namespace

size_t adListStart(std::string_view line)
{
    if (line.find(adListClass) == std::string_view::npos)
        return std::string_view::npos;
    return ListTagFinder(line).found;
}

// The list is read as one stream of tags. Bytes go to the current item while one is read (up to its limit),
// else to the tag being read, else nowhere; only <ol> and <li> tags at the list's own depth steer anything.
struct AdListReader::Reading {
    Reading(AdListReader& owner, std::function<void(const ListedAd&)> handler)
        : reader(owner)
        , onAd(std::move(handler))
    {
    }

    AdListReader& reader;
    std::function<void(const ListedAd&)> onAd;
    HtmlScanner scanner;
    std::string_view piece; // the piece being scanned
    size_t pieceAt = 0; // its offset in the stream
    size_t streamed = 0; // the stream's bytes so far
    size_t given = 0; // the bytes before this offset went where they belong
    std::string undecided; // the bytes from `given` on that earlier pieces left for the scanner to decide
    std::string item;
    std::string tag; // the tag being read, when no item takes it
    size_t tagStart = 0; // where the tag being read starts in item
    bool inTag = false;
    bool tagTooLong = false;
    bool inItem = false;
    bool itemIsAd = false;
    bool itemTooLong = false;
    bool started = false;
    int depth = 0;

    bool collectingItem() const { return inItem && !itemTooLong; }

    void feed(std::string_view text)
    {
        piece = text;
        pieceAt = streamed;
        scanner.scan(text, *this);
        streamed += text.size();
        // A "<" at the piece's end (or an end tag cut short) is a tag's start or text: the next piece says which,
        // and its bytes go nowhere until then.
        keepUpTo(std::min(scanner.undecidedFrom(), streamed));
        std::string left;
        if (given < pieceAt)
            left.assign(undecided, undecided.size() - (pieceAt - given));
        left.append(piece.substr(std::max(given, pieceAt) - pieceAt));
        undecided.swap(left);
        // Every byte not given yet is in `undecided` now; the piece itself is the caller's and goes.
        piece = {};
        pieceAt = streamed;
    }

    // The stream's bytes up to offset `to` go where they belong: the undecided ones of earlier pieces first.
    void keepUpTo(size_t to)
    {
        if (to <= given)
            return;
        if (given < pieceAt) {
            const size_t heldFrom = pieceAt - undecided.size();
            const size_t upTo = std::min(to, pieceAt);
            give(std::string_view(undecided).substr(given - heldFrom, upTo - given));
            given = upTo;
        }
        if (to > given) {
            give(piece.substr(given - pieceAt, to - given));
            given = to;
        }
    }

    void give(std::string_view bytes)
    {
        if (collectingItem()) {
            if (item.size() + bytes.size() <= maximumItemBytes) {
                item.append(bytes);
                return;
            }
            itemTooLong = true;
            if (inTag) { // the tag goes on being read for the list's sake
                tag.assign(item, tagStart);
                tagTooLong = false;
            }
            item.clear();
            item.shrink_to_fit();
        }
        if (!inTag || tagTooLong)
            return;
        if (tag.size() + bytes.size() <= maximumItemBytes) {
            tag.append(bytes);
        } else {
            tagTooLong = true;
            tag.clear();
        }
    }

    void text(std::string_view) { }

    void tagStarted(size_t at)
    {
        keepUpTo(at);
        inTag = true;
        if (collectingItem()) {
            tagStart = item.size();
        } else {
            tag.clear();
            tagTooLong = false;
        }
    }

    void tagEnded(size_t after, std::string_view name, bool endTag)
    {
        keepUpTo(after);
        inTag = false;
        if (reader.m_listEnded)
            return;
        const bool tagInItem = collectingItem();
        const std::string_view bytes = tagInItem ? std::string_view(item).substr(tagStart) : std::string_view(tag);
        if (name == "ol") {
            if (!endTag && depth == 0) {
                if (!tagTooLong && hasClass(bytes, adListClass))
                    depth = 1;
            } else if (!endTag) {
                ++depth;
            } else if (depth == 1) {
                endItem();
                depth = 0;
                reader.m_listEnded = true;
            } else if (depth > 1) {
                --depth;
            }
        } else if (name == "li" && depth == 1) {
            if (endTag)
                endItem();
            else
                startItem(tagInItem);
        }
    }

    // A new item begins with the <li> tag just read: an item still open ends where that tag starts.
    void startItem(bool tagInItem)
    {
        if (tagInItem) {
            takeItem(std::string_view(item).substr(0, tagStart));
            item.erase(0, tagStart); // leaves the tag alone
        } else {
            item.assign(tagTooLong ? std::string_view() : std::string_view(tag));
        }
        inItem = true;
        itemTooLong = !tagInItem && tagTooLong;
        const bool seeAlso = !itemTooLong && hasClass(item, "cl-static-hub-links");
        itemIsAd = !itemTooLong && hasClass(item, "cl-static-search-result");
        if (seeAlso)
            reader.m_sawSeeAlso = true;
        else
            ++reader.m_itemCount;
    }

    // The item ends where the tag just read starts.
    void endItem()
    {
        if (collectingItem())
            takeItem(std::string_view(item).substr(0, tagStart));
        inItem = false;
        item.clear();
    }

    void takeItem(std::string_view bytes)
    {
        if (!inItem || itemTooLong || !itemIsAd)
            return;
        ListedAd ad;
        if (!ItemReader(bytes).toAd(ad))
            return;
        ++reader.m_adCount;
        onAd(ad);
    }
};

AdListReader::AdListReader(std::function<void(const ListedAd&)> onAd)
    : m_reading(std::make_unique<Reading>(*this, std::move(onAd)))
{
}

AdListReader::~AdListReader() = default;

void AdListReader::feedLine(std::string_view line)
{
    feedPiece(line, true);
}

void AdListReader::feedPiece(std::string_view piece, bool lineEnded)
{
    if (m_listEnded)
        return;
    if (!m_reading->started) {
        // The list's own tag: read from there on, so that the items sharing its line are read too.
        m_reading->started = true;
        const size_t at = adListStart(piece);
        piece.remove_prefix(at == std::string_view::npos ? 0 : at);
    }
    m_reading->feed(piece);
    if (lineEnded)
        m_reading->feed("\n");
}

void AdListReader::finish()
{
    m_reading->keepUpTo(m_reading->streamed); // a "<" left undecided at the end is the item's text
    if (!m_listEnded && m_reading->collectingItem()) {
        m_reading->takeItem(m_reading->item);
        m_reading->inItem = false;
    }
    m_listEnded = true;
    m_reading->item = std::string();
    m_reading->tag = std::string();
}

std::string foldBlanks(std::string_view text)
{
    std::string folded;
    folded.reserve(text.size());
    bool blankPending = false;
    for (char c : text) {
        if (isBlank(c)) {
            blankPending = !folded.empty();
            continue;
        }
        if (blankPending)
            folded.push_back(' ');
        blankPending = false;
        folded.push_back(c);
    }
    return folded;
}

std::string htmlToText(std::string_view safeHtml)
{
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 6> named = {{
        {"amp", "&"},
        {"lt", "<"},
        {"gt", ">"},
        {"quot", "\""},
        {"apos", "'"},
        {"nbsp", "\xC2\xA0"},
    }};
    std::string text;
    text.reserve(safeHtml.size());
    for (size_t i = 0; i < safeHtml.size(); ++i) {
        const size_t length = safeHtml[i] == '&' ? entityLength(safeHtml, i) : 0;
        if (length == 0) {
            text.push_back(safeHtml[i]);
            continue;
        }
        const std::string_view name = safeHtml.substr(i + 1, length - 2);
        if (name.front() == '#') {
            const bool hex = name.size() > 1 && lower(name[1]) == 'x';
            unsigned long code = 0;
            for (char c : name.substr(hex ? 2 : 1)) {
                const unsigned digit = isDigit(c) ? unsigned(c - '0') : unsigned(lower(c) - 'a' + 10);
                code = std::min(code * (hex ? 16 : 10) + digit, 0x110000UL);
            }
            if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
                code = 0xFFFD;
            if (code < 0x80) {
                text.push_back(static_cast<char>(code));
            } else if (code < 0x800) {
                text.push_back(static_cast<char>(0xC0 | (code >> 6)));
                text.push_back(static_cast<char>(0x80 | (code & 0x3F)));
            } else if (code < 0x10000) {
                text.push_back(static_cast<char>(0xE0 | (code >> 12)));
                text.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
                text.push_back(static_cast<char>(0x80 | (code & 0x3F)));
            } else {
                text.push_back(static_cast<char>(0xF0 | (code >> 18)));
                text.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
                text.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
                text.push_back(static_cast<char>(0x80 | (code & 0x3F)));
            }
            i += length - 1;
            continue;
        }
        const auto known = std::find_if(named.begin(), named.end(), [&](const auto& e) { return e.first == name; });
        if (known == named.end()) {
            text.push_back('&'); // kept as it stands
            continue;
        }
        text += known->second;
        i += length - 1;
    }
    return text;
}

std::optional<std::string> absoluteAdLink(std::string_view link, std::string_view scheme, std::string_view cityHost)
{
    link = trimBlanks(link);
    // A control byte has no place in a link; browsers drop some of them silently, which could hide a scheme.
    if (std::any_of(link.begin(), link.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }))
        return std::nullopt;
    std::string absolute;
    if (link.starts_with("//"))
        absolute = std::string(scheme) + ":";
    else if (link.starts_with("/"))
        absolute = std::string(scheme) + "://" + std::string(cityHost);
    else if (!equalsIgnoringCase(link.substr(0, 5), "http:") && !equalsIgnoringCase(link.substr(0, 6), "https:"))
        return std::nullopt;
    for (char c : link) {
        if (c == '"')
            absolute += "&quot;";
        else
            absolute.push_back(c);
    }
    return absolute;
}

static std::string linkedTitle(const std::optional<std::string>& absoluteLink, std::string_view title)
{
    if (!absoluteLink)
        return std::string(title);
    return "<a href=\"" + *absoluteLink + "\">" + std::string(title) + "</a>";
}

std::string adItemHtml(const ListedAd& ad, const std::optional<std::string>& absoluteLink, std::string_view picture,
                       bool newMark)
{
    std::string html = "<p class=\"ad\">";
    if (!picture.empty())
        html += "<img src=\"" + std::string(picture) + "\" loading=\"lazy\" alt=\"\"> ";
    if (newMark)
        html += "<b>NEW</b> ";
    html += linkedTitle(absoluteLink, ad.title);
    if (!ad.price.empty())
        html += " " + ad.price;
    if (!ad.place.empty())
        html += " (" + ad.place + ")";
    return html + "</p>";
}

std::string alsoUnderHtml(std::string_view cityCodeUpper, const std::optional<std::string>& absoluteLink,
                          std::string_view title)
{
    return "<p class=\"also\">Also under " + std::string(cityCodeUpper) + ": " + linkedTitle(absoluteLink, title)
        + "</p>";
}

std::uint64_t adFingerprint(const ListedAd& ad)
{
    std::uint64_t hash = 14695981039346656037ULL;
    auto add = [&](char c) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ULL;
    };
    // Bytes of UTF-8 sequences count as letters: a title in another script is not all punctuation.
    bool blankPending = false;
    bool any = false;
    for (char c : htmlToText(ad.title)) {
        if (!isLetter(c) && !isDigit(c) && static_cast<unsigned char>(c) < 0x80) {
            blankPending = any;
            continue;
        }
        if (blankPending)
            add(' ');
        blankPending = false;
        any = true;
        add(lower(c));
    }
    add('\x1F'); // keeps "ab" + "1" apart from "a" + "b1"
    for (char c : htmlToText(ad.price))
        add(c);
    return hash;
}

std::vector<std::string> excludedWords(std::string_view words)
{
    std::vector<std::string> excluded;
    size_t at = 0;
    while (at < words.size()) {
        while (at < words.size() && isBlank(words[at]))
            ++at;
        size_t end = at;
        while (end < words.size() && !isBlank(words[end]))
            ++end;
        const std::string_view word = words.substr(at, end - at);
        if (word.size() > 1 && word.front() == '-') {
            std::string lowered;
            for (char c : word.substr(1))
                lowered.push_back(lower(c));
            if (std::find(excluded.begin(), excluded.end(), lowered) == excluded.end())
                excluded.push_back(std::move(lowered));
        }
        at = end;
    }
    return excluded;
}

bool hasExcludedWord(std::string_view titleText, const std::vector<std::string>& excluded)
{
    if (excluded.empty())
        return false;
    std::string lowered;
    lowered.reserve(titleText.size());
    for (char c : titleText)
        lowered.push_back(lower(c));
    return std::any_of(excluded.begin(), excluded.end(),
                       [&](const std::string& word) { return lowered.find(word) != std::string::npos; });
}

std::string_view postIdOf(std::string_view link)
{
    link = link.substr(0, std::min(link.find('?'), link.find('#')));
    while (link.ends_with("/"))
        link.remove_suffix(1);
    const size_t slash = link.rfind('/');
    std::string_view id = slash == std::string_view::npos ? link : link.substr(slash + 1);
    if (id.ends_with(".html"))
        id.remove_suffix(5);
    return id;
}

} // namespace search

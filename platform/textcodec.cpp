#include "platform/textcodec.h"

#include "platform/htmltag.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <vector>

namespace platform {

QString toWidgetText(const std::string& bytes)
{
    return QString::fromLocal8Bit(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string fromWidgetText(const QString& text)
{
    return text.toLocal8Bit().toStdString();
}

namespace {

// A character set as browsers know it: its canonical name, the name the C library's converter knows it by, and
// the labels a page may declare it with (lower case).
struct Charset {
    const char* name;
    const char* converterName;
    std::vector<std::string_view> labels;
};

const std::vector<Charset>& charsets()
{
    // The browsers' own table of labels; a Latin-1 or ASCII label means windows-1252 to them, and Shift_JIS is
    // Microsoft's code page 932 (backslash and tilde as in ASCII).
    static const std::vector<Charset> table = {
        {"UTF-8", "UTF-8", {"utf-8", "utf8", "unicode-1-1-utf-8", "unicode11utf8", "unicode20utf8", "x-unicode20utf8"}},
        {"windows-1252",
         "CP1252",
         {"windows-1252", "cp1252", "x-cp1252", "iso-8859-1", "iso8859-1", "iso88591", "iso_8859-1", "iso_8859-1:1987",
          "latin1", "l1", "us-ascii", "ascii", "ansi_x3.4-1968", "cp819", "ibm819", "iso-ir-100", "csisolatin1"}},
        {"IBM866", "IBM866", {"ibm866", "866", "cp866", "csibm866"}},
        {"ISO-8859-2",
         "ISO-8859-2",
         {"iso-8859-2", "iso8859-2", "iso88592", "iso_8859-2", "latin2", "l2", "csisolatin2"}},
        {"ISO-8859-3",
         "ISO-8859-3",
         {"iso-8859-3", "iso8859-3", "iso88593", "iso_8859-3", "latin3", "l3", "csisolatin3"}},
        {"ISO-8859-4",
         "ISO-8859-4",
         {"iso-8859-4", "iso8859-4", "iso88594", "iso_8859-4", "latin4", "l4", "csisolatin4"}},
        {"ISO-8859-5",
         "ISO-8859-5",
         {"iso-8859-5", "iso8859-5", "iso88595", "iso_8859-5", "cyrillic", "csisolatincyrillic"}},
        {"ISO-8859-6",
         "ISO-8859-6",
         {"iso-8859-6", "iso8859-6", "iso88596", "iso_8859-6", "arabic", "csisolatinarabic"}},
        {"ISO-8859-7",
         "ISO-8859-7",
         {"iso-8859-7", "iso8859-7", "iso88597", "iso_8859-7", "greek", "greek8", "csisolatingreek"}},
        {"ISO-8859-8",
         "ISO-8859-8",
         {"iso-8859-8", "iso8859-8", "iso88598", "iso_8859-8", "hebrew", "csisolatinhebrew"}},
        {"ISO-8859-8-I", "ISO-8859-8", {"iso-8859-8-i", "csiso88598i", "logical"}},
        {"ISO-8859-10", "ISO-8859-10", {"iso-8859-10", "iso8859-10", "iso885910", "latin6", "l6", "csisolatin6"}},
        {"ISO-8859-13", "ISO-8859-13", {"iso-8859-13", "iso8859-13", "iso885913"}},
        {"ISO-8859-14", "ISO-8859-14", {"iso-8859-14", "iso8859-14", "iso885914"}},
        {"ISO-8859-15",
         "ISO-8859-15",
         {"iso-8859-15", "iso8859-15", "iso885915", "iso_8859-15", "latin9", "l9", "csisolatin9"}},
        {"ISO-8859-16", "ISO-8859-16", {"iso-8859-16"}},
        {"KOI8-R", "KOI8-R", {"koi8-r", "koi8_r", "koi8", "koi", "cskoi8r"}},
        {"KOI8-U", "KOI8-U", {"koi8-u", "koi8-ru"}},
        {"macintosh", "MACINTOSH", {"macintosh", "mac", "x-mac-roman", "csmacintosh"}},
        {"windows-874", "CP874", {"windows-874", "dos-874", "iso-8859-11", "iso8859-11", "iso885911", "tis-620"}},
        {"windows-1250", "CP1250", {"windows-1250", "cp1250", "x-cp1250"}},
        {"windows-1251", "CP1251", {"windows-1251", "cp1251", "x-cp1251"}},
        {"windows-1253", "CP1253", {"windows-1253", "cp1253", "x-cp1253"}},
        {"windows-1254",
         "CP1254",
         {"windows-1254", "cp1254", "x-cp1254", "iso-8859-9", "iso8859-9", "iso88599", "iso_8859-9", "latin5", "l5",
          "csisolatin5"}},
        {"windows-1255", "CP1255", {"windows-1255", "cp1255", "x-cp1255"}},
        {"windows-1256", "CP1256", {"windows-1256", "cp1256", "x-cp1256"}},
        {"windows-1257", "CP1257", {"windows-1257", "cp1257", "x-cp1257"}},
        {"windows-1258", "CP1258", {"windows-1258", "cp1258", "x-cp1258"}},
        {"x-mac-cyrillic", "MAC-CYRILLIC", {"x-mac-cyrillic", "x-mac-ukrainian"}},
        {"GBK",
         "GBK",
         {"gbk", "gb2312", "gb_2312", "gb_2312-80", "chinese", "csgb2312", "csiso58gb231280", "iso-ir-58", "x-gbk"}},
        {"gb18030", "GB18030", {"gb18030"}},
        {"Big5", "BIG5-HKSCS", {"big5", "big5-hkscs", "cn-big5", "csbig5", "x-x-big5"}},
        {"EUC-JP", "EUC-JP", {"euc-jp", "x-euc-jp", "cseucpkdfmtjapanese"}},
        {"ISO-2022-JP", "ISO-2022-JP", {"iso-2022-jp", "csiso2022jp"}},
        {"Shift_JIS",
         "CP932",
         {"shift_jis", "shift-jis", "sjis", "x-sjis", "ms932", "ms_kanji", "csshiftjis", "windows-31j"}},
        {"EUC-KR",
         "CP949",
         {"euc-kr", "cseuckr", "csksc56011987", "iso-ir-149", "korean", "ks_c_5601-1987", "ks_c_5601-1989", "ksc5601",
          "ksc_5601", "windows-949"}},
    };
    return table;
}

std::string lowerAscii(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

const Charset* charsetOfLabel(std::string_view label)
{
    while (!label.empty() && isHtmlSpace(label.front()))
        label.remove_prefix(1);
    while (!label.empty() && isHtmlSpace(label.back()))
        label.remove_suffix(1);
    const std::string lower = lowerAscii(label);
    // A page can't really be UTF-16 when its declaration could be read as ASCII; browsers take UTF-8 then.
    if (lower == "utf-16" || lower == "utf-16le" || lower == "utf-16be")
        return &charsets().front();
    for (const Charset& set : charsets()) {
        if (std::find(set.labels.begin(), set.labels.end(), lower) != set.labels.end())
            return &set;
    }
    return nullptr;
}

// The charset named in a Content-Type value ("text/html; charset=windows-1251"), or empty.
std::string_view charsetInContentType(std::string_view content)
{
    const std::string lower = lowerAscii(content);
    size_t at = 0;
    while ((at = lower.find("charset", at)) != std::string::npos) {
        size_t i = at + 7;
        while (i < content.size() && isHtmlSpace(content[i]))
            ++i;
        if (i >= content.size() || content[i] != '=') {
            at = i;
            continue;
        }
        ++i;
        while (i < content.size() && isHtmlSpace(content[i]))
            ++i;
        if (i < content.size() && (content[i] == '"' || content[i] == '\'')) {
            const size_t end = content.find(content[i], i + 1);
            return end == std::string_view::npos ? std::string_view() : content.substr(i + 1, end - i - 1);
        }
        size_t end = i;
        while (end < content.size() && !isHtmlSpace(content[end]) && content[end] != ';')
            ++end;
        return content.substr(i, end - i);
    }
    return {};
}

// The first <meta> before the body that declares a charset the program knows, much as a browser looks for one.
const Charset* declaredCharset(std::string_view html)
{
    const std::string lower = lowerAscii(html);
    const size_t end = std::min(lower.find("<body"), lower.size());
    size_t i = 0;
    while ((i = lower.find('<', i)) < end) {
        if (lower.compare(i, 4, "<!--") == 0) {
            const size_t close = lower.find("-->", i + 4);
            if (close == std::string::npos)
                return nullptr;
            i = close + 3;
            continue;
        }
        if (lower.compare(i, 5, "<meta") != 0 || i + 5 >= lower.size()
            || !(isHtmlSpace(lower[i + 5]) || lower[i + 5] == '/')) {
            ++i;
            continue;
        }
        // Names are compared in lower case; values are taken as they stand.
        std::string_view charset, httpEquiv, content;
        i = forEachTagAttribute(html, i, [&](std::string_view name, std::string_view value) {
            const std::string lowerName = lowerAscii(name);
            if (lowerName == "charset" && charset.empty())
                charset = value;
            else if (lowerName == "http-equiv")
                httpEquiv = value;
            else if (lowerName == "content")
                content = value;
        });
        if (charset.empty() && lowerAscii(httpEquiv) == "content-type")
            charset = charsetInContentType(content);
        if (!charset.empty()) {
            if (const Charset* set = charsetOfLabel(charset))
                return set;
        }
    }
    return nullptr;
}

bool isValidUtf8(std::string_view bytes)
{
    size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        size_t length = 0;
        unsigned char low = 0x80, high = 0xBF; // the allowed range of the second byte
        if (lead < 0x80) {
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80; // no overlong forms
            high = lead == 0xED ? 0x9F : 0xBF; // no surrogates
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF; // nothing past U+10FFFF
        } else {
            return false;
        }
        if (i + length > bytes.size())
            return false;
        for (size_t k = 1; k < length; ++k) {
            const auto c = static_cast<unsigned char>(bytes[i + k]);
            if (c < (k == 1 ? low : 0x80) || c > (k == 1 ? high : 0xBF))
                return false;
        }
        i += length;
    }
    return true;
}

// The code point of the UTF-8 sequence at text[at] and its length in bytes; the text is valid UTF-8.
std::pair<char32_t, size_t> codePointAt(std::string_view text, size_t at)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t value = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t k = 1; k < length && at + k < text.size(); ++k)
        value = (value << 6) | (static_cast<unsigned char>(text[at + k]) & 0x3F);
    return {value, std::min(length, text.size() - at)};
}

} // namespace

std::string documentCharset(std::string_view html)
{
    if (const Charset* set = declaredCharset(html))
        return set->name;
    return isValidUtf8(html) ? "UTF-8" : "windows-1252";
}

std::string encodeForCharset(const QString& text, const QString& charset)
{
    const QByteArray utf8 = text.toUtf8();
    const Charset* set = charsetOfLabel(charset.toStdString());
    if (!set || set == &charsets().front())
        return utf8.toStdString();
    iconv_t converter = ::iconv_open(set->converterName, "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1))
        return utf8.toStdString();

    const std::string_view input(utf8.constData(), static_cast<size_t>(utf8.size()));
    std::string out(input.size() + 16, '\0');
    size_t written = 0;
    size_t consumed = 0;
    auto convert = [&](bool flush) {
        for (;;) {
            char* in = const_cast<char*>(input.data() + consumed);
            size_t inLeft = input.size() - consumed;
            char* next = out.data() + written;
            size_t outLeft = out.size() - written;
            const size_t result = flush ? ::iconv(converter, nullptr, nullptr, &next, &outLeft)
                                        : ::iconv(converter, &in, &inLeft, &next, &outLeft);
            const int error = errno;
            written = static_cast<size_t>(next - out.data());
            if (!flush)
                consumed = input.size() - inLeft;
            if (result != static_cast<size_t>(-1))
                return true;
            if (error != E2BIG)
                return false; // a character the set can't hold
            out.resize(out.size() * 2 + 16);
        }
    };
    while (!convert(false)) {
        if (consumed >= input.size())
            break;
        // Back to the set's initial state (ISO-2022-JP shifts), then the character in a form that keeps it.
        convert(true);
        const auto [codePoint, length] = codePointAt(input, consumed);
        std::string kept = codePoint >= 0x80 && codePoint <= 0x9F
            ? std::string(1, static_cast<char>(codePoint))
            : "&#" + std::to_string(static_cast<unsigned long>(codePoint)) + ";";
        out.resize(std::max(out.size(), written + kept.size() + 16));
        std::memcpy(out.data() + written, kept.data(), kept.size());
        written += kept.size();
        consumed += length;
    }
    convert(true);
    ::iconv_close(converter);
    out.resize(written);
    return out;
}

QString decodeFromCharset(std::string_view bytes, const std::string& charset)
{
    const Charset* set = charsetOfLabel(charset);
    if (!set || set == &charsets().front())
        return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    iconv_t converter = ::iconv_open("UTF-8", set->converterName);
    if (converter == reinterpret_cast<iconv_t>(-1))
        return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    std::string out;
    char chunk[1024];
    size_t consumed = 0;
    while (consumed < bytes.size()) {
        char* in = const_cast<char*>(bytes.data() + consumed);
        size_t inLeft = bytes.size() - consumed;
        char* next = chunk;
        size_t outLeft = sizeof chunk;
        const size_t result = ::iconv(converter, &in, &inLeft, &next, &outLeft);
        const int error = errno;
        out.append(chunk, static_cast<size_t>(next - chunk));
        consumed = bytes.size() - inLeft;
        if (result != static_cast<size_t>(-1) || error == E2BIG)
            continue;
        // A byte the set leaves undefined (EILSEQ) or a sequence cut off at the end (EINVAL): one character for it.
        const auto u = static_cast<unsigned char>(bytes[consumed]);
        out += u >= 0x80 && u <= 0x9F ? QString(QChar(u)).toUtf8().toStdString() : "\xEF\xBF\xBD";
        ++consumed;
        ::iconv(converter, nullptr, nullptr, nullptr, nullptr); // back to the initial shift state
    }
    ::iconv_close(converter);
    return QString::fromUtf8(out.data(), static_cast<qsizetype>(out.size()));
}

} // namespace platform

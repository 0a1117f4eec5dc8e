#include "mail/message.h"

#include "platform/mimetypes.h"

#include <algorithm>
#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <new>
#include <random>
#include <utility>

namespace mail {

namespace {

constexpr char base64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Two output characters for every 12 input bits, so a 3-byte group is two lookups instead of four.
constexpr std::array<char, 2 * 4096> base64Pairs = [] {
    std::array<char, 2 * 4096> table{};
    for (int i = 0; i < 4096; ++i) {
        table[2 * i] = base64Alphabet[i >> 6];
        table[2 * i + 1] = base64Alphabet[i & 63];
    }
    return table;
}();

constexpr size_t base64Size(size_t bytes)
{
    return (bytes + 2) / 3 * 4;
}

// Writes base64Size(bytes.size()) characters at out.
void encodeBase64Into(std::string_view bytes, char* out)
{
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    const unsigned char* const wholeEnd = in + bytes.size() / 3 * 3;
    const char* const pairs = base64Pairs.data();
    for (; in != wholeEnd; in += 3, out += 4) {
        const uint32_t group = (uint32_t(in[0]) << 16) | (uint32_t(in[1]) << 8) | uint32_t(in[2]);
        std::memcpy(out, pairs + 2 * (group >> 12), 2);
        std::memcpy(out + 2, pairs + 2 * (group & 0xfff), 2);
    }
    switch (bytes.size() % 3) {
    case 1: {
        const uint32_t group = uint32_t(in[0]) << 16;
        out[0] = base64Alphabet[group >> 18];
        out[1] = base64Alphabet[(group >> 12) & 63];
        out[2] = '=';
        out[3] = '=';
        break;
    }
    case 2: {
        const uint32_t group = (uint32_t(in[0]) << 16) | (uint32_t(in[1]) << 8);
        out[0] = base64Alphabet[group >> 18];
        out[1] = base64Alphabet[(group >> 12) & 63];
        out[2] = base64Alphabet[(group >> 6) & 63];
        out[3] = '=';
        break;
    }
    default:
        break;
    }
}

// Big outputs are written once from start to end; with 4 kB pages the page faults cost more than the encoding.
void adviseHugePages([[maybe_unused]] char* begin, [[maybe_unused]] size_t size)
{
#ifdef MADV_HUGEPAGE
    constexpr size_t hugePage = size_t(2) << 20;
    if (size < 2 * hugePage)
        return;
    const auto pageSize = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto first = (reinterpret_cast<uintptr_t>(begin) + pageSize - 1) & ~(pageSize - 1);
    const auto last = (reinterpret_cast<uintptr_t>(begin) + size) & ~(pageSize - 1);
    if (last > first)
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE); // only advice; failure is harmless
#endif
}

// 57 bytes make one 76-character base64 line.
constexpr size_t base64LineBytes = 57;
constexpr size_t base64LineBreaksSize(size_t bytes)
{
    return bytes == 0 ? 0 : 2 * ((bytes - 1) / base64LineBytes);
}

const char* const boundaryLine = "--MyBoundary\r\n";
const char* const closingBoundary = "--MyBoundary--";
const char* const plainTextHeaders = "Content-Type: text/plain; charset=us-ascii\r\n"
                                     "Content-Transfer-Encoding: 7bit\r\n"
                                     "\r\n";
// The windows give their text in the locale's encoding, which Qt takes to be UTF-8 on this platform.
const char* const quotedTextHeaders = "Content-Type: text/plain; charset=UTF-8\r\n"
                                      "Content-Transfer-Encoding: quoted-printable\r\n"
                                      "\r\n";

// RFC 5321: no line of the message may pass 998 bytes before its CR LF.
constexpr size_t longestLine = 998;
// RFC 5322 asks header lines to stay within 78 characters.
constexpr size_t headerLineLimit = 78;
// RFC 2045: quoted-printable lines of at most 76 characters, the soft break "=" included.
constexpr size_t quotedLineLimit = 76;

constexpr char hexDigits[] = "0123456789ABCDEF";

bool isLineBreak(char c)
{
    return c == '\r' || c == '\n';
}

// Printable US-ASCII: what a header or a 7bit line may hold besides tabs.
bool isPrintableAscii(unsigned char c)
{
    return c >= 32 && c <= 126;
}

// A UTF-8 continuation byte: never the first byte of a character.
bool isContinuationByte(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}

// Room for one part's fixed header text and its content type, besides the file name in its encoded forms.
constexpr size_t partHeaderRoom = 256;

// RFC 2231's attribute-char: what a parameter value may hold without percent-encoding.
bool isAttributeChar(unsigned char c)
{
    return isPrintableAscii(c) && c != ' ' && !std::strchr("*'%()<>@,;:\\\"/[]?=", c);
}

// A name that goes into a quoted parameter as it is: printable ASCII without quote or backslash. Readers decode
// "=?" in a quoted name as an encoded word, so such a name takes RFC 2231's form.
bool isPlainParameterValue(const std::string& name)
{
    if (name.find("=?") != std::string::npos)
        return false;
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (!isPrintableAscii(u) || c == '"' || c == '\\')
            return false;
    }
    return true;
}

// The name as plain ASCII for Content-Type's name=, which older readers look at: every character that can't
// stand in a quoted parameter becomes "_", and a long name is cut to fit its header line, extension kept.
std::string asciiFallbackName(const std::string& name)
{
    std::string fallback;
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (isContinuationByte(u))
            continue; // one "_" for the whole character, from its first byte
        const bool encodedWordStart = c == '?' && !fallback.empty() && fallback.back() == '=';
        fallback += isPrintableAscii(u) && c != '"' && c != '\\' && !encodedWordStart ? c : '_';
    }
    constexpr size_t room = headerLineLimit - std::char_traits<char>::length(" name=\"\"");
    if (fallback.size() > room) {
        const size_t dot = fallback.rfind('.');
        const std::string extension
            = dot != std::string::npos && fallback.size() - dot <= 10 ? fallback.substr(dot) : "";
        fallback = fallback.substr(0, room - extension.size()) + extension;
    }
    return fallback;
}

// Content-Disposition with the name encoded by RFC 2231 alone, in continuations when long, so the exact name
// comes back whatever bytes it holds.
std::string encodedDisposition(const std::string& name)
{
    std::string encoded;
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (isAttributeChar(u)) {
            encoded += c;
        } else {
            encoded += '%';
            encoded += hexDigits[u >> 4];
            encoded += hexDigits[u & 15];
        }
    }
    std::string header = "Content-Disposition: Attachment;\r\n";
    const std::string single = " filename*=UTF-8''" + encoded;
    if (single.size() <= headerLineLimit)
        return header + single + "\r\n";
    // Pieces of about 50 characters, never splitting a "%XX".
    constexpr size_t pieceSize = 50;
    size_t at = 0;
    for (int index = 0; at < encoded.size(); ++index) {
        size_t end = std::min(encoded.size(), at + pieceSize);
        if (end < encoded.size()) {
            if (encoded[end - 1] == '%')
                end -= 1;
            else if (encoded[end - 2] == '%')
                end -= 2;
        }
        header += " filename*" + std::to_string(index) + "*=" + (index == 0 ? "UTF-8''" : "")
            + encoded.substr(at, end - at) + (end < encoded.size() ? ";\r\n" : "\r\n");
        at = end;
    }
    return header;
}

// The header lines of one attachment part, from its boundary line to the empty line before the base64 text.
std::string attachmentPartHeaders(const std::string& contentType, const std::string& fileName)
{
    std::string headers = boundaryLine;
    if (isPlainParameterValue(fileName)) {
        headers += "Content-Type: " + contentType + "; name=\"" + fileName + "\"\r\n";
        headers += "Content-Transfer-Encoding: base64\r\n";
        headers += "Content-Disposition: Attachment; filename=\"" + fileName + "\"\r\n";
    } else {
        headers += "Content-Type: " + contentType + ";\r\n name=\"" + asciiFallbackName(fileName) + "\"\r\n";
        headers += "Content-Transfer-Encoding: base64\r\n";
        headers += encodedDisposition(fileName);
    }
    headers += "\r\n";
    return headers;
}

// The text goes out as typed only when it is US-ASCII in lines of at most 998 bytes, and no line could be taken
// for the boundary of the parts.
bool needsQuotedPrintable(std::string_view text)
{
    size_t lineStart = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto u = static_cast<unsigned char>(text[i]);
        if (isLineBreak(text[i])) {
            lineStart = i + 1;
            continue;
        }
        if (!isPrintableAscii(u) && u != '\t')
            return true;
        if (i - lineStart >= longestLine)
            return true;
        if (i == lineStart && text.compare(i, 12, "--MyBoundary") == 0)
            return true;
    }
    return false;
}

// Encoded words of at most 42 bytes of text each (56 base64 characters), cut between UTF-8 characters.
std::string encodedWordsHeader(const std::string& label, const std::string& text)
{
    constexpr size_t wordBytes = 42;
    std::string header = label;
    size_t at = 0;
    do {
        size_t end = std::min(text.size(), at + wordBytes);
        // Back off to the start of a character cut in two; a run of stray continuation bytes is cut anywhere.
        size_t start = end;
        while (end < text.size() && start > at && isContinuationByte(static_cast<unsigned char>(text[start])))
            --start;
        if (start > at && end < text.size() && isContinuationByte(static_cast<unsigned char>(text[end])))
            end = start;
        if (at > 0)
            header += "\r\n ";
        header += "=?UTF-8?B?" + base64Encode(std::string_view(text).substr(at, end - at)) + "?=";
        at = end;
    } while (at < text.size());
    return header + "\r\n";
}

// The line folded before blanks into lines of at most 78 characters; empty when that can't be done.
std::string foldedHeader(const std::string& line)
{
    const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    std::string folded;
    size_t start = 0;
    while (line.size() - start > headerLineLimit) {
        // The last blank that keeps this line within the limit, with something besides blanks before it.
        size_t cut = start + headerLineLimit;
        while (cut > start && !(isBlank(line[cut]) && !isBlank(line[cut - 1])))
            --cut;
        if (cut == start)
            return {};
        folded += line.substr(start, cut - start) + "\r\n";
        start = cut;
    }
    const std::string rest = line.substr(start);
    if (rest.find_first_not_of(" \t") == std::string::npos)
        return {};
    return folded + rest + "\r\n";
}

// "To: " and the comma-separated list, folded after commas so that many recipients don't make a line that servers
// refuse (998 bytes) or pass 78 characters.
std::string recipientsHeader(const std::string& recipients)
{
    std::string header = "To: ";
    size_t lineStart = 0;
    size_t start = 0;
    for (bool first = true;; first = false) {
        const size_t comma = recipients.find(',', start);
        const std::string address
            = recipients.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (!first) {
            header += ',';
            if (header.size() - lineStart + address.size() > headerLineLimit) {
                header += "\r\n ";
                lineStart = header.size() - 1;
            }
        }
        header += address;
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return header + "\r\n";
}

std::function<std::string()>& messageIdSource()
{
    static std::function<std::string()> source;
    return source;
}

// 128 random bits in hex: unique without telling anything about the sender.
std::string randomMessageIdPart()
{
    std::random_device random;
    std::string part;
    for (int i = 0; i < 4; ++i) {
        char piece[9];
        std::snprintf(piece, sizeof piece, "%08x", static_cast<unsigned>(random()));
        part += piece;
    }
    return part;
}

// A whole file in one buffer of exactly its size; nothing when it can't be opened or read, or is empty.
struct FileBytes {
    std::unique_ptr<char[]> data;
    size_t size = 0;
};

FileBytes readWholeFile(const std::string& path)
{
    // A folder opens fine on Linux and may report any size at all, so only regular files count.
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return {};
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return {};
    file.seekg(0, std::ios::end);
    const std::streamoff end = file.tellg();
    if (end <= 0)
        return {};
    file.seekg(0, std::ios::beg);
    FileBytes bytes;
    bytes.size = static_cast<size_t>(end);
    try {
        bytes.data = std::make_unique_for_overwrite<char[]>(bytes.size);
    } catch (const std::bad_alloc&) {
        return {};
    }
    file.read(bytes.data.get(), static_cast<std::streamsize>(bytes.size));
    if (static_cast<size_t>(file.gcount()) != bytes.size)
        return {};
    return bytes;
}

// What the parts will need, from the sizes on disk; only a hint so the result grows once.
size_t attachmentPartsEstimate(const std::vector<std::string>& paths)
{
    size_t total = 0;
    for (const std::string& path : paths) {
        total += 2;
        std::error_code error;
        const auto size = std::filesystem::file_size(path, error);
        if (!error && size > 0)
            total += partHeaderRoom + 8 * path.size() + base64Size(size) + base64LineBreaksSize(size) + 2;
    }
    return total;
}

void appendAttachmentParts(std::string& out, const std::vector<std::string>& paths)
{
    for (const std::string& path : paths) {
        out += "\r\n";
        FileBytes bytes = readWholeFile(path);
        if (!bytes.data)
            continue;
        const std::string contentType = contentTypeForExtension(extensionOfPath(path));
        const std::string partHeaders = attachmentPartHeaders(contentType, fileNameOfPath(path));
        const size_t encodedSize = base64Size(bytes.size);
        // Normally already there from the estimate; growing here would copy everything composed so far. When the
        // memory can't be had the attachment is left out, as one whose file can't be read.
        try {
            out.reserve(out.size() + partHeaders.size() + encodedSize + base64LineBreaksSize(bytes.size) + 2);
        } catch (const std::bad_alloc&) {
            continue;
        }
        out += partHeaders;
        // Encoded straight into the message so a big file never exists as a separate base64 copy. Lines of 76
        // characters: SMTP servers refuse lines over 1000 bytes (RFC 5321), and MIME asks for 76 (RFC 2045).
        const size_t at = out.size();
        out.resize(at + encodedSize + base64LineBreaksSize(bytes.size));
        char* next = out.data() + at;
        for (size_t offset = 0; offset < bytes.size; offset += base64LineBytes) {
            const size_t count = std::min(base64LineBytes, bytes.size - offset);
            encodeBase64Into(std::string_view(bytes.data.get() + offset, count), next);
            next += base64Size(count);
            if (offset + base64LineBytes < bytes.size) {
                *next++ = '\r';
                *next++ = '\n';
            }
        }
        bytes = {};
        out += "\r\n";
    }
}

std::function<std::time_t()>& mailClock()
{
    static std::function<std::time_t()> clock;
    return clock;
}

std::time_t mailNow()
{
    const auto& clock = mailClock();
    return clock ? clock() : std::time(nullptr);
}

// The content headers, the text and the attachment parts, appended to out.
void appendContent(std::string& out, const std::string& bodyText, const std::vector<std::string>& attachments)
{
    const bool quoted = needsQuotedPrintable(bodyText);
    const std::string encoded = quoted ? encodeQuotedPrintable(bodyText) : std::string();
    const std::string& text = quoted ? encoded : bodyText;
    const char* const textHeaders = quoted ? quotedTextHeaders : plainTextHeaders;
    // Only a hint so the text grows once; without it the attachments decide for themselves.
    try {
        out.reserve(out.size() + 256 + text.size() + attachmentPartsEstimate(attachments));
    } catch (const std::bad_alloc&) {
    }
    if (attachments.empty()) {
        out += textHeaders;
        out += text;
        return;
    }
    out += "Content-Type: multipart/mixed; boundary=\"MyBoundary\"\r\n";
    out += "\r\n";
    out += boundaryLine;
    out += textHeaders;
    out += text;
    appendAttachmentParts(out, attachments);
    out += closingBoundary;
}

} // namespace

std::string base64Encode(std::string_view bytes)
{
    std::string encoded;
    encoded.reserve(base64Size(bytes.size()));
    adviseHugePages(encoded.data(), encoded.capacity());
    encoded.resize(base64Size(bytes.size()));
    encodeBase64Into(bytes, encoded.data());
    return encoded;
}

std::string contentTypeForExtension(const std::string& extension)
{
    return platform::mimeTypeForExtension(extension);
}

std::string fileNameOfPath(const std::string& path)
{
    // Only "/" separates: on this system "\" is a character of the name (a subject's, say), and the attachment
    // must carry the name of the file.
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string extensionOfPath(const std::string& path)
{
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos)
        return {};
    if (path.find_first_of(" /\\", dot + 1) != std::string::npos)
        return {};
    // ".profile" is a hidden file's whole name, not an extension.
    if (dot == 0 || path[dot - 1] == '/' || path[dot - 1] == '\\')
        return {};
    return path.substr(dot + 1);
}

std::string buildAttachmentParts(const std::vector<std::string>& paths)
{
    std::string parts;
    parts.reserve(attachmentPartsEstimate(paths));
    appendAttachmentParts(parts, paths);
    return parts;
}

std::string formatMailDate(std::time_t when)
{
    static constexpr const char* dayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* monthNames[]
        = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm local{};
    if (!localtime_r(&when, &local))
        return {};
    const long offsetMinutes = local.tm_gmtoff / 60;
    const long absoluteMinutes = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld", dayNames[local.tm_wday % 7],
                  local.tm_mday, monthNames[local.tm_mon % 12], local.tm_year + 1900, local.tm_hour, local.tm_min,
                  local.tm_sec, offsetMinutes < 0 ? '-' : '+', absoluteMinutes / 60, absoluteMinutes % 60);
    return text;
}

void setMailClock(std::function<std::time_t()> clock)
{
    mailClock() = std::move(clock);
}

std::string encodeQuotedPrintable(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 8 + 16);
    size_t column = 0;
    // A soft break keeps every line within 76 characters, its "=" included.
    const auto put = [&](const char* token, size_t length) {
        if (column + length > quotedLineLimit - 1) {
            out += "=\r\n";
            column = 0;
        }
        out.append(token, length);
        column += length;
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const auto u = static_cast<unsigned char>(c);
        if (isLineBreak(c)) {
            // CR LF, a lone CR and a lone LF are each one line end, as when the message goes out.
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            out += "\r\n";
            column = 0;
            continue;
        }
        const bool lineEndsHere = i + 1 == text.size() || isLineBreak(text[i + 1]);
        // Blanks only need encoding at the end of a line, where mail systems may strip them.
        bool literal = c == ' ' || c == '\t' ? !lineEndsHere : isPrintableAscii(u) && c != '=';
        // "-" opening a line could make "--MyBoundary"; soft breaks count, as readers see the encoded lines.
        if (c == '-' && (column == 0 || column + 1 > quotedLineLimit - 1))
            literal = false;
        if (literal) {
            put(&c, 1);
        } else {
            const char token[3] = {'=', hexDigits[u >> 4], hexDigits[u & 15]};
            put(token, 3);
        }
    }
    return out;
}

std::string subjectHeader(const std::string& subject)
{
    // Line breaks become blanks, so the subject can't start header lines of its own.
    std::string text = subject;
    for (char& c : text) {
        if (isLineBreak(c))
            c = ' ';
    }
    const std::string label = "Subject: ";
    bool plain = text.find("=?") == std::string::npos; // would read as the start of an encoded word
    for (const char c : text)
        plain = plain && (isPrintableAscii(static_cast<unsigned char>(c)) || c == '\t');
    if (plain) {
        const std::string folded = foldedHeader(label + text);
        if (!folded.empty())
            return folded;
    }
    return encodedWordsHeader(label, text);
}

void setMessageIdSource(std::function<std::string()> source)
{
    messageIdSource() = std::move(source);
}

std::string composeHeaders(const std::string& senderEmail, const std::string& recipients, const std::string& subject,
                           const std::string& hostName)
{
    std::string headers;
    headers += "From: " + senderEmail + "\r\n";
    headers += recipientsHeader(recipients);
    // No blank before the colon: standard parsers end the header block at a "Subject :" line.
    headers += subjectHeader(subject);
    // RFC 5322 requires Date and asks for Message-ID; servers add neither for authenticated clients, and spam
    // filters count their absence. Without MIME-Version some mail apps refuse to show multipart/mixed.
    headers += "Date: " + formatMailDate(mailNow()) + "\r\n";
    const auto& source = messageIdSource();
    headers += "Message-ID: <" + (source ? source() : randomMessageIdPart()) + "@" + hostName + ">\r\n";
    headers += "MIME-Version: 1.0\r\n";
    return headers;
}

std::string composeContent(const std::string& bodyText, const std::vector<std::string>& attachments)
{
    std::string content;
    appendContent(content, bodyText, attachments);
    return content;
}

std::string composeMessage(const std::string& senderEmail, const std::string& recipients, const std::string& subject,
                           const std::string& bodyText, const std::vector<std::string>& attachments,
                           const std::string& hostName)
{
    std::string message = composeHeaders(senderEmail, recipients, subject, hostName);
    appendContent(message, bodyText, attachments);
    return message;
}

std::string buildMailFooter(const std::string& senderName, const std::string& softwarePageUrl)
{
    const std::string namePart = senderName.empty() ? std::string() : " by " + senderName + ",";
    return "\r\n\r\n\r\nSent to you" + namePart + " using the Quillobrand SearchBuilder.\r\n"
        + "Get your own FREE Quillobrand today!\r\n" + softwarePageUrl + "\r\n";
}

} // namespace mail

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

// Room for one part's fixed header text and its content type, besides the two copies of the file name.
constexpr size_t partHeaderRoom = 256;

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
            total += partHeaderRoom + 2 * path.size() + base64Size(size) + base64LineBreaksSize(size) + 2;
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
        const std::string fileName = fileNameOfPath(path);
        const std::string contentType = contentTypeForExtension(extensionOfPath(path));
        const size_t encodedSize = base64Size(bytes.size);
        // Normally already there from the estimate; growing here would copy everything composed so far.
        out.reserve(out.size() + partHeaderRoom + 2 * fileName.size() + encodedSize + 2);
        out += boundaryLine;
        out += "Content-Type: " + contentType + "; name=\"" + fileName + "\"\r\n";
        out += "Content-Transfer-Encoding: base64\r\n";
        out += "Content-Disposition: Attachment; filename=\"" + fileName + "\"\r\n";
        out += "\r\n";
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
    const size_t slash = path.find_last_of("\\/");
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

std::string composeMessage(const std::string& senderEmail, const std::string& recipients, const std::string& subject,
                           const std::string& bodyText, const std::vector<std::string>& attachments)
{
    std::string message;
    message.reserve(512 + senderEmail.size() + recipients.size() + subject.size() + bodyText.size()
                    + attachmentPartsEstimate(attachments));
    message += "From: " + senderEmail + "\r\n";
    message += "To: " + recipients + "\r\n";
    // No blank before the colon: standard parsers end the header block at a "Subject :" line. Line breaks become
    // blanks so the subject can't start lines of its own.
    std::string oneLineSubject = subject;
    for (char& c : oneLineSubject) {
        if (c == '\r' || c == '\n')
            c = ' ';
    }
    message += "Subject: " + oneLineSubject + "\r\n";
    // RFC 5322 requires Date, and servers don't add it for authenticated clients. Without MIME-Version some mail
    // apps refuse to show multipart/mixed.
    message += "Date: " + formatMailDate(mailNow()) + "\r\n";
    message += "MIME-Version: 1.0\r\n";
    if (attachments.empty()) {
        message += plainTextHeaders;
        message += bodyText;
        return message;
    }
    message += "Content-Type: multipart/mixed; boundary=\"MyBoundary\"\r\n";
    message += "\r\n";
    message += boundaryLine;
    message += plainTextHeaders;
    message += bodyText;
    appendAttachmentParts(message, attachments);
    message += closingBoundary;
    return message;
}

std::string buildMailFooter(const std::string& senderName, const std::string& softwarePageUrl)
{
    const std::string namePart = senderName.empty() ? std::string() : " by " + senderName + ",";
    return "\r\n\r\n\r\nSent to you" + namePart + " using the Quillobrand SearchBuilder.\r\n"
        + "Get your own FREE Quillobrand today!\r\n" + softwarePageUrl + "\r\n";
}

} // namespace mail

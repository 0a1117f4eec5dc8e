#include "mail/message.h"
#include "platform/mimetypes.h"

#include "testfolder.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

// A plain decoder of our own, so round trips don't lean on the encoder's tables.
std::optional<std::string> decodeBase64(const std::string& text)
{
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    if (text.size() % 4 != 0)
        return std::nullopt;
    std::string bytes;
    for (size_t i = 0; i < text.size(); i += 4) {
        unsigned value = 0;
        int padding = 0;
        for (size_t k = 0; k < 4; ++k) {
            const char c = text[i + k];
            unsigned digit = 0;
            if (c == '=') {
                if (i + 4 != text.size() || k < 2)
                    return std::nullopt;
                ++padding;
            } else {
                if (padding > 0)
                    return std::nullopt;
                const size_t at = alphabet.find(c);
                if (at == std::string::npos)
                    return std::nullopt;
                digit = static_cast<unsigned>(at);
            }
            value = (value << 6) | digit;
        }
        bytes += static_cast<char>((value >> 16) & 0xff);
        if (padding < 2)
            bytes += static_cast<char>((value >> 8) & 0xff);
        if (padding < 1)
            bytes += static_cast<char>(value & 0xff);
    }
    return bytes;
}

void writeFile(const std::string& path, const std::string& content)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << content;
    ASSERT_TRUE(file.good()) << path;
}

// Sets TZ for one test and puts the previous zone and the real clock back afterwards.
class ZoneGuard {
public:
    explicit ZoneGuard(const char* zone)
    {
        if (const char* old = std::getenv("TZ"))
            previous = old;
        ::setenv("TZ", zone, 1);
        ::tzset();
        mail::setMessageIdSource([] { return "4f3c2a"; });
    }
    ~ZoneGuard()
    {
        if (previous)
            ::setenv("TZ", previous->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
        mail::setMailClock({});
        mail::setMessageIdSource({});
    }
    ZoneGuard(const ZoneGuard&) = delete;
    ZoneGuard& operator=(const ZoneGuard&) = delete;

private:
    std::optional<std::string> previous;
};

const std::string host = "mail.example.org";

// 2026-12-09 16:18:40 UTC, worked out by hand: day 20796 since 1970 is 9 December 2026, a Wednesday.
constexpr std::time_t fixedTime = 1796833120;

// --- base64 ---

struct Base64Case {
    const char* name;
    std::string bytes;
    std::string text;
};

class Base64Vectors : public ::testing::TestWithParam<Base64Case> { };

TEST_P(Base64Vectors, Encodes)
{
    EXPECT_EQ(mail::base64Encode(GetParam().bytes), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Base64Known, Base64Vectors,
    ::testing::Values(Base64Case{"empty", "", ""}, Base64Case{"f", "f", "Zg=="}, Base64Case{"fo", "fo", "Zm8="},
                      Base64Case{"foo", "foo", "Zm9v"}, Base64Case{"foob", "foob", "Zm9vYg=="},
                      Base64Case{"fooba", "fooba", "Zm9vYmE="}, Base64Case{"foobar", "foobar", "Zm9vYmFy"},
                      Base64Case{"oneZero", std::string(1, '\0'), "AA=="}, Base64Case{"twoHigh", "\xff\xff", "//8="},
                      Base64Case{"lastTwoLetters", "\xfb\xff\xbf", "+/+/"},
                      Base64Case{"fourZeros", std::string(4, '\0'), "AAAAAA=="}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Base64Encode, AllByteValuesRoundTrip)
{
    std::string bytes;
    for (int value = 0; value < 256; ++value)
        bytes += static_cast<char>(value);
    const std::string text = mail::base64Encode(bytes);
    EXPECT_EQ(text.size(), 344u);
    EXPECT_EQ(decodeBase64(text), bytes);
}

TEST(Base64Encode, EveryTailLengthRoundTrips)
{
    std::string bytes;
    for (int length = 0; length < 40; ++length) {
        const std::string text = mail::base64Encode(bytes);
        ASSERT_EQ(text.size(), static_cast<size_t>((length + 2) / 3 * 4)) << length;
        ASSERT_EQ(decodeBase64(text), bytes) << length;
        bytes += static_cast<char>(0xf0 - length * 7);
    }
}

TEST(Base64Encode, LongInputIsOneLine)
{
    std::string bytes(60000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>((i * 131 + i / 256) & 0xff);
    const std::string text = mail::base64Encode(bytes);
    EXPECT_EQ(text.size(), 80000u);
    EXPECT_EQ(text.find_first_of("\r\n="), std::string::npos);
    EXPECT_EQ(decodeBase64(text), bytes);
}

// --- paths ---

struct PathCase {
    const char* name;
    std::string path;
    std::string expected;
};

class MessageExtension : public ::testing::TestWithParam<PathCase> { };

TEST_P(MessageExtension, OfPath)
{
    EXPECT_EQ(mail::extensionOfPath(GetParam().path), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    MessagePaths, MessageExtension,
    ::testing::Values(PathCase{"afterSlash", "a/b.c", "c"}, PathCase{"dotInFolder", "a.b/c", ""},
                      PathCase{"hiddenFile", "a/.profile", ""}, PathCase{"hiddenFileAlone", ".profile", ""},
                      PathCase{"hiddenAfterBackslash", "a\\.profile", ""}, PathCase{"blankAfterDot", "x.tar gz", ""},
                      PathCase{"caseKept", "x.HTML", "HTML"}, PathCase{"noDot", "noext", ""},
                      PathCase{"backslashFolder", "dir\\file.txt", "txt"},
                      PathCase{"dotInBackslashFolder", "a.b\\c", ""}, PathCase{"lastDotWins", "archive.tar.gz", "gz"},
                      PathCase{"trailingDot", "name.", ""}, PathCase{"empty", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

class MessageFileName : public ::testing::TestWithParam<PathCase> { };

TEST_P(MessageFileName, OfPath)
{
    EXPECT_EQ(mail::fileNameOfPath(GetParam().path), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(MessagePaths, MessageFileName,
                         ::testing::Values(PathCase{"backslashesAreOfTheName", "C:\\a\\b.html", "C:\\a\\b.html"},
                                           PathCase{"unixPath", "/x/y/z.txt", "z.txt"},
                                           PathCase{"backslashAfterSlash", "a/b\\c.txt", "b\\c.txt"},
                                           PathCase{"mixedOtherWay", "a\\b/c.txt", "c.txt"},
                                           PathCase{"bareName", "plain.txt", "plain.txt"},
                                           PathCase{"endsInSlash", "dir/", ""}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- MIME types ---

class MimeType : public ::testing::TestWithParam<PathCase> { };

TEST_P(MimeType, ForExtension)
{
    // The unit tests run without an application object, as the mail code does in its worker.
    ASSERT_EQ(QCoreApplication::instance(), nullptr);
    EXPECT_EQ(platform::mimeTypeForExtension(GetParam().path), GetParam().expected);
    EXPECT_EQ(mail::contentTypeForExtension(GetParam().path), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(MimeTypes, MimeType,
                         ::testing::Values(PathCase{"txt", "txt", "text/plain"}, PathCase{"html", "html", "text/html"},
                                           PathCase{"upperCaseHtml", "HTML", "text/html"},
                                           PathCase{"png", "png", "image/png"},
                                           PathCase{"pdf", "pdf", "application/pdf"},
                                           PathCase{"unknown", "qbunknownext", "application/octet-stream"},
                                           PathCase{"empty", "", "application/octet-stream"}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- attachment parts ---

struct AttachmentCase {
    const char* name;
    std::vector<std::pair<std::string, std::string>> files; // created in the test folder first
    std::vector<std::string> paths; // relative to the test folder
    std::string parts;
};

class AttachmentParts : public ::testing::TestWithParam<AttachmentCase> { };

TEST_P(AttachmentParts, Built)
{
    const std::string folder = makeTestFolder("qb-attach");
    std::filesystem::create_directory(folder + "sub");
    for (const auto& [name, content] : GetParam().files)
        writeFile(folder + name, content);
    std::vector<std::string> paths;
    for (const std::string& path : GetParam().paths)
        paths.push_back(folder + path);
    EXPECT_EQ(mail::buildAttachmentParts(paths), GetParam().parts);
    std::filesystem::remove_all(folder);
}

INSTANTIATE_TEST_SUITE_P(AttachmentFiles, AttachmentParts,
                         ::testing::Values(AttachmentCase{"none", {}, {}, ""},
                                           AttachmentCase{"html",
                                                          {{"page.html", "<p>hi</p>"}},
                                                          {"page.html"},
                                                          "\r\n--MyBoundary\r\n"
                                                          "Content-Type: text/html; name=\"page.html\"\r\n"
                                                          "Content-Transfer-Encoding: base64\r\n"
                                                          "Content-Disposition: Attachment; filename=\"page.html\"\r\n"
                                                          "\r\n"
                                                          "PHA+aGk8L3A+\r\n"},
                                           AttachmentCase{"missing", {}, {"gone.txt"}, "\r\n"},
                                           AttachmentCase{"empty", {{"empty.txt", ""}}, {"empty.txt"}, "\r\n"},
                                           AttachmentCase{"folderIsNotAFile", {}, {"sub"}, "\r\n"},
                                           AttachmentCase{
                                               "unknownTypeInSubfolder",
                                               {{"sub/data.qbunknownext", std::string("\0\1", 2)}},
                                               {"sub/data.qbunknownext"},
                                               "\r\n--MyBoundary\r\n"
                                               "Content-Type: application/octet-stream; name=\"data.qbunknownext\"\r\n"
                                               "Content-Transfer-Encoding: base64\r\n"
                                               "Content-Disposition: Attachment; filename=\"data.qbunknownext\"\r\n"
                                               "\r\n"
                                               "AAE=\r\n"},
                                           AttachmentCase{"twoInGivenOrderAroundSkipped",
                                                          {{"page.html", "<p>hi</p>"}, {"notes.txt", "foo"}},
                                                          {"page.html", "gone.txt", "notes.txt"},
                                                          "\r\n--MyBoundary\r\n"
                                                          "Content-Type: text/html; name=\"page.html\"\r\n"
                                                          "Content-Transfer-Encoding: base64\r\n"
                                                          "Content-Disposition: Attachment; filename=\"page.html\"\r\n"
                                                          "\r\n"
                                                          "PHA+aGk8L3A+\r\n"
                                                          "\r\n"
                                                          "\r\n--MyBoundary\r\n"
                                                          "Content-Type: text/plain; name=\"notes.txt\"\r\n"
                                                          "Content-Transfer-Encoding: base64\r\n"
                                                          "Content-Disposition: Attachment; filename=\"notes.txt\"\r\n"
                                                          "\r\n"
                                                          "Zm9v\r\n"}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- dates ---

struct DateCase {
    const char* name;
    const char* zone;
    std::time_t when;
    std::string text;
};

class MessageDate : public ::testing::TestWithParam<DateCase> { };

TEST_P(MessageDate, Formatted)
{
    ZoneGuard zone(GetParam().zone);
    EXPECT_EQ(mail::formatMailDate(GetParam().when), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    MessageDates, MessageDate,
    ::testing::Values(DateCase{"utc", "UTC", fixedTime, "Wed, 09 Dec 2026 16:18:40 +0000"},
                      DateCase{"eastern", "EST5", fixedTime, "Wed, 09 Dec 2026 11:18:40 -0500"},
                      DateCase{"halfHourAhead", "IST-5:30", fixedTime, "Wed, 09 Dec 2026 21:48:40 +0530"},
                      DateCase{"halfHourBehind", "NST3:30", fixedTime, "Wed, 09 Dec 2026 12:48:40 -0330"},
                      // 2026-03-05 04:05:06 UTC: day 20517, a Thursday; every field needs its leading zero.
                      DateCase{"leadingZeros", "UTC", 1772683506, "Thu, 05 Mar 2026 04:05:06 +0000"},
                      DateCase{"epoch", "UTC", 0, "Thu, 01 Jan 1970 00:00:00 +0000"},
                      DateCase{"epochEasternIsTheDayBefore", "EST5", 0, "Wed, 31 Dec 1969 19:00:00 -0500"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- whole messages ---

TEST(MessageCompose, SinglePartByteForByte)
{
    ZoneGuard zone("UTC");
    mail::setMailClock([] { return fixedTime; });
    const std::string message = mail::composeMessage("me@example.org", "you@example.net, them@example.com",
                                                     "Hello there", "Line one\r\nLine two", {}, host);
    EXPECT_EQ(message,
              "From: me@example.org\r\n"
              "To: you@example.net, them@example.com\r\n"
              "Subject: Hello there\r\n"
              "Date: Wed, 09 Dec 2026 16:18:40 +0000\r\n"
              "Message-ID: <4f3c2a@mail.example.org>\r\n"
              "MIME-Version: 1.0\r\n"
              "Content-Type: text/plain; charset=us-ascii\r\n"
              "Content-Transfer-Encoding: 7bit\r\n"
              "\r\n"
              "Line one\r\nLine two");
}

TEST(MessageCompose, MultipartByteForByte)
{
    ZoneGuard zone("UTC");
    mail::setMailClock([] { return fixedTime; });
    const std::string folder = makeTestFolder("qb-compose");
    writeFile(folder + "page.html", "<p>hi</p>");
    const std::string message = mail::composeMessage("me@example.org", "you@example.net", "Results", "Body\r\n",
                                                     {folder + "page.html"}, host);
    EXPECT_EQ(message,
              "From: me@example.org\r\n"
              "To: you@example.net\r\n"
              "Subject: Results\r\n"
              "Date: Wed, 09 Dec 2026 16:18:40 +0000\r\n"
              "Message-ID: <4f3c2a@mail.example.org>\r\n"
              "MIME-Version: 1.0\r\n"
              "Content-Type: multipart/mixed; boundary=\"MyBoundary\"\r\n"
              "\r\n"
              "--MyBoundary\r\n"
              "Content-Type: text/plain; charset=us-ascii\r\n"
              "Content-Transfer-Encoding: 7bit\r\n"
              "\r\n"
              "Body\r\n"
              "\r\n"
              "--MyBoundary\r\n"
              "Content-Type: text/html; name=\"page.html\"\r\n"
              "Content-Transfer-Encoding: base64\r\n"
              "Content-Disposition: Attachment; filename=\"page.html\"\r\n"
              "\r\n"
              "PHA+aGk8L3A+\r\n"
              "--MyBoundary--");
    std::filesystem::remove_all(folder);
}

TEST(MessageCompose, OnlyUnreadableAttachmentsStillMultipart)
{
    ZoneGuard zone("UTC");
    mail::setMailClock([] { return fixedTime; });
    const std::string message = mail::composeMessage("a@b.c", "d@e.f", "S", "text", {"/nonexistent/qb/gone.txt"}, host);
    EXPECT_EQ(message,
              "From: a@b.c\r\n"
              "To: d@e.f\r\n"
              "Subject: S\r\n"
              "Date: Wed, 09 Dec 2026 16:18:40 +0000\r\n"
              "Message-ID: <4f3c2a@mail.example.org>\r\n"
              "MIME-Version: 1.0\r\n"
              "Content-Type: multipart/mixed; boundary=\"MyBoundary\"\r\n"
              "\r\n"
              "--MyBoundary\r\n"
              "Content-Type: text/plain; charset=us-ascii\r\n"
              "Content-Transfer-Encoding: 7bit\r\n"
              "\r\n"
              "text"
              "\r\n"
              "--MyBoundary--");
}

TEST(MessageCompose, SubjectLineBreaksBecomeBlanks)
{
    ZoneGuard zone("UTC");
    mail::setMailClock([] { return fixedTime; });
    const std::string message = mail::composeMessage("a@b.c", "d@e.f", "one\r\ntwo\rthree\nfour", "x", {}, host);
    EXPECT_NE(message.find("\r\nSubject: one  two three four\r\nDate: "), std::string::npos) << message;
}

TEST(MessageCompose, EmptyClockMeansRealTime)
{
    ZoneGuard zone("UTC");
    mail::setMailClock([] { return fixedTime; });
    mail::setMailClock({});
    const std::time_t before = std::time(nullptr);
    const std::string message = mail::composeMessage("a@b.c", "d@e.f", "S", "x", {}, host);
    const std::time_t after = std::time(nullptr);
    const bool stamped = message.find("Date: " + mail::formatMailDate(before) + "\r\n") != std::string::npos
        || message.find("Date: " + mail::formatMailDate(after) + "\r\n") != std::string::npos;
    EXPECT_TRUE(stamped) << message;
}

// --- footer ---

struct FooterCase {
    const char* name;
    std::string senderName;
    std::string url;
    std::string footer;
};

class FooterText : public ::testing::TestWithParam<FooterCase> { };

TEST_P(FooterText, Exact)
{
    EXPECT_EQ(mail::buildMailFooter(GetParam().senderName, GetParam().url), GetParam().footer);
}

INSTANTIATE_TEST_SUITE_P(
    FooterNames, FooterText,
    ::testing::Values(FooterCase{"withName", "Ann Lee", "https://quillobrand.example/get",
                                 "\r\n\r\n\r\nSent to you by Ann Lee, using the Quillobrand SearchBuilder.\r\n"
                                 "Get your own FREE Quillobrand today!\r\n"
                                 "https://quillobrand.example/get\r\n"},
                      FooterCase{"withoutName", "", "https://quillobrand.example/get",
                                 "\r\n\r\n\r\nSent to you using the Quillobrand SearchBuilder.\r\n"
                                 "Get your own FREE Quillobrand today!\r\n"
                                 "https://quillobrand.example/get\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace

TEST(AttachmentLines, Base64IsCutIntoLinesOf76)
{
    const std::string folder = makeTestFolder("qb-lines");
    std::string content;
    for (int i = 0; i < 200; ++i)
        content += static_cast<char>(i * 7);
    writeFile(folder + "data.bin", content);
    const std::string parts = mail::buildAttachmentParts({folder + "data.bin"});
    const size_t start = parts.find("\r\n\r\n") + 4;
    const std::string encoded = parts.substr(start, parts.size() - start - 2);
    std::vector<std::string> lines;
    for (size_t at = 0; at <= encoded.size();) {
        const size_t end = encoded.find("\r\n", at);
        lines.push_back(encoded.substr(at, end == std::string::npos ? std::string::npos : end - at));
        if (end == std::string::npos)
            break;
        at = end + 2;
    }
    // 200 bytes: three full lines of 57 bytes and one of 29.
    ASSERT_EQ(lines.size(), 4u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(lines[size_t(i)].size(), 76u) << i;
    EXPECT_EQ(lines[3].size(), 40u);
    std::string joined;
    for (const std::string& line : lines)
        joined += line;
    EXPECT_EQ(joined, mail::base64Encode(content));
    EXPECT_EQ(parts.substr(parts.size() - 2), "\r\n");
    std::filesystem::remove_all(folder);
}

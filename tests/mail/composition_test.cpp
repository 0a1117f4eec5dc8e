// Whole messages read back by Python's email parser, as a recipient's mail program would read them: text and
// subjects outside ASCII, long lines, awkward attachment names, and whether the headers stay within the rules.

#include "mail/message.h"

#include "testfolder.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Attachment {
    std::string fileName;
    std::string content;
};

struct ComposeCase {
    const char* name;
    std::string recipients;
    std::string subject;
    std::string body;
    std::vector<Attachment> attachments;
    bool quoted; // the text goes as quoted-printable UTF-8 rather than 7bit US-ASCII
};

std::string repeated(const std::string& text, int times)
{
    std::string out;
    for (int i = 0; i < times; ++i)
        out += text;
    return out;
}

// Line ends are the message's business: the parser gives LF where the message has CR LF.
QString withLf(QString text)
{
    return text.replace("\r\n", "\n").replace('\r', '\n');
}

QJsonObject parsed(const std::string& messagePath)
{
    const std::string command = "/usr/bin/python3 '" QB_PARSE_MESSAGE "' '" + messagePath + "'";
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            output.append(buffer, n);
        ::pclose(pipe);
    }
    return QJsonDocument::fromJson(QByteArray::fromStdString(output)).object();
}

class Composition : public ::testing::TestWithParam<ComposeCase> {
protected:
    void SetUp() override { folder = makeTestFolder("qb-composition"); }
    void TearDown() override { std::filesystem::remove_all(folder); }
    std::string folder;
};

TEST_P(Composition, ReadsBackAsTyped)
{
    const ComposeCase& c = GetParam();
    std::vector<std::string> paths;
    for (const Attachment& a : c.attachments) {
        paths.push_back(folder + a.fileName);
        std::ofstream(paths.back(), std::ios::binary) << a.content;
        ASSERT_TRUE(std::filesystem::exists(paths.back()));
    }
    const std::string message
        = mail::composeMessage("ann@example.com", c.recipients, c.subject, c.body, paths, "mail.example.org");
    const std::string messagePath = folder + "message.eml";
    std::ofstream(messagePath, std::ios::binary) << message;

    const QJsonObject found = parsed(messagePath);
    ASSERT_FALSE(found.isEmpty()) << "the parser gave no answer";
    EXPECT_EQ(found["defects"].toArray().size(), 0) << QJsonDocument(found["defects"].toArray()).toJson().data();
    std::string subject = c.subject;
    for (char& ch : subject) {
        if (ch == '\r' || ch == '\n')
            ch = ' ';
    }
    // Blanks around a subject are lost in any header; readers don't show them.
    EXPECT_EQ(found["subject"].toString().trimmed().toStdString(),
              QString::fromStdString(subject).trimmed().toStdString());
    QStringList to;
    for (const QJsonValue& address : found["to"].toArray())
        to << address.toString();
    EXPECT_EQ(to.join(',').toStdString(), c.recipients);
    EXPECT_TRUE(found["message_id"].toString().endsWith("@mail.example.org>")) << found["message_id"].toString().data();
    EXPECT_EQ(withLf(found["text"].toString()).toStdString(), withLf(QString::fromStdString(c.body)).toStdString());
    EXPECT_EQ(found["transfer_encoding"].toString(), c.quoted ? "quoted-printable" : "7bit");
    EXPECT_EQ(found["charset"].toString(), c.quoted ? "utf-8" : "us-ascii");

    const QJsonArray attachments = found["attachments"].toArray();
    ASSERT_EQ(attachments.size(), qsizetype(c.attachments.size()));
    for (size_t i = 0; i < c.attachments.size(); ++i) {
        const QJsonArray attachment = attachments[qsizetype(i)].toArray();
        // The parser strips blanks and line breaks around a file name, in whichever form it comes.
        EXPECT_EQ(attachment[0].toString().toStdString(),
                  QString::fromStdString(c.attachments[i].fileName).trimmed().toStdString())
            << i;
        const QByteArray digest
            = QCryptographicHash::hash(QByteArray::fromStdString(c.attachments[i].content), QCryptographicHash::Sha256)
                  .toHex();
        EXPECT_EQ(attachment[1].toString(), QString::fromLatin1(digest)) << i;
    }
    EXPECT_LE(found["longest_header"].toInt(), 78);
    EXPECT_FALSE(found["high_header_byte"].toBool());
    EXPECT_LE(found["longest_line"].toInt(), 998);
}

void PrintTo(const ComposeCase& c, std::ostream* os)
{
    *os << c.name;
}

const std::string bob = "bob@example.com";
// Sixty recipients make a line of over a thousand bytes unless it is folded.
const std::string many = [] {
    std::string list;
    for (int i = 0; i < 60; ++i)
        list += (i ? "," : "") + std::string("friend") + std::to_string(i) + "@example.com";
    return list;
}();

const std::string page = "<html><body><h2>Cars</h2>\r\n<p>\xE2\x82\xAC 5000</p></body></html>";
// A paragraph of about 150 words typed without a break: the editor gives it as one line of 1 200 bytes.
const std::string paragraph = repeated("Nice car, low miles, one owner, always in a garage. ", 23);

INSTANTIATE_TEST_SUITE_P(
    Messages, Composition,
    ::testing::Values(
        ComposeCase{"manyRecipients", many, "Cars", "x", {}, false},
        ComposeCase{"asciiAsToday", bob, "Hello there", "Line one\r\nLine two", {}, false},
        ComposeCase{"accentsAndEuro",
                    bob,
                    "H\xC3\xA9llo w\xC3\xB6rld \xE2\x82\xAC",
                    "H\xC3\xA9llo w\xC3\xB6rld\r\n\xE2\x82\xAC 5",
                    {},
                    true},
        ComposeCase{"accentsWithAttachment",
                    bob,
                    "Voitures \xC3\xA0 vendre",
                    "Regarde \xC3\xA7"
                    "a.\r\n",
                    {{"page.html", page}},
                    true},
        ComposeCase{"paragraphOverTheLineLimit", bob, "Cars", paragraph + "\r\nBye", {}, true},
        ComposeCase{"paragraphWithAttachment", bob, "Cars", paragraph, {{"page.html", page}}, true},
        ComposeCase{"trailingBlanksEqualSignsAndTabs",
                    bob,
                    "Prices",
                    "Price = 5 \xE2\x82\xAC \r\ntab\there\t\r\n=3D stays",
                    {},
                    true},
        ComposeCase{"boundaryLineInTheText",
                    bob,
                    "Cars",
                    "Before\r\n--MyBoundary\r\nContent-Type: text/html\r\n\r\nafter",
                    {{"page.html", page}},
                    true},
        ComposeCase{"longAsciiSubjectFolds", bob, repeated("Used cars for sale in Portland ", 10), "x", {}, false},
        ComposeCase{"longSubjectWithoutBlanks", bob, std::string(300, 'x'), "x", {}, false},
        ComposeCase{"longSubjectOutsideAscii", bob, repeated("\xC3\xA9t\xC3\xA9 \xE2\x82\xAC ", 30), "x", {}, false},
        ComposeCase{"subjectLooksEncoded", bob, "=?UTF-8?B?SGk=?= stays as typed", "x", {}, false},
        ComposeCase{"subjectWithLineBreaks", bob, "\n    Cars for sale\n", "x", {}, false},
        ComposeCase{"nameWithQuote", bob, "17\" wheels", "x", {{"17\" wheels.html", page}}, false},
        ComposeCase{"nameWithLineBreaks", bob, "Cars", "x", {{"\n    Cars for sale\n.html", page}}, false},
        ComposeCase{"nameWithBoundaryLines",
                    bob,
                    "Cars",
                    "x",
                    {{"Cars\r\n--MyBoundary\r\nContent-Type: text-plain\r\n\r\nInjected\r\n.html", page}},
                    false},
        ComposeCase{"nameOutsideAscii", bob, "Cars", "x", {{"Caf\xC3\xA9 \xE2\x82\xAC 100.html", page}}, false},
        ComposeCase{"longNameOutsideAscii",
                    bob,
                    "Cars",
                    "x",
                    {{repeated("Voitures \xC3\xA0 vendre \xE2\x80\x94 ", 7) + ".html", page}},
                    false},
        ComposeCase{"nameWithSpecials", bob, "Cars", "x", {{"100% a;b=c*'d.html", page}}, false},
        // A name that reads like an encoded word arrives as it was.
        ComposeCase{"nameLooksEncoded", bob, "Cars", "x", {{"=?utf-8?q?Caf=C3=A9?= for sale.html", page}}, false},
        ComposeCase{"nameWithBackslash", bob, "Cars", "x", {{"A\\C cold.html", page}}, false}),
    [](const auto& info) { return std::string(info.param.name); });

// Encoded words are judged by the parser above; here, where a long subject outside ASCII is cut.
TEST(CompositionHeaders, EncodedWordsNeverSplitACharacter)
{
    // At most 42 bytes to an encoded word, and never half a character: byte 42 falls inside the 14th euro sign,
    // which opens the second word.
    const std::string euros = "a" + repeated("\xE2\x82\xAC", 15);
    EXPECT_EQ(mail::subjectHeader(euros),
              "Subject: =?UTF-8?B?" + mail::base64Encode(euros.substr(0, 40)) + "?=\r\n =?UTF-8?B?"
                  + mail::base64Encode(euros.substr(40)) + "?=\r\n");
}

struct QuotedCase {
    const char* name;
    std::string text;
    std::string encoded;
};

class QuotedPrintable : public ::testing::TestWithParam<QuotedCase> { };

TEST_P(QuotedPrintable, Encodes)
{
    EXPECT_EQ(mail::encodeQuotedPrintable(GetParam().text), GetParam().encoded);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, QuotedPrintable,
    ::testing::Values(QuotedCase{"highBytes", "\xC3\xA9=", "=C3=A9=3D"},
                      QuotedCase{"blankAtLineEnd", "a \r\nb\t\nc ", "a=20\r\nb=09\r\nc=20"},
                      QuotedCase{"blankInsideStays", "a b\tc", "a b\tc"},
                      QuotedCase{"lineEndsMadeCrLf", "a\nb\rc\r\n", "a\r\nb\r\nc\r\n"},
                      QuotedCase{"softBreakAt76", std::string(80, 'a'), std::string(75, 'a') + "=\r\n" + "aaaaa"},
                      QuotedCase{"encodedNeverSplit", std::string(74, 'a') + "\xC3\xA9",
                                 std::string(74, 'a') + "=\r\n=C3=A9"},
                      QuotedCase{"dashOpeningALine", "--MyBoundary\r\n-x", "=2D-MyBoundary\r\n=2Dx"},
                      QuotedCase{"dashAfterASoftBreak", std::string(75, 'a') + "--MyBoundary",
                                 std::string(75, 'a') + "=\r\n=2D-MyBoundary"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace

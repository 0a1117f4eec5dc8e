#include "mail/mailtext.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

using namespace std::string_literals;

namespace {

// Failure messages name the case instead of dumping its bytes.
template <typename Case>
concept NamedCase = requires(const Case& c)
{
    c.name;
};

template <NamedCase Case> void PrintTo(const Case& c, std::ostream* os)
{
    *os << c.name;
}

const auto caseName = [](const auto& info) { return std::string(info.param.name); };

const std::string lettersAndDigits = "ABCDEFGHIJKLMNOPQRSTUVWXYZ1234567890";

struct NameCase {
    const char* name;
    std::string input;
    std::string allowed;
    std::string kept;
};

class SanitizeNameOf : public ::testing::TestWithParam<NameCase> { };

TEST_P(SanitizeNameOf, Kept)
{
    EXPECT_EQ(mail::sanitizeName(GetParam().input, GetParam().allowed), GetParam().kept);
}

INSTANTIATE_TEST_SUITE_P(
    SanitizeNames, SanitizeNameOf,
    ::testing::Values(
        NameCase{"punctuationDropped", "Ann-Marie O'Neil, Jr.", lettersAndDigits, "AnnMarie ONeil Jr"},
        NameCase{"fortyLettersGiveThirty", "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMN", lettersAndDigits,
                 "abcdefghijklmnopqrstuvwxyzABCD"},
        NameCase{"limitCountsKeptOnly", "a-b-c-d-e-f-g-h-i-j-k-l-m-n-o-p-q-r-s-t-u-v-w-x-y-z-0-1-2-3-4-5",
                 lettersAndDigits, "abcdefghijklmnopqrstuvwxyz0123"},
        NameCase{"blanksCountTowardTheLimit", std::string(35, ' '), lettersAndDigits, std::string(30, ' ')},
        NameCase{"exactlyThirty", "Abcdefghij Klmnopqrst Uvwxyz12", lettersAndDigits, "Abcdefghij Klmnopqrst Uvwxyz12"},
        NameCase{"digits", "Room 101", lettersAndDigits, "Room 101"},
        NameCase{"lowerCaseAllowedListMatchesNothing", "abc ABC", "abc", " "},
        NameCase{"ownCaseKept", "aBc dEf", "ABCDEF", "aBc dEf"}, NameCase{"emptyAllowedKeepsBlanks", "a b c", "", "  "},
        NameCase{"tabDropped", "a\tb", lettersAndDigits, "ab"},
        NameCase{"nonAsciiDropped", "Ren\xc3\xa9 M", lettersAndDigits, "Ren M"},
        NameCase{"nonAsciiWhenAllowed", "R\xe9n", "R\xe9N", "R\xe9n"},
        NameCase{"apostropheWhenAllowed", "O'Neil", lettersAndDigits + "'", "O'Neil"},
        NameCase{"empty", "", lettersAndDigits, ""}),
    caseName);

struct ReplyCase {
    const char* name;
    std::string page;
    std::string address;
};

class ReplyAddressIn : public ::testing::TestWithParam<ReplyCase> { };

TEST_P(ReplyAddressIn, Found)
{
    EXPECT_EQ(mail::findReplyAddress(GetParam().page), GetParam().address);
}

INSTANTIATE_TEST_SUITE_P(
    ReplyAddresses, ReplyAddressIn,
    ::testing::Values(
        ReplyCase{"plain", "mailto:abc@example.com?subject=Re", "abc@example.com"},
        ReplyCase{"inALink",
                  "<p><a href=\"mailto:sale-4f2a@reply.example.org?subject=Bike%20for%20sale\">reply</a></p>",
                  "sale-4f2a@reply.example.org"},
        ReplyCase{"noMailto", "<a href=\"https://example.org/?subject=x\">x</a>", ""},
        ReplyCase{"noSubject", "mailto:abc@example.com", ""}, ReplyCase{"subjectFirst", "?subject=x mailto:a@b", ""},
        ReplyCase{"subjectSearchedFromTheStart", "?subject=0 mailto:a@x?subject=1", ""},
        ReplyCase{"firstMailtoWins", "mailto:a@x?subject=1 mailto:b@y?subject=2", "a@x"},
        ReplyCase{"emptyAddress", "mailto:?subject=x", ""},
        ReplyCase{"percentEscapesKept", "mailto:a%40b?subject=x", "a%40b"},
        ReplyCase{"crLf", "mailto:a\r\nb?subject=", ""}, ReplyCase{"lf", "mailto:a\nb?subject=", ""},
        ReplyCase{"cr", "mailto:a\rb?subject=", ""}, ReplyCase{"nul", "mailto:a\0b?subject="s, ""},
        ReplyCase{"commaMakesNoAddress", "mailto:a@x.example,b@y.example?subject=", ""},
        ReplyCase{"lessThan", "mailto:a<b?subject=", ""}, ReplyCase{"greaterThan", "mailto:a>b?subject=", ""},
        ReplyCase{"tagsBetween", "mailto:a@x\">reply</a><a href=\"?subject=y\">", ""},
        ReplyCase{"blanksKept", "mailto: a@x ?subject=", " a@x "},
        ReplyCase{"nulAfterSubjectIgnored", "mailto:a@x?subject=\0\r\n<>"s, "a@x"},
        ReplyCase{"mailtoCaseExact", "MAILTO:a@x?subject=", ""},
        ReplyCase{"subjectCaseExact", "mailto:a@x?Subject=", ""},
        ReplyCase{"ampersandSubject", "mailto:a@x&subject=", ""}, ReplyCase{"mailtoAtEnd", "text mailto:", ""},
        ReplyCase{"empty", "", ""}),
    caseName);

struct CopyNameCase {
    const char* name;
    std::string subject;
    std::string fileName;
};

class SentCopyName : public ::testing::TestWithParam<CopyNameCase> { };

TEST_P(SentCopyName, IsTheSubjectMadeSafeAndShortEnough)
{
    const std::string fileName = mail::sentCopyFileName(GetParam().subject);
    EXPECT_EQ(fileName, GetParam().fileName);
    // With the atomic writer's sibling (".new-" and up to 7 digits) the name still fits 255 bytes.
    EXPECT_LE(fileName.size() + 12, 255u);
}

const std::string e9 = "\xC3\xA9"; // two bytes, one character

INSTANTIATE_TEST_SUITE_P(
    Names, SentCopyName,
    ::testing::Values(CopyNameCase{"asTyped", "Bikes & parts", "Bikes & parts.html"},
                      CopyNameCase{"empty", "", ".html"},
                      CopyNameCase{"slashes", "w/ A/C, 4/5 doors", "w- A-C, 4-5 doors.html"},
                      CopyNameCase{"upwards", "../Last Search", "..-Last Search.html"},
                      CopyNameCase{"controlBytes", "a\tb\r\nc\x7f"s + '\0' + "d", "a-b--c--d.html"},
                      CopyNameCase{"backslashKept", "A\\C", "A\\C.html"},
                      CopyNameCase{"longAscii", std::string(300, 'x'), std::string(238, 'x') + ".html"},
                      // 300 bytes of two-byte characters: cut before the one that would not fit whole.
                      CopyNameCase{"longAccents",
                                   [] {
                                       std::string s;
                                       for (int i = 0; i < 150; ++i)
                                           s += e9;
                                       return s;
                                   }(),
                                   [] {
                                       std::string s;
                                       for (int i = 0; i < 119; ++i)
                                           s += e9;
                                       return s + ".html";
                                   }()}),
    caseName);

} // namespace

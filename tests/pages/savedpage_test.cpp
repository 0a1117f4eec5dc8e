#include "about/invite.h"
#include "pages/savedpage.h"

#include "testfolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

struct InviteCase {
    const char* name;
    const char* yourName;
    const char* friendName;
    const char* friendEmail;
    const char* query;
};

class InviteUrl : public ::testing::TestWithParam<InviteCase> { };

TEST_P(InviteUrl, IsEncodedInOnePass)
{
    const InviteCase& c = GetParam();
    EXPECT_EQ(about::buildInviteUrl("https://invite.example", c.yourName, c.friendName, c.friendEmail, "Quillobrand"),
              std::string("https://invite.example/cgi/invite/invite.cgi?") + c.query);
}

INSTANTIATE_TEST_SUITE_P(Cases, InviteUrl, ::testing::Values(
    InviteCase{"annLee", "Ann Lee", "Bob", "b", "fromname=Ann%20Lee&toname=Bob&toemail=b&version=Quillobrand"},
    InviteCase{"ampersandStays", "A&B", "C=D", "e@f.org", "fromname=A&B&toname=C=D&toemail=e@f.org&version=Quillobrand"},
    InviteCase{"highByte", "Ren\xE9", "", "", "fromname=Ren%E9&toname=&toemail=&version=Quillobrand"},
    InviteCase{"bracketsAndPercent", "[x]", "50%", "a\"<b>", "fromname=%5Bx%5D&toname=50%25&toemail=a%22%3Cb%3E&version=Quillobrand"},
    InviteCase{"reservedKept", "!$'()*+,;", "-._~", "#/?:", "fromname=!$'()*+,;&toname=-._~&toemail=#/?:&version=Quillobrand"},
    InviteCase{"controlBytes", "a\tb\nc", "\x7F", "{|}^`\\", "fromname=a%09b%0Ac&toname=%7F&toemail=%7B%7C%7D%5E%60%5C&version=Quillobrand"}),
    [](const auto& info) { return std::string(info.param.name); });

class SavedPage : public ::testing::Test {
protected:
    void SetUp() override { folder = makeTestFolder("qb-savedpage"); }
    void TearDown() override { std::filesystem::remove_all(folder); }
    std::optional<std::string> shown(const std::string& bytes)
    {
        std::ofstream(folder + "p.html", std::ios::binary) << bytes;
        return pages::readSavedPageForShowing(folder + "p.html");
    }
    std::string folder;
};

TEST_F(SavedPage, ScriptLinesAreDroppedAndTheRestJoined)
{
    EXPECT_EQ(shown("<html>\r\n<script src=\"/js/a.js\"></script>\r\n<a\nhref=x>\rB</a>\r\n"),
              "<html><ahref=x>B</a>");
    EXPECT_EQ(shown("/JS/ stays\n/js/\nx/js/y\nend"), "/JS/ staysend");
    EXPECT_EQ(shown(""), "");
    EXPECT_EQ(shown("\xEF\xBB\xBFno line end"), "\xEF\xBB\xBFno line end");
    EXPECT_FALSE(pages::readSavedPageForShowing(folder + "missing.html"));
    EXPECT_FALSE(pages::readSavedPageForShowing(folder));
    EXPECT_EQ(pages::savedPageFile(""), "savedpages/.html");
}

} // namespace

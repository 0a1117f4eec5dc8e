#include "shell/pagetitle.h"

#include <gtest/gtest.h>

namespace {

struct TitleCase {
    const char* name;
    std::string source;
    std::string title;
};

class PageTitle : public ::testing::TestWithParam<TitleCase> { };

TEST_P(PageTitle, FromSource)
{
    EXPECT_EQ(shell::pageTitleFromSource(GetParam().source), GetParam().title);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, PageTitle,
    ::testing::Values(
        TitleCase{"punctuationAndAmpersand", "<html><h2>Cars: 2 / 3 &amp; more?</h2>", "Cars 2  3 & more "},
        TitleCase{"noHeading", "<html><body>nothing</body></html>", ""},
        TitleCase{"onlyClosingTag", "<p>x</p></h2>", ""}, TitleCase{"noClosingTag", "<h2>Unfinished heading", ""},
        TitleCase{"closingBeforeOpening", "</h2> first <h2>Late</h2>", ""}, TitleCase{"emptyHeading", "<h2></h2>", ""},
        TitleCase{"firstHeadingOnly", "<h2>One</h2><h2>Two</h2>", "One"},
        TitleCase{"upperCaseTagIsNotAHeading", "<H2>Shout</H2>", ""},
        TitleCase{"starsRemoved", "<h2>**Big** sale</h2>", "Big sale"},
        TitleCase{"threeBlanksBecomeTwoFourBecomeTwo", "<h2>a   b    c</h2>", "a  b  c"},
        TitleCase{"backslashAndColon", "<h2>C:\\dir</h2>", "C dir"},
        TitleCase{"ampersandAnyCase", "<h2>A &AMP; B &Amp; C</h2>", "A & B & C"},
        TitleCase{"ampersandMadeAfterBlankMerge", "<h2>x &amp;amp; y</h2>", "x &amp; y"},
        TitleCase{"tagsInsideAreDropped", "<h2><b>Bold</b> text</h2>", "Bold text"},
        TitleCase{"cityLinkGivesItsText", "<h2><a href=\"http://boston.localhost:46673\">BOSTON</a></h2>", "BOSTON"},
        TitleCase{"quotedGreaterThanInsideATag", "<h2><a title='a>b' href=\"x>y\">Desk</a>s</h2>", "Desks"},
        TitleCase{"loneLessThanStays", "<h2>1 < 2 <3</h2>", "1 < 2 <3"},
        TitleCase{"commentDropped", "<h2>A<!-- note -->B</h2>", "AB"},
        TitleCase{"blanksLeftByTagsMergeOnce", "<h2>a <i></i>  b</h2>", "a  b"},
        TitleCase{"cutOffTagTakesTheRest", "<h2>Lamp <span class=\"x</h2>", "Lamp "},
        TitleCase{"eightBitBytesKept", "<h2>Caf\xc3\xa9 / Bar</h2>", "Caf\xc3\xa9  Bar"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReplaceAllIgnoringCase, OneLeftToRightPass)
{
    EXPECT_EQ(shell::replaceAllIgnoringCase("aaaa", "aa", "a"), "aa");
    EXPECT_EQ(shell::replaceAllIgnoringCase("xAbAB", "ab", "-"), "x--");
    EXPECT_EQ(shell::replaceAllIgnoringCase("abc", "", "-"), "abc");
}

} // namespace

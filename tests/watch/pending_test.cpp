// The ads a watch keeps until its digest has gone, and the last result that says what became of a run.

#include "watch/pending.h"
#include "watch/watchfile.h"
#include "watch/watchrun.h"

#include "platform/files.h"
#include "shell/programstate.h"
#include "testfolder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using namespace watch;

namespace {

search::NewAd adNumber(int n, std::string oldPrice = {})
{
    const std::string id = std::to_string(n);
    return {"boston", "<p class=\"ad\">" + id + "</p>", "Ad " + id,         "$" + id,
            "Town",   "https://x.example.org/" + id,    std::move(oldPrice)};
}

bool sameAds(const std::vector<search::NewAd>& a, const std::vector<search::NewAd>& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].cityCode != b[i].cityCode || a[i].itemHtml != b[i].itemHtml || a[i].title != b[i].title
            || a[i].price != b[i].price || a[i].place != b[i].place || a[i].link != b[i].link
            || a[i].oldPrice != b[i].oldPrice)
            return false;
    }
    return true;
}

TEST(Pending, EveryByteOfEveryFieldComesBack)
{
    search::NewAd odd = adNumber(1, "$2");
    odd.title = "tab\there, CR\r LF\n back\\slash \\t and \xFF\x01";
    odd.itemHtml = "<p>\r\n</p>\t\\";
    const std::vector<search::NewAd> ads = {odd, adNumber(2), adNumber(3, "$9")};
    const std::string bytes = encodePending(ads);
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 3) << "one ad a line";
    EXPECT_TRUE(sameAds(decodePending(bytes), ads));
}

struct DamageCase {
    const char* name;
    std::string (*damage)(const std::string& bytes);
    size_t adsLeft;
};

class PendingDamaged : public ::testing::TestWithParam<DamageCase> { };

TEST_P(PendingDamaged, WholeLinesOnly)
{
    const std::string bytes = encodePending({adNumber(1), adNumber(2), adNumber(3)});
    const std::vector<search::NewAd> read = decodePending(GetParam().damage(bytes));
    ASSERT_EQ(read.size(), GetParam().adsLeft);
    for (size_t i = 0; i < read.size(); ++i)
        EXPECT_EQ(read[i].title, "Ad " + std::to_string(i + 1));
}

INSTANTIATE_TEST_SUITE_P(
    Table, PendingDamaged,
    ::testing::Values(DamageCase{"whole", [](const std::string& b) { return b; }, 3},
                      DamageCase{"cutInTheLastAd", [](const std::string& b) { return b.substr(0, b.size() - 5); }, 2},
                      DamageCase{"lastLineEndLost", [](const std::string& b) { return b.substr(0, b.size() - 1); }, 2},
                      DamageCase{"aLineOfOtherText", [](const std::string& b) { return "hello\n" + b; }, 3},
                      DamageCase{"empty", [](const std::string&) { return std::string(); }, 0}),
    [](const auto& info) { return std::string(info.param.name); });

struct BoundCase {
    const char* name;
    int pendingBefore;
    int added; // numbered after those pending
    int alreadyPending; // of the added, how many are the last ones pending again
    int kept;
    int first; // the number of the first ad kept
};

class PendingBound : public ::testing::TestWithParam<BoundCase> { };

TEST_P(PendingBound, TheNewestFiveHundredAndEachOnce)
{
    const BoundCase& c = GetParam();
    std::vector<search::NewAd> pending, added;
    for (int i = 1; i <= c.pendingBefore; ++i)
        pending.push_back(adNumber(i));
    for (int i = c.pendingBefore + 1 - c.alreadyPending; i <= c.pendingBefore + c.added - c.alreadyPending; ++i)
        added.push_back(adNumber(i));
    const std::vector<search::NewAd> kept = pendingWith(pending, added);
    ASSERT_EQ(kept.size(), size_t(c.kept));
    EXPECT_EQ(kept.front().title, "Ad " + std::to_string(c.first));
    EXPECT_EQ(kept.back().title, "Ad " + std::to_string(c.first + c.kept - 1)) << "in order, none twice";
}

INSTANTIATE_TEST_SUITE_P(Table, PendingBound,
                         ::testing::Values(BoundCase{"fewAdded", 3, 2, 0, 5, 1},
                                           BoundCase{"sameAdAgainOnce", 3, 2, 1, 4, 1},
                                           BoundCase{"exactlyTheBound", 300, 200, 0, 500, 1},
                                           BoundCase{"oldestGoFirst", 450, 100, 0, 500, 51},
                                           BoundCase{"aRunOfThousands", 10, 2000, 0, 500, 1511}),
                         [](const auto& info) { return std::string(info.param.name); });

class PendingFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = makeTestFolder("qb-pending");
        shell::programFolder = folder;
        fs::create_directories(folder + "watch");
    }
    void TearDown() override
    {
        fs::remove_all(folder);
        shell::programFolder.clear();
    }
    std::string folder;
};

TEST_F(PendingFile, WrittenBesideTheWatchAndGoneWithIt)
{
    EXPECT_TRUE(readPending("Flats").empty());
    ASSERT_TRUE(writePending("Flats", {adNumber(1), adNumber(2)}));
    EXPECT_TRUE(fs::exists(folder + "watch/Flats.pending"));
    EXPECT_EQ(readPending("Flats").size(), 2u);
    ASSERT_TRUE(writePending("Flats", {}));
    EXPECT_FALSE(fs::exists(folder + "watch/Flats.pending")) << "nothing pending leaves no file";
    EXPECT_TRUE(writePending("Flats", {})) << "nothing to remove is no failure";

    ASSERT_TRUE(writeWatch("Flats", WatchFile{}));
    ASSERT_TRUE(writePending("Flats", {adNumber(1)}));
    EXPECT_TRUE(removeWatch("Flats"));
    EXPECT_FALSE(fs::exists(folder + "watch/Flats.pending")) << "an ended watch mails nothing more";
    EXPECT_FALSE(writePending("../Flats", {adNumber(1)}));
}

struct ResultCase {
    const char* name;
    void (*change)(WatchRun& run);
    const char* line;
};

class LastResult : public ::testing::TestWithParam<ResultCase> { };

TEST_P(LastResult, SaysWhatBecameOfTheRun)
{
    WatchRun run;
    run.searchFound = true;
    run.outcome.lineCount = run.outcome.passes = 3;
    run.outcome.newCount = 2;
    GetParam().change(run);
    EXPECT_EQ(lastResultLine(run), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Table, LastResult,
    ::testing::Values(
        ResultCase{"newAdsAsBefore", [](WatchRun&) {}, "2 new ads"},
        ResultCase{"mailSent", [](WatchRun& r) { r.mailResult = "mail sent"; }, "2 new ads; mail sent"},
        ResultCase{"drops",
                   [](WatchRun& r) {
                       r.outcome.cheaperCount = 1;
                       r.mailResult = "mail sent";
                   },
                   "2 new ads, 1 cheaper; mail sent"},
        ResultCase{"memoryNotSaved",
                   [](WatchRun& r) {
                       r.outcome.memoryNotSaved = true;
                       r.outcome.memoryFailure = "No space left on device";
                   },
                   "2 new ads; the list of ads already seen could not be saved (No space left on device), so nobody "
                   "was told: the same ads will count as new next time"},
        ResultCase{"notificationNotShown", [](WatchRun& r) { r.notificationNotShown = true; },
                   "2 new ads; the notification could not be shown"},
        ResultCase{"mailFailedAdsKept",
                   [](WatchRun& r) {
                       r.mailResult = "mail failed: -996 Invalid handshake received: 554 go away";
                       r.adsPending = 5;
                   },
                   "2 new ads; mail failed: -996 Invalid handshake received: 554 go away; 5 ads wait for the next "
                   "mail"},
        ResultCase{"oneAdKept",
                   [](WatchRun& r) {
                       r.mailResult = "mail stopped by the program before it was sent";
                       r.adsPending = 1;
                   },
                   "2 new ads; mail stopped by the program before it was sent; 1 ad waits for the next mail"},
        ResultCase{"diskFull",
                   [](WatchRun& r) {
                       r.outcome.pageComplete = false;
                       r.outcome.diskFull = true;
                       r.outcome.interrupted = true;
                       r.outcome.passes = 2;
                   },
                   "2 new ads; stopped after 2 of 3 cities; the page could not be written whole: the disk is full, "
                   "so nobody was told"},
        ResultCase{"pageNotWhole", [](WatchRun& r) { r.outcome.pageComplete = false; },
                   "2 new ads; the page could not be written whole, so nobody was told"},
        ResultCase{"searchGone", [](WatchRun& r) { r.searchFound = false; }, "The saved search is gone."}),
    [](const auto& info) { return std::string(info.param.name); });

struct DueCase {
    const char* name;
    void (*change)(search::RunOutcome& outcome);
    bool due;
};

class AlertDue : public ::testing::TestWithParam<DueCase> { };

TEST_P(AlertDue, OnlyWhatTheMemoryKeepsIsTold)
{
    search::RunOutcome outcome;
    outcome.newCount = 1;
    GetParam().change(outcome);
    EXPECT_EQ(alertDue(outcome), GetParam().due);
}

INSTANTIATE_TEST_SUITE_P(
    Table, AlertDue,
    ::testing::Values(DueCase{"newAds", [](search::RunOutcome&) {}, true},
                      DueCase{"nothing", [](search::RunOutcome& o) { o.newCount = 0; }, false},
                      DueCase{"dropsAlone",
                              [](search::RunOutcome& o) {
                                  o.newCount = 0;
                                  o.cheaperCount = 1;
                              },
                              true},
                      DueCase{"memoryNotSaved", [](search::RunOutcome& o) { o.memoryNotSaved = true; }, false},
                      DueCase{"pageNotWhole", [](search::RunOutcome& o) { o.pageComplete = false; }, false}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace

// The ad items of the main browser's link menu: kept in the store at once, followed by the page shown without a
// jump and without turning its script on; and the note dialog.

#include "shellfixture.h"

#include "search/adnotedialog.h"
#include "search/adstore.h"
#include "search/searchrun.h"
#include "shell/admenu.h"
#include "shell/mainwindow.h"
#include "shell/programstate.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <memory>

namespace {

const std::string link = "https://springfield.example.org/fuo/d/desk/";

class AdMenu : public ShellTest {
protected:
    // A store that knows K0 to K59 of springfield, and a results page that lists them.
    void SetUp() override
    {
        ShellTest::SetUp();
        shell::programFolder = folder;
        search::AdStore store;
        ASSERT_EQ(store.open(folder + "ads.db"), search::StoreStatus::ok);
        search::StoreRun run;
        ASSERT_TRUE(run.begin(&store, "/search/sss?query=desk", 1'800'000'000));
        run.beginCity("springfield", 1);
        std::string page = search::cityHeadingLine("springfield", "https", "example.org") + "\r\n";
        for (int i = 0; i < 60; ++i) {
            search::RunAd ad;
            ad.key = "K" + std::to_string(i);
            ad.link = link + ad.key + ".html";
            ad.title = "Desk " + std::to_string(i);
            ad.price = "$" + std::to_string(10 + i);
            ad.pagePosition = i;
            run.noteAd(ad);
            page += "<p class=\"ad\"><a href=\"" + ad.link + "\">" + ad.title + "</a> " + ad.price + "</p>";
        }
        ASSERT_TRUE(run.endCity(true));
        ASSERT_TRUE(run.finish());
        writeFile(folder + "Last Search.html", page + "<br>" + std::string(search::adListStyle) + "\r\n");
    }

    // Runs a script in the page and waits for its answer.
    std::string ask(const std::string& script)
    {
        auto answer = std::make_shared<std::optional<std::string>>();
        shell::mainBrowser->runProgramScript(script, [answer](const std::string& value) { *answer = value; });
        EXPECT_TRUE(processEventsUntil([&] { return answer->has_value(); }, 10000));
        return answer->value_or("");
    }
    std::vector<std::string> captions(const std::string& target)
    {
        std::vector<std::string> texts;
        for (const auto& item : shell::mainBrowser->linkMenuItems(target))
            texts.push_back(item.caption);
        return texts;
    }
    void choose(const std::string& target, const std::string& caption)
    {
        for (const auto& item : shell::mainBrowser->linkMenuItems(target))
            if (item.caption == caption)
                return item.action();
        ADD_FAILURE() << "no item " << caption;
    }
    // The item of an ad as the page now has it, "" when it is gone.
    std::string itemHtml(const std::string& key)
    {
        return ask("(function(){var a=document.querySelector('a[href$=\"/" + key
                   + ".html\"]');return a?a.parentNode.outerHTML:'';})()");
    }
};

TEST_F(AdMenu, ItemsKeepTheChangeAndThePageFollowsInPlace)
{
    startShell();
    // The results page, not the blank one before it.
    ASSERT_TRUE(processEventsUntil([&] { return ask("String(document.querySelectorAll('p.ad').length)") == "60"; }));
    ask("window.scrollTo(0, 400)");
    ASSERT_TRUE(processEventsUntil([&] { return ask("String(window.scrollY)") == "400"; }));
    // Where an ad in view stands in the window: the page may shift under items that go, but the view stays.
    const std::string k30At = "String(Math.round(document.querySelector('a[href$=\"/K30.html\"]')"
                              ".getBoundingClientRect().top))";
    const std::string inView = ask(k30At);

    // Only a link the store knows has the items.
    const std::string k3 = link + "K3.html";
    EXPECT_EQ(captions(k3), (std::vector<std::string>{"Star Ad", "Hide Ad", "Ad Note\u2026"}));
    EXPECT_TRUE(captions(link + "K999.html").empty());
    EXPECT_TRUE(captions("https://example.org/about").empty());

    search::AdStore store;
    ASSERT_EQ(store.open(folder + "ads.db"), search::StoreStatus::ok);
    choose(k3, "Star Ad");
    EXPECT_TRUE(store.marksOf("K3").starred);
    EXPECT_TRUE(processEventsUntil([&] { return itemHtml("K3").starts_with("<p class=\"ad\">\u2605 <a "); }))
        << itemHtml("K3");
    EXPECT_EQ(captions(k3).at(0), "Unstar Ad");

    whenWindowOpens("adNoteDialog", [](QWidget* dialog) {
        EXPECT_EQ(child<QLabel>(dialog, "adTitleLabel")->text(), "Desk 3");
        child<QPlainTextEdit>(dialog, "noteField")->setPlainText("ask <b>Bob</b>\nafter 5");
        child<QAbstractButton>(dialog, "saveButton")->click();
    });
    choose(k3, "Ad Note\u2026");
    EXPECT_EQ(store.marksOf("K3").note, "ask <b>Bob</b>\nafter 5");
    EXPECT_TRUE(processEventsUntil([&] {
        return itemHtml("K3").ends_with("<br><i class=\"note\">ask &lt;b&gt;Bob&lt;/b&gt;<br>after 5</i></p>");
    })) << itemHtml("K3");

    choose(k3, "Unstar Ad");
    EXPECT_FALSE(store.marksOf("K3").starred);
    EXPECT_TRUE(processEventsUntil([&] { return itemHtml("K3").starts_with("<p class=\"ad\"><a "); }));

    choose(k3, "Hide Ad");
    choose(link + "K4.html", "Hide Ad");
    EXPECT_TRUE(store.marksOf("K4").hidden);
    EXPECT_TRUE(processEventsUntil([&] {
        return itemHtml("K3").empty() && itemHtml("K4").empty()
            && ask("document.querySelector('p.hidden').textContent") == "2 hidden";
    }));
    EXPECT_EQ(ask(k30At), inView);
    EXPECT_NE(ask("String(window.scrollY)"), "0");
    EXPECT_EQ(ask("String(document.querySelectorAll('p.ad').length)"), "58");

    // The page's own script stayed off.
    auto* view = static_cast<QWebEngineView*>(shell::mainBrowser->view());
    EXPECT_FALSE(view->page()->settings()->testAttribute(QWebEngineSettings::JavascriptEnabled));
}

TEST_F(AdMenu, NoteDialogKeepsTheNoteOnlyOnSaveAndAtMost2000Characters)
{
    QWidget parent;
    std::string note = "old";
    whenWindowOpens("adNoteDialog", [](QWidget* dialog) {
        child<QPlainTextEdit>(dialog, "noteField")->setPlainText("changed");
        child<QAbstractButton>(dialog, "cancelButton")->click();
    });
    EXPECT_FALSE(search::runAdNoteDialog(&parent, "Desk", note));
    EXPECT_EQ(note, "old");

    whenWindowOpens("adNoteDialog", [](QWidget* dialog) {
        auto* field = child<QPlainTextEdit>(dialog, "noteField");
        EXPECT_EQ(field->toPlainText(), "old");
        field->setPlainText(QString(2500, QChar(0x00E9)));
        EXPECT_EQ(field->toPlainText().size(), 2000);
        child<QAbstractButton>(dialog, "saveButton")->click();
    });
    EXPECT_TRUE(search::runAdNoteDialog(&parent, "Desk", note));
    EXPECT_EQ(note.size(), 4000u); // 2,000 two-byte characters
}

} // namespace

// The Ads window over a real ad store in the test's program folder: its menu item and frame, its controls, tool
// tips and keyboard order, the searches it offers, the filter row, sorting by a header, Space and Delete, the
// preview that waits for the selection to rest, the export, forgetting a search and what it keeps for next time.

#include "shellfixture.h"

#include "ads/adsource.h"
#include "ads/adswindow.h"
#include "platform/desktop.h"
#include "platform/filedialog.h"
#include "search/adstore.h"
#include "search/savedsearch.h"
#include "shell/mainwindow.h"
#include "shell/programstate.h"
#include "watch/watchfile.h"
#include "watch/watchrun.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QTimer>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>
#include <QWebEngineHistory>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <deque>
#include <filesystem>
#include <set>

namespace fs = std::filesystem;
using namespace shell;

namespace {

struct CityAds {
    std::string code;
    std::vector<search::RunAd> ads;
};

search::RunAd ad(const std::string& key, const std::string& title, const std::string& price,
                 search::RunAd::Kind kind = search::RunAd::shown)
{
    search::RunAd made;
    made.key = key;
    made.link = "http://127.0.0.1:9/ad/" + key + ".html";
    made.title = title;
    made.price = price;
    made.place = "place " + key;
    made.kind = kind;
    return made;
}

class AdsWindowTest : public ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        fs::create_directories(folder + "watch");
        ads::forgetWindowState();
    }
    void TearDown() override
    {
        platform::setSaveFileChooser({});
        platform::setUrlOpener({});
        ShellTest::TearDown();
    }

    // Saves a search under name and returns its tail as the store knows it.
    std::string saveSearch(const std::string& name, const std::string& words)
    {
        search::SearchDefinition definition;
        definition.categoryCode = "sss";
        definition.words = words;
        definition.areaListName = "Major Cities";
        EXPECT_TRUE(search::writeSavedSearch(folder + search::savedSearchFile(name), definition));
        return ads::savedSearchTail(name).value_or("");
    }

    // One finished run of the search into the store.
    void runIntoStore(const std::string& tail, const std::vector<CityAds>& cities, std::int64_t now = 1767225600)
    {
        search::AdStore store;
        ASSERT_EQ(store.open(search::adStorePath()), search::StoreStatus::ok);
        search::StoreRun run;
        ASSERT_TRUE(run.begin(&store, tail, now));
        int position = 1;
        for (const CityAds& city : cities) {
            run.beginCity(city.code, position++);
            int page = 0;
            for (search::RunAd listed : city.ads) {
                listed.pagePosition = page++;
                listed.isNew = run.isNew(city.code, listed.key);
                run.noteAd(listed);
            }
            ASSERT_TRUE(run.endCity(true));
        }
        ASSERT_TRUE(run.finish());
    }

    // The Last Search with ads in two cities; 101 is cross-posted under chicago.
    std::string deskSearch()
    {
        const std::string tail = saveSearch("Last Search", "desk");
        runIntoStore(
            tail,
            {{"boston",
              {ad("101", "Oak desk", "$120"), ad("102", "Standing desk", "$450"), ad("103", "Desk lamp", "free")}},
             {"chicago",
              {ad("201", "Kids desk", "$80"), ad("101", "Oak desk", "$120", search::RunAd::folded),
               ad("202", "Walnut desk, large", "$1,200")}}});
        return tail;
    }

    QAction* menuItem(const char* text)
    {
        for (QAction* menu : mainWindow->menuBar()->actions())
            for (QAction* action : menu->menu()->actions())
                if (action->text() == text)
                    return action;
        return nullptr;
    }

    // Opens the window by its menu item, runs act on it and closes it by Exit.
    void withAdsWindow(const std::function<void(QWidget*)>& act)
    {
        QAction* item = menuItem("Ads List");
        ASSERT_NE(item, nullptr);
        bool acted = false;
        QTimer poll;
        QElapsedTimer clock;
        clock.start();
        QObject::connect(&poll, &QTimer::timeout, [&] {
            QWidget* window = nullptr;
            for (QWidget* top : QApplication::topLevelWidgets())
                if (top->objectName() == "adsWindow" && top->isVisible())
                    window = top;
            if (!window && clock.elapsed() < 60000)
                return;
            poll.stop();
            if (!window) {
                QWidget* modal = QApplication::activeModalWidget();
                ADD_FAILURE() << "no Ads window; the modal one: " << (modal ? modal->objectName().toStdString() : "none");
                return;
            }
            act(window);
            acted = true;
            child<QPushButton>(window, "exitButton")->click();
        });
        poll.start(10);
        item->trigger();
        EXPECT_TRUE(acted);
    }

    static std::vector<std::string> column(QWidget* window, int column)
    {
        auto* list = window->findChild<QTreeView*>("adsList");
        std::vector<std::string> texts;
        for (int row = 0; list && row < list->model()->rowCount(); ++row)
            texts.push_back(list->model()->index(row, column).data().toString().toStdString());
        return texts;
    }

    static std::string status(QWidget* window) { return child<QLabel>(window, "statusLine")->text().toStdString(); }

    static void clickHeader(QWidget* window, int section)
    {
        QHeaderView* header = child<QTreeView>(window, "adsList")->header();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(section) + 5, header->height() / 2));
    }

    static void selectRow(QWidget* window, int row)
    {
        auto* list = child<QTreeView>(window, "adsList");
        list->setFocus();
        list->selectionModel()->setCurrentIndex(list->model()->index(row, 0),
                                                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
};

search::StoredAd stored(const std::string& key, const std::string& city, int cityPosition, bool folded = false)
{
    search::StoredAd made;
    made.key = key;
    made.cityCode = city;
    made.cityPosition = cityPosition;
    made.title = "Desk " + key;
    made.link = "https://" + city + ".site.org/d/a&quot;b/" + key + ".html";
    made.folded = folded;
    return made;
}

TEST(AdRowsFromStore, EachAdOnceWhereShownInFull)
{
    struct Case {
        bool oncePerKey;
        std::vector<std::string> keysAndCities;
    };
    const Case cases[]
        = {{false, {"1 BOSTON", "2 BOSTON", "2 DENVER", "3 DENVER"}}, {true, {"1 BOSTON", "2 BOSTON", "3 DENVER"}}};
    for (const Case& c : cases) {
        std::vector<search::StoredAd> ads
            = {stored("1", "boston", 1), stored("2", "boston", 1), stored("1", "denver", 2, true),
               stored("2", "denver", 2), stored("3", "denver", 2)};
        std::vector<std::string> got;
        const std::vector<ads::AdRow> rows = ads::rowsOf(std::move(ads), c.oncePerKey);
        for (const ads::AdRow& row : rows)
            got.push_back(std::string(row.key()) + " " + std::string(row.city()));
        EXPECT_EQ(got, c.keysAndCities) << c.oncePerKey;
        ASSERT_FALSE(rows.empty());
        EXPECT_EQ(rows[0].link(), "https://boston.site.org/d/a\"b/1.html") << "the href's &quot; is a quote";
        EXPECT_TRUE(rows[0].titleHolds("desk 1"));
    }
    // The store's cities in their order first, then the rows' others.
    std::vector<ads::AdRow> rows(2);
    rows[0].setText(ads::Text::city, "AUSTIN");
    rows[1].setText(ads::Text::city, "BOSTON");
    EXPECT_EQ(ads::cityChoices({"denver", "boston"}, rows), (std::vector<std::string>{"DENVER", "BOSTON", "AUSTIN"}));
}

TEST_F(AdsWindowTest, RowsComeInThePagesOrderNotTheStores)
{
    // The store keeps ads by city code and key; the list shows them by the area list and the page.
    const std::string tail = saveSearch("Last Search", "desk");
    runIntoStore(tail, {{"seattle", {ad("9", "Desk 9", "$9"), ad("10", "Desk 10", "$10"), ad("05", "Desk 5", "$5")}},
                        {"austin", {ad("7", "Desk 7", "$7"), ad("9", "Desk 9", "$9", search::RunAd::folded)}},
                        {"boston", {ad("1", "Desk 1", "$1")}}});
    search::AdStore store;
    ASSERT_EQ(store.open(search::adStorePath()), search::StoreStatus::ok);
    std::vector<std::string> rows, stored;
    for (const ads::AdRow& row : ads::searchRows(store, tail))
        rows.push_back(std::string(row.city()) + " " + std::string(row.key()));
    for (const search::StoredAd& ad : store.searchAds(tail))
        stored.push_back(ad.cityCode + " " + ad.key);
    EXPECT_EQ(rows, (std::vector<std::string>{"SEATTLE 9", "SEATTLE 10", "SEATTLE 05", "AUSTIN 7", "BOSTON 1"}));
    EXPECT_EQ(stored, (std::vector<std::string>{"seattle 9", "seattle 10", "seattle 05", "austin 7", "austin 9",
                                                "boston 1"}));
}

TEST_F(AdsWindowTest, MenuItemAboveWatchSearchesWithCtrlL)
{
    startShell();
    std::vector<std::string> items;
    QAction* adsItem = nullptr;
    for (QAction* menu : mainWindow->menuBar()->actions())
        if (menu->text() == "Menu")
            for (QAction* action : menu->menu()->actions()) {
                items.push_back(action->text().toStdString());
                if (action->text() == "Ads List")
                    adsItem = action;
            }
    EXPECT_EQ(items, (std::vector<std::string>{"Ads List", "Watch Searches", "Find in Page", "Exit Program"}));
    ASSERT_NE(adsItem, nullptr);
    EXPECT_EQ(adsItem->shortcut(), QKeySequence("Ctrl+L"));
    // The key reaches the item from the main window, where the browser has the keyboard.
    bool opened = false;
    whenWindowOpens("adsWindow", [&](QWidget* window) {
        opened = true;
        child<QPushButton>(window, "exitButton")->click();
    });
    mainWindow->activateWindow();
    processEventsUntil([] { return QApplication::activeWindow() == mainWindow; }, 5000);
    QTest::keyClick(mainWindow, Qt::Key_L, Qt::ControlModifier);
    processEventsUntil([&] { return opened; }, 60000);
    EXPECT_TRUE(opened);
}

TEST_F(AdsWindowTest, WindowFrameControlsAndKeyboardOrder)
{
    startShell();
    QString title;
    QRect geometry;
    bool resizable = false, mainEnabled = true;
    std::map<std::string, std::string> captions;
    std::vector<std::string> headers, unreachable;
    withAdsWindow([&](QWidget* window) {
        title = window->windowTitle();
        geometry = window->geometry();
        resizable = window->minimumSize() != window->maximumSize();
        mainEnabled = mainWindow->isEnabled();
        for (QLabel* label : window->findChildren<QLabel*>())
            captions[label->objectName().toStdString()] = label->text().toStdString();
        for (QAbstractButton* button : window->findChildren<QAbstractButton*>())
            captions[button->objectName().toStdString()] = button->text().toStdString();
        auto* list = child<QTreeView>(window, "adsList");
        for (int section = 0; section < list->model()->columnCount(); ++section)
            headers.push_back(list->model()->headerData(section, Qt::Horizontal).toString().toStdString());
        // Tab from the first control visits every control.
        std::set<std::string> reached;
        QWidget* at = child(window, "searchBox");
        for (int step = 0; step < 200 && at; ++step, at = at->nextInFocusChain())
            if (at->focusPolicy() & Qt::TabFocus)
                reached.insert(at->objectName().toStdString());
        for (const char* name : {"searchBox", "wordsField", "minField", "maxField", "cityBox", "newOnlyBox",
                                 "starredOnlyBox", "showHiddenBox", "adsList", "openButton", "starButton", "hideButton",
                                 "noteButton", "exportButton", "forgetButton", "exitButton"})
            if (!reached.count(name))
                unreachable.push_back(name);
    });
    EXPECT_EQ(title, "Quillobrand Ads");
    EXPECT_EQ(geometry, mainWindow->geometry()) << "opens at the main window's size and place";
    EXPECT_TRUE(resizable);
    EXPECT_FALSE(mainEnabled) << "modal";
    EXPECT_TRUE(mainWindow->isEnabled());
    EXPECT_EQ(headers, (std::vector<std::string>{"★", "Title", "Price", "Place", "City", "First Seen"}));
    EXPECT_EQ(unreachable, std::vector<std::string>{});
    const std::pair<const char*, const char*> expected[] = {
        {"searchCaption", "Search"},
        {"wordsCaption", "Words"},
        {"minCaption", "Min"},
        {"maxCaption", "Max"},
        {"newOnlyBox", "New Only"},
        {"starredOnlyBox", "Starred Only"},
        {"showHiddenBox", "Show Hidden"},
        {"openButton", "Open in Browser"},
        {"starButton", "Star"},
        {"hideButton", "Hide"},
        {"noteButton", "Note…"},
        {"exportButton", "Export CSV…"},
        {"forgetButton", "Forget This Search"},
        {"exitButton", "Exit"},
        {"statusLine", "0 ads, 0 shown"},
    };
    for (const auto& [name, caption] : expected)
        EXPECT_EQ(captions[name], caption) << name;
}

class AdsToolTips : public AdsWindowTest, public ::testing::WithParamInterface<int> { };

TEST_P(AdsToolTips, OnEveryControlOnlyWhenExpertModeIsZero)
{
    writeFile(folder + "Quillobrand.cfg", configBytes(GetParam(), 0, 0));
    startShell();
    std::vector<std::string> withTip, withoutTip;
    withAdsWindow([&](QWidget* window) {
        for (const char* name :
             {"searchBox", "wordsField", "minField", "maxField", "cityBox", "newOnlyBox", "starredOnlyBox",
              "showHiddenBox", "adsList", "previewBrowser", "openButton", "starButton", "hideButton", "noteButton",
              "exportButton", "forgetButton", "exitButton"})
            (child(window, name)->toolTip().isEmpty() ? withoutTip : withTip).push_back(name);
    });
    EXPECT_EQ((GetParam() == 0 ? withoutTip : withTip), std::vector<std::string>{});
    EXPECT_EQ((GetParam() == 0 ? withTip : withoutTip).size(), 17u);
}

INSTANTIATE_TEST_SUITE_P(ExpertMode, AdsToolTips, ::testing::Values(0, 1));

TEST_F(AdsWindowTest, OffersTheLastWatchedAndStoredSearchesThenStarredAds)
{
    const std::string bikes = saveSearch("Bikes", "bike");
    saveSearch("Cars", "car"); // saved, but the store holds nothing of it
    const std::string flats = saveSearch("Flats", "flat");
    const std::string last = saveSearch("Last Search", "desk");
    ASSERT_TRUE(watch::writeWatch("Flats", watch::WatchFile{}));
    runIntoStore(bikes, {{"austin", {ad("1", "Red bike", "$50"), ad("2", "Blue bike", "$70")}}});
    runIntoStore(last, {{"austin", {ad("2", "Blue bike", "$70"), ad("3", "Desk", "$30")}}});
    {
        search::AdStore store;
        ASSERT_EQ(store.open(search::adStorePath()), search::StoreStatus::ok);
        ASSERT_TRUE(store.setStarred("2", true));
    }
    startShell();
    // The main browser shows the watch's page: the window starts on that watch.
    mainBrowser->navigate(watch::watchRunFiles("Flats").resultsPath);
    std::vector<std::string> entries;
    std::string first, starredTitles, starredStatus;
    withAdsWindow([&](QWidget* window) {
        auto* box = child<QComboBox>(window, "searchBox");
        for (int i = 0; i < box->count(); ++i)
            entries.push_back(box->itemText(i).toStdString());
        first = box->currentText().toStdString();
        box->setCurrentIndex(box->findText("Starred Ads"));
        for (const std::string& title : column(window, 1))
            starredTitles += title + ";";
        starredStatus = status(window);
    });
    EXPECT_EQ(entries, (std::vector<std::string>{"Last Search", "Flats", "Bikes", "Starred Ads"}));
    EXPECT_EQ(first, "Flats");
    EXPECT_EQ(starredTitles, "Blue bike;") << "a starred ad of two searches is listed once";
    EXPECT_EQ(starredStatus, "1 ads, 1 shown");
}

struct FilterCase {
    const char* name;
    const char* words;
    const char* minPrice;
    const char* maxPrice;
    const char* city;
    std::vector<std::string> titles;
};

class AdsFilterRow : public AdsWindowTest, public ::testing::WithParamInterface<FilterCase> { };

TEST_P(AdsFilterRow, ListFollowsAsTheUserTypes)
{
    deskSearch();
    startShell();
    std::vector<std::string> titles, cities;
    std::string shownStatus;
    withAdsWindow([&](QWidget* window) {
        auto* cityBox = child<QComboBox>(window, "cityBox");
        for (int i = 0; i < cityBox->count(); ++i)
            cities.push_back(cityBox->itemText(i).toStdString());
        cityBox->setCurrentIndex(std::max(0, cityBox->findText(GetParam().city)));
        QTest::keyClicks(child(window, "wordsField"), GetParam().words);
        QTest::keyClicks(child(window, "minField"), GetParam().minPrice);
        QTest::keyClicks(child(window, "maxField"), GetParam().maxPrice);
        titles = column(window, 1);
        shownStatus = status(window);
    });
    EXPECT_EQ(cities, (std::vector<std::string>{"All Cities", "BOSTON", "CHICAGO"}));
    EXPECT_EQ(titles, GetParam().titles);
    EXPECT_EQ(shownStatus, "5 ads, " + std::to_string(GetParam().titles.size()) + " shown");
}

INSTANTIATE_TEST_SUITE_P(
    Table, AdsFilterRow,
    ::testing::Values(
        FilterCase{"everything",
                   "",
                   "",
                   "",
                   "All Cities",
                   {"Oak desk", "Standing desk", "Desk lamp", "Kids desk", "Walnut desk, large"}},
        FilterCase{
            "words", "DESK -lamp -oak", "", "", "All Cities", {"Standing desk", "Kids desk", "Walnut desk, large"}},
        FilterCase{"min", "", "100", "", "All Cities", {"Oak desk", "Standing desk", "Walnut desk, large"}},
        FilterCase{"max drops free", "", "", "450", "All Cities", {"Oak desk", "Standing desk", "Kids desk"}},
        FilterCase{"letters are not typed into a price",
                   "",
                   "1x00",
                   "",
                   "All Cities",
                   {"Oak desk", "Standing desk", "Walnut desk, large"}},
        FilterCase{"city", "", "", "", "CHICAGO", {"Kids desk", "Walnut desk, large"}}),
    [](const auto& info) {
        std::string name;
        for (const char* c = info.param.name; *c; ++c)
            name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
        return name;
    });

TEST_F(AdsWindowTest, RoundThroughTheStoreFilterSortStarHideExport)
{
    deskSearch();
    startShell();
    std::string suggested;
    platform::setSaveFileChooser([&](const std::string& path) {
        suggested = path;
        return std::optional<std::string>(folder + "out.csv");
    });
    std::vector<std::string> byPrice, byPriceDown, stars, afterHide, withHidden;
    std::string afterHideStatus, hideCaption;
    withAdsWindow([&](QWidget* window) {
        QTest::keyClicks(child(window, "wordsField"), "desk -lamp");
        clickHeader(window, 2);
        byPrice = column(window, 1);
        clickHeader(window, 2);
        byPriceDown = column(window, 1);
        clickHeader(window, 2); // back to the page's order
        clickHeader(window, 2);
        auto* list = child<QTreeView>(window, "adsList");
        selectRow(window, 0); // Kids desk
        QTest::keyClick(list, Qt::Key_Space);
        stars = column(window, 0);
        selectRow(window, 1); // Oak desk
        QTest::keyClick(list, Qt::Key_Delete);
        afterHide = column(window, 1);
        afterHideStatus = status(window);
        child<QCheckBox>(window, "showHiddenBox")->setChecked(true);
        withHidden = column(window, 1);
        selectRow(window, 1);
        hideCaption = child<QPushButton>(window, "hideButton")->text().toStdString();
        child<QPushButton>(window, "exportButton")->click();
    });
    EXPECT_EQ(byPrice, (std::vector<std::string>{"Kids desk", "Oak desk", "Standing desk", "Walnut desk, large"}));
    EXPECT_EQ(byPriceDown, (std::vector<std::string>{"Walnut desk, large", "Standing desk", "Oak desk", "Kids desk"}));
    EXPECT_EQ(stars, (std::vector<std::string>{"★", "", "", ""}));
    EXPECT_EQ(afterHide, (std::vector<std::string>{"Kids desk", "Standing desk", "Walnut desk, large"}));
    EXPECT_EQ(afterHideStatus, "5 ads, 3 shown");
    EXPECT_EQ(withHidden, (std::vector<std::string>{"Kids desk", "Oak desk", "Standing desk", "Walnut desk, large"}));
    EXPECT_EQ(hideCaption, "Unhide");

    search::AdStore store;
    ASSERT_EQ(store.open(search::adStorePath()), search::StoreStatus::ok);
    EXPECT_TRUE(store.marksOf("201").starred);
    EXPECT_TRUE(store.marksOf("101").hidden);
    EXPECT_FALSE(store.marksOf("102").starred || store.marksOf("102").hidden);

    EXPECT_EQ(suggested, folder + "Last Search ads.csv");
    const std::string csv = readFile(folder + "out.csv");
    ASSERT_EQ(csv.substr(0, 3), "\xEF\xBB\xBF");
    std::vector<std::string> lines;
    for (size_t at = 3, end; (end = csv.find("\r\n", at)) != std::string::npos; at = end + 2)
        lines.push_back(csv.substr(at, end - at));
    ASSERT_EQ(lines.size(), 5u);
    auto startsWith = [](const std::string& line, const std::string& start) { return line.rfind(start, 0) == 0; };
    EXPECT_TRUE(startsWith(lines[0], "city,title,price,price number,")) << lines[0];
    EXPECT_TRUE(startsWith(lines[1], "CHICAGO,Kids desk,$80,80,place 201,http://127.0.0.1:9/ad/201.html,")) << lines[1];
    EXPECT_NE(lines[1].find(",no,,yes,no,"), std::string::npos) << lines[1];
    EXPECT_TRUE(startsWith(lines[2], "BOSTON,Oak desk,")) << lines[2];
    EXPECT_NE(lines[2].find(",no,,no,yes,"), std::string::npos) << lines[2];
    EXPECT_TRUE(startsWith(lines[3], "BOSTON,Standing desk,")) << lines[3];
    EXPECT_TRUE(startsWith(lines[4], "CHICAGO,\"Walnut desk, large\",\"$1,200\",1200,")) << lines[4];
}

TEST_F(AdsWindowTest, PreviewLoadsOnlyTheAdTheSelectionRestsOn)
{
    deskSearch();
    startShell();
    std::vector<std::string> asked, askedWhileOpen;
    std::string restedOn, opened;
    platform::setUrlOpener([&](const std::string& url) { opened = url; });
    withAdsWindow([&](QWidget* window) {
        auto* preview = child<QWebEngineView>(window, "previewBrowser");
        const std::string firstLink = "http://127.0.0.1:9/ad/101.html";
        // The first ad's page is asked for and done with (refused: nothing listens there): its entry is in the
        // preview's history, and it no longer loads.
        ASSERT_TRUE(processEventsUntil([&] {
            return preview->history()->currentItem().url().toString().toStdString() == firstLink
                && !preview->page()->isLoading();
        }));
        // The loads the preview starts from here on: the view's address also moves back to the page it shows
        // while a new one fails, which asks the site for nothing.
        QObject::connect(preview->page(), &QWebEnginePage::loadingChanged, [&](const QWebEngineLoadingInfo& info) {
            if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus)
                asked.push_back(info.url().toString().toStdString());
        });
        auto* list = child<QTreeView>(window, "adsList");
        list->setFocus();
        for (int step = 0; step < 4; ++step)
            QTest::keyClick(list, Qt::Key_Down);
        restedOn = "http://127.0.0.1:9/ad/202.html";
        EXPECT_TRUE(processEventsUntil([&] { return !asked.empty() && !preview->page()->isLoading(); }));
        child<QPushButton>(window, "openButton")->click();
        askedWhileOpen = asked; // the view empties itself as the window goes
    });
    EXPECT_EQ(askedWhileOpen, std::vector<std::string>{restedOn});
    EXPECT_EQ(opened, restedOn);
}

// Selects the rows from first to last, the first one current.
void selectRows(QWidget* window, int first, int last)
{
    auto* list = child<QTreeView>(window, "adsList");
    list->setFocus();
    QAbstractItemModel* model = list->model();
    list->selectionModel()->setCurrentIndex(model->index(first, 0), QItemSelectionModel::NoUpdate);
    list->selectionModel()->select(QItemSelection(model->index(first, 0), model->index(last, model->columnCount() - 1)),
                                   QItemSelectionModel::ClearAndSelect);
}

struct OpenCase {
    const char* name;
    int adCount; // ads of the search, all in one city
    int first, last; // the rows selected
    std::deque<bool> answers;
    size_t opened; // rows 'first' onward
    bool asked;
};

class AdsOpen : public AdsWindowTest, public ::testing::WithParamInterface<OpenCase> { };

TEST_P(AdsOpen, OpensEverySelectedAdAskingFirstForMoreThanTen)
{
    const OpenCase& c = GetParam();
    std::vector<search::RunAd> many;
    for (int i = 0; i < c.adCount; ++i)
        many.push_back(ad(std::to_string(300 + i), "Desk " + std::to_string(i), "$" + std::to_string(10 + i)));
    runIntoStore(saveSearch("Last Search", "desk"), {{"boston", many}});
    startShell();
    answers = c.answers;
    std::vector<std::string> opened;
    platform::setUrlOpener([&](const std::string& url) { opened.push_back(url); });
    withAdsWindow([&](QWidget* window) {
        selectRows(window, c.first, c.last);
        child<QPushButton>(window, "openButton")->click();
    });
    std::vector<std::string> expected;
    for (size_t i = 0; i < c.opened; ++i)
        expected.push_back("http://127.0.0.1:9/ad/" + std::to_string(300 + c.first + int(i)) + ".html");
    EXPECT_EQ(opened, expected);
    ASSERT_EQ(boxes.size(), c.asked ? 1u : 0u);
    if (c.asked)
        EXPECT_EQ(boxes[0].text, "Open the " + std::to_string(c.last - c.first + 1)
                      + " selected ads in your web browser?");
}

INSTANTIATE_TEST_SUITE_P(Selections, AdsOpen,
                         ::testing::Values(OpenCase{"one", 3, 1, 1, {}, 1, false},
                                           OpenCase{"three", 5, 1, 3, {}, 3, false},
                                           OpenCase{"ten", 12, 0, 9, {}, 10, false},
                                           OpenCase{"elevenYes", 12, 0, 10, {true}, 11, true},
                                           OpenCase{"elevenNo", 12, 1, 11, {false}, 0, true}),
                         [](const auto& info) { return std::string(info.param.name); });

struct NoteCase {
    const char* name;
    bool save;
    std::string typed;
    std::string kept; // the note of both selected ads afterwards
};

class AdsNote : public AdsWindowTest, public ::testing::WithParamInterface<NoteCase> { };

TEST_P(AdsNote, NoteDialogWritesTheNoteOfEverySelectedAd)
{
    const NoteCase& c = GetParam();
    deskSearch();
    {
        search::AdStore store;
        ASSERT_EQ(store.open(search::adStorePath()), search::StoreStatus::ok);
        ASSERT_TRUE(store.setNote("101", "old note"));
    }
    startShell();
    std::string dialogTitle, dialogNote, tip;
    withAdsWindow([&](QWidget* window) {
        selectRows(window, 0, 1); // Oak desk (current) and Standing desk
        whenWindowOpens("adNoteDialog", [&](QWidget* dialog) {
            dialogTitle = child<QLabel>(dialog, "adTitleLabel")->text().toStdString();
            auto* field = child<QPlainTextEdit>(dialog, "noteField");
            dialogNote = field->toPlainText().toStdString();
            field->setPlainText(QString::fromStdString(c.typed));
            child<QPushButton>(dialog, c.save ? "saveButton" : "cancelButton")->click();
        });
        child<QPushButton>(window, "noteButton")->click();
        tip = child<QTreeView>(window, "adsList")->model()->index(1, 1).data(Qt::ToolTipRole).toString().toStdString();
    });
    EXPECT_EQ(dialogTitle, "Oak desk");
    EXPECT_EQ(dialogNote, "old note");
    search::AdStore store;
    ASSERT_EQ(store.open(search::adStorePath()), search::StoreStatus::ok);
    EXPECT_EQ(store.marksOf("101").note, c.save ? c.kept : "old note");
    EXPECT_EQ(store.marksOf("102").note, c.save ? c.kept : "");
    EXPECT_EQ(store.marksOf("103").note, "");
    EXPECT_EQ(tip, c.save ? c.kept : "");
}

INSTANTIATE_TEST_SUITE_P(SaveOrCancel, AdsNote,
                         ::testing::Values(NoteCase{"saved", true, "Call after 6 <b>pm</b>", "Call after 6 <b>pm</b>"},
                                           NoteCase{"emptied", true, "", ""},
                                           NoteCase{"cancelled", false, "not kept", ""}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(AdsWindowTest, KeepsFiltersSortAndWidthsForTheNextOpening)
{
    deskSearch();
    startShell();
    withAdsWindow([&](QWidget* window) {
        QTest::keyClicks(child(window, "wordsField"), "desk");
        QTest::keyClicks(child(window, "maxField"), "500");
        child<QCheckBox>(window, "starredOnlyBox")->setChecked(true);
        child<QComboBox>(window, "cityBox")->setCurrentIndex(2);
        clickHeader(window, 2);
        clickHeader(window, 2);
        child<QTreeView>(window, "adsList")->setColumnWidth(1, 222);
    });
    std::string words, maxPrice, city;
    bool starredOnly = false;
    int sortSection = -1, width = 0;
    Qt::SortOrder order = Qt::AscendingOrder;
    withAdsWindow([&](QWidget* window) {
        words = child<QLineEdit>(window, "wordsField")->text().toStdString();
        maxPrice = child<QLineEdit>(window, "maxField")->text().toStdString();
        starredOnly = child<QCheckBox>(window, "starredOnlyBox")->isChecked();
        city = child<QComboBox>(window, "cityBox")->currentText().toStdString();
        auto* list = child<QTreeView>(window, "adsList");
        sortSection = list->header()->sortIndicatorSection();
        order = list->header()->sortIndicatorOrder();
        width = list->columnWidth(1);
    });
    EXPECT_EQ(words, "desk");
    EXPECT_EQ(maxPrice, "500");
    EXPECT_TRUE(starredOnly);
    EXPECT_EQ(city, "CHICAGO");
    EXPECT_EQ(sortSection, 2);
    EXPECT_EQ(order, Qt::DescendingOrder);
    EXPECT_EQ(width, 222);
}

struct ForgetCase {
    bool answer;
    bool forgotten;
};

class AdsForget : public AdsWindowTest, public ::testing::WithParamInterface<ForgetCase> { };

TEST_P(AdsForget, AsksThenRemovesTheAdsButKeepsTheMarks)
{
    const std::string tail = deskSearch();
    {
        search::AdStore store;
        ASSERT_EQ(store.open(search::adStorePath()), search::StoreStatus::ok);
        ASSERT_TRUE(store.setStarred("102", true));
    }
    startShell();
    answers.push_back(GetParam().answer);
    std::string after;
    withAdsWindow([&](QWidget* window) {
        child<QPushButton>(window, "forgetButton")->click();
        after = status(window);
    });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].yesNo);
    EXPECT_EQ(boxes[0].text, "Forget the ads of Last Search? Their stars, hidden marks and notes stay.");
    EXPECT_EQ(after, GetParam().forgotten ? "0 ads, 0 shown" : "5 ads, 5 shown");
    search::AdStore store;
    ASSERT_EQ(store.open(search::adStorePath()), search::StoreStatus::ok);
    const std::vector<std::string> tails = store.searchTails();
    EXPECT_EQ(std::find(tails.begin(), tails.end(), tail) == tails.end(), GetParam().forgotten);
    EXPECT_TRUE(store.marksOf("102").starred);
}

INSTANTIATE_TEST_SUITE_P(YesNo, AdsForget, ::testing::Values(ForgetCase{true, true}, ForgetCase{false, false}));

} // namespace

// The search builder window: opening, option sets, tool tips, saved searches, the area editor, leaving.

#include "samplesite.h"
#include "shellfixture.h"
#include "smalldisk.h"

#include "search/adstore.h"
#include "search/builder.h"
#include "search/savedsearch.h"
#include "search/searchrun.h"
#include "shell/mainwindow.h"
#include "shell/programstate.h"
#include "shell/toolbar.h"
#include "watch/watcher.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

#include <filesystem>
#include <set>

namespace fs = std::filesystem;
using search::SearchDefinition;

namespace {

const char* const categoryFile = "For Sale,sss,0\r\nCars,cta,1\r\nHousing,hhh,0\r\nApartments,apa,1\r\n"
                                 "Jobs,jjj,0\r\nGigs,ggg,0\r\nPersonals,ppp,0\r\nCommunity,ccc,0\r\nEvents,eee,1\r\n";

const std::vector<std::string> optionNames
    = {"payOption",       "noPayOption",    "allOption",     "priceCaption",  "priceFromField", "priceToCaption",
       "priceToField",    "telecommuteBox", "contractBox",   "internshipBox", "partTimeBox",    "nonProfitBox",
       "rentCaption",     "rentFromField",  "rentToCaption", "rentToField",   "catsOkBox",      "dogsOkBox",
       "bedroomsCaption", "bedroomsField",  "ageCaption",    "ageFromField",  "ageToCaption",   "ageToField"};

std::set<std::string> shownOptions(QWidget* window)
{
    std::set<std::string> shown;
    for (const std::string& name : optionNames)
        if (!child(window, name.c_str())->isHidden())
            shown.insert(name);
    return shown;
}

std::vector<std::string> itemsOf(QComboBox* chooser)
{
    std::vector<std::string> items;
    for (int i = 0; i < chooser->count(); ++i)
        items.push_back(chooser->itemText(i).toStdString());
    return items;
}

class Builder : public ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        writeFile(folder + "CategoryTree.dat", categoryFile);
        writeFile(folder + "citydata/Major Cities.city", "boston\r\nchicago\r\n");
        writeFile(folder + "citydata/all cities.city", "c1\r\nc2\r\nc3\r\nc4\r\nc5\r\nc6\r\nc7\r\nc8\r\n");
        // Cities on a closed loopback port: a run fails each download at once.
        writeFile(folder + "settings.ini",
                  readFile(folder + "settings.ini") + "siteDomain=localhost:9\r\nsiteScheme=http\r\n");
    }
    void saveLastSearch(const SearchDefinition& s)
    {
        ASSERT_TRUE(search::writeSavedSearch(folder + "savedsearch/Last Search.search", s));
    }
    // Opens the builder from the main window's button and runs act on it; returns when the builder is gone.
    void withBuilder(std::function<void(QWidget*)> act)
    {
        startShell();
        EXPECT_TRUE(withModalWindow("searchBuilder", [] { shell::toolbar.searchBuilder->click(); }, act));
    }
    bool lastSearchWritten() { return fs::exists(folder + "savedsearch/Last Search.search"); }
};

TEST_F(Builder, FirstUseShowsLastSearchEntirePostAndMajorCities)
{
    shell::rememberedWords.clear();
    withBuilder([&](QWidget* w) {
        EXPECT_EQ(w->windowTitle(), "Quillobrand Search Builder");
        EXPECT_EQ(w->size(), QSize(345, 370));
        EXPECT_EQ(child<QLabel>(w, "currentSearchCaption")->text(), "Current Search Is - ");
        EXPECT_EQ(child<QLabel>(w, "currentSearchLabel")->text(), "Last Search");
        EXPECT_TRUE(child<QRadioButton>(w, "entirePostOption")->isChecked());
        EXPECT_FALSE(child<QRadioButton>(w, "titleOnlyOption")->isChecked());
        EXPECT_EQ(child<QLineEdit>(w, "wordsField")->text(), "");
        EXPECT_EQ(child<QComboBox>(w, "areaChooser")->currentText(), "Major Cities");
        EXPECT_EQ(itemsOf(child<QComboBox>(w, "areaChooser")),
                  (std::vector<std::string>{"Major Cities", "all cities"}));
        EXPECT_EQ(child<QComboBox>(w, "sourceAreaChooser")->currentIndex(), -1);
        EXPECT_EQ(itemsOf(child<QListWidget>(w, "cityList")).size(), 8u);
        EXPECT_EQ(shownOptions(w), std::set<std::string>{});
        EXPECT_TRUE(child(w, "statusLine")->isHidden());
        EXPECT_TRUE(child(w, "progressBar")->isHidden());
        EXPECT_EQ(w->focusWidget(), child(w, "wordsField")); // the window's focus, whether or not it is active
        EXPECT_EQ(child<QTreeWidget>(w, "categoryTree")->topLevelItemCount(), 6);
        EXPECT_EQ(child(w, "startSearchButton")->toolTip(), "Start Search");
        EXPECT_EQ(child(w, "targetAreaChooser")->toolTip(), "Type in an area search list name");
        EXPECT_EQ(child(w, "startSearchButton")->accessibleName(), "Start Search");
        EXPECT_EQ(child(w, "categoryTree")->geometry(), QRect(130, 10, 180, 170));
        EXPECT_EQ(child(w, "builderTabs")->geometry(), QRect(10, 50, 325, 310));
    });
    EXPECT_FALSE(lastSearchWritten());
}

TEST_F(Builder, EveryCaptionFitsItsPlace)
{
    withBuilder([&](QWidget* w) {
        for (QLabel* label : w->findChildren<QLabel*>()) {
            const QString text = label->text();
            if (!text.isEmpty()) {
                EXPECT_LE(label->fontMetrics().boundingRect(text).width(), label->width()) << text.toStdString();
            }
        }
        for (QAbstractButton* button : w->findChildren<QAbstractButton*>()) {
            if (button->text().isEmpty())
                continue;
            QStyleOptionButton option;
            option.initFrom(button);
            const QStyle* style = button->style();
            int indicator = 0;
            if (qobject_cast<QRadioButton*>(button))
                indicator = style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, &option, button)
                    + style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, &option, button);
            else if (!qobject_cast<QPushButton*>(button))
                indicator = style->pixelMetric(QStyle::PM_IndicatorWidth, &option, button)
                    + style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, &option, button);
            EXPECT_LE(button->fontMetrics().boundingRect(button->text()).width() + indicator, button->width())
                << button->text().toStdString();
        }
    });
}

TEST_F(Builder, ExpertModeGivesNoToolTips)
{
    writeFile(folder + "Quillobrand.cfg", configBytes(3, 0, 0));
    withBuilder([&](QWidget* w) {
        for (QWidget* control : w->findChildren<QWidget*>())
            EXPECT_TRUE(control->toolTip().isEmpty()) << control->objectName().toStdString();
    });
}

struct OptionCase {
    const char* name;
    const char* categoryCode;
    std::set<std::string> shown;
};

class BuilderOptions : public Builder, public ::testing::WithParamInterface<OptionCase> { };

TEST_P(BuilderOptions, FollowTheMainCodeOfTheLoadedCategory)
{
    SearchDefinition s;
    s.categoryCode = GetParam().categoryCode;
    s.entirePost = 1;
    saveLastSearch(s);
    withBuilder([&](QWidget* w) { EXPECT_EQ(shownOptions(w), GetParam().shown); });
}

const std::set<std::string> rentSet = {"rentCaption", "rentFromField", "rentToCaption",   "rentToField",
                                       "catsOkBox",   "dogsOkBox",     "bedroomsCaption", "bedroomsField"};

INSTANTIATE_TEST_SUITE_P(
    Cases, BuilderOptions,
    ::testing::Values(
        OptionCase{"sss", "sss", {"priceCaption", "priceFromField", "priceToCaption", "priceToField"}},
        OptionCase{"subCategoryOfSss", "cta", {"priceCaption", "priceFromField", "priceToCaption", "priceToField"}},
        OptionCase{"hhh", "hhh", rentSet}, OptionCase{"subCategoryOfHhh", "apa", rentSet},
        OptionCase{"jjj", "jjj", {"telecommuteBox", "contractBox", "internshipBox", "partTimeBox", "nonProfitBox"}},
        OptionCase{"ggg", "ggg", {"payOption", "noPayOption", "allOption"}},
        OptionCase{"ppp", "ppp", {"ageCaption", "ageFromField", "ageToCaption", "ageToField"}},
        OptionCase{"otherMainCode", "eee", {}}, OptionCase{"otherLetterCase", "SSS", {}},
        OptionCase{"onNoLine", "nowhere", {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Builder, LoadedSubCategoryIsSelectedUnderItsExpandedMainLine)
{
    SearchDefinition s;
    s.categoryCode = "apa";
    saveLastSearch(s);
    withBuilder([&](QWidget* w) {
        auto* tree = child<QTreeWidget>(w, "categoryTree");
        for (int i = 0; i < tree->topLevelItemCount(); ++i)
            EXPECT_EQ(tree->topLevelItem(i)->isExpanded(), i == 1) << i;
        ASSERT_EQ(tree->selectedItems().size(), 1);
        EXPECT_EQ(tree->selectedItems()[0]->text(0), "Apartments");
    });
}

TEST_F(Builder, ClickedCategoryDecidesOptionsAndTheSavedCode)
{
    withBuilder([&](QWidget* w) {
        auto* tree = child<QTreeWidget>(w, "categoryTree");
        QTreeWidgetItem* housing = tree->topLevelItem(1);
        housing->setExpanded(true);
        QTreeWidgetItem* apartments = housing->child(0);
        const QRect place = tree->visualItemRect(apartments);
        ASSERT_FALSE(place.isEmpty());
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, place.center());
        EXPECT_EQ(shownOptions(w), rentSet);
        child<QTabWidget>(w, "builderTabs")->setCurrentIndex(1);
        child<QLineEdit>(w, "rentFromField")->setText("900");
        child<QAbstractButton>(w, "startSearchButton")->click();
    });
    const auto saved = search::readSavedSearch(folder + "savedsearch/Last Search.search");
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->categoryCode, "apa");
    EXPECT_EQ(saved->rentMin, "900");
    EXPECT_EQ(saved->areaListName, "Major Cities");
    EXPECT_EQ(saved->entirePost, 1);
}

enum class Leave { SearchExit, AreaExit, CloseBox };

class BuilderLeaving : public Builder, public ::testing::WithParamInterface<Leave> { };

TEST_P(BuilderLeaving, WritesNothing)
{
    withBuilder([&](QWidget* w) {
        child<QLineEdit>(w, "wordsField")->setText("bike");
        if (GetParam() == Leave::SearchExit)
            child<QAbstractButton>(w, "searchExitButton")->click();
        else if (GetParam() == Leave::AreaExit)
            child<QAbstractButton>(w, "areaExitButton")->click();
        else
            w->close();
    });
    EXPECT_FALSE(lastSearchWritten());
    EXPECT_EQ(shell::rememberedWords, "");
}

INSTANTIATE_TEST_SUITE_P(Ways, BuilderLeaving, ::testing::Values(Leave::SearchExit, Leave::AreaExit, Leave::CloseBox));

TEST_F(Builder, SavedSearchRoundTripThroughBothDialogs)
{
    writeFile(folder + "citydata/East.city", "boston\r\n");
    withBuilder([&](QWidget* w) {
        auto* words = child<QLineEdit>(w, "wordsField");
        words->setText("red car");
        child<QRadioButton>(w, "titleOnlyOption")->click();
        child<QComboBox>(w, "areaChooser")->setCurrentText("East");
        child<QLineEdit>(w, "priceFromField")->setText("5");
        whenWindowOpens("saveSearchDialog", [&](QWidget* dialog) {
            EXPECT_EQ(child<QLineEdit>(dialog, "nameField")->text(), "Last Search");
            EXPECT_FALSE(w->isEnabled());
            child<QLineEdit>(dialog, "nameField")->setText("red");
            child<QAbstractButton>(dialog, "saveButton")->click();
        });
        child<QAbstractButton>(w, "searchSaveButton")->click();
        EXPECT_TRUE(w->isEnabled());
        EXPECT_EQ(child<QLabel>(w, "currentSearchLabel")->text(), "Last Search");

        // Change everything, then load "red" back.
        words->setText("other");
        child<QRadioButton>(w, "entirePostOption")->click();
        child<QComboBox>(w, "areaChooser")->setCurrentText("Major Cities");
        child<QLineEdit>(w, "priceFromField")->setText("");
        whenWindowOpens("savedSearchesDialog", [&](QWidget* dialog) {
            auto* list = child<QListWidget>(dialog, "savedSearchList");
            EXPECT_EQ(itemsOf(list), std::vector<std::string>{"red"});
            const QRect place = list->visualItemRect(list->item(0));
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, place.center());
            child<QAbstractButton>(dialog, "loadButton")->click();
        });
        child<QAbstractButton>(w, "savedSearchesButton")->click();
        EXPECT_EQ(child<QLabel>(w, "currentSearchLabel")->text(), "red");
        EXPECT_EQ(words->text(), "red car");
        EXPECT_TRUE(child<QRadioButton>(w, "titleOnlyOption")->isChecked());
        EXPECT_FALSE(child<QRadioButton>(w, "entirePostOption")->isChecked());
        EXPECT_EQ(child<QComboBox>(w, "areaChooser")->currentText(), "East");
        EXPECT_EQ(child<QLineEdit>(w, "priceFromField")->text(), "5");
    });
    EXPECT_EQ(shell::rememberedWords, "red car");
    EXPECT_TRUE(fs::exists(folder + "savedsearch/red.search"));
    EXPECT_FALSE(lastSearchWritten());
}

TEST_F(Builder, LoadWithNoNameEmptiesTheLabel)
{
    withBuilder([&](QWidget* w) {
        whenWindowOpens("savedSearchesDialog",
                        [&](QWidget* dialog) { child<QAbstractButton>(dialog, "loadButton")->click(); });
        child<QAbstractButton>(w, "savedSearchesButton")->click();
        EXPECT_EQ(child<QLabel>(w, "currentSearchLabel")->text(), "");
    });
}

TEST_F(Builder, DeletingTheCurrentSearchThenLeavingReloadsNothingButTheWords)
{
    SearchDefinition s;
    s.words = "saved words";
    s.hasPicture = 1;
    saveLastSearch(s);
    shell::rememberedWords = "remembered";
    answers = {true};
    withBuilder([&](QWidget* w) {
        child<QAbstractButton>(w, "hasPictureBox")->click(); // now off, unsaved
        whenWindowOpens("savedSearchesDialog", [&](QWidget* dialog) {
            auto* list = child<QListWidget>(dialog, "savedSearchList");
            ASSERT_EQ(list->count(), 1);
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
            child<QAbstractButton>(dialog, "deleteButton")->click();
            EXPECT_EQ(list->count(), 0);
            EXPECT_EQ(QApplication::activeModalWidget(), dialog); // Delete keeps the dialog open
            child<QAbstractButton>(dialog, "exitButton")->click();
        });
        child<QAbstractButton>(w, "savedSearchesButton")->click();
        EXPECT_EQ(child<QLabel>(w, "currentSearchLabel")->text(), "Last Search");
        EXPECT_EQ(child<QLineEdit>(w, "wordsField")->text(), "remembered");
        EXPECT_FALSE(child<QAbstractButton>(w, "hasPictureBox")->isChecked());
    });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Delete Search");
    EXPECT_EQ(boxes[0].text, "Do You Really Want To Delete Last Search?");
    EXPECT_FALSE(lastSearchWritten());
}

TEST_F(Builder, LeavingTheDialogReloadsTheCurrentSearch)
{
    SearchDefinition s;
    s.words = "saved";
    s.priceMax = "77";
    saveLastSearch(s);
    withBuilder([&](QWidget* w) {
        child<QLineEdit>(w, "priceToField")->setText("unsaved");
        whenWindowOpens("savedSearchesDialog", [&](QWidget* dialog) { dialog->close(); });
        child<QAbstractButton>(w, "savedSearchesButton")->click();
        EXPECT_EQ(child<QLineEdit>(w, "priceToField")->text(), "77");
        EXPECT_EQ(child<QLineEdit>(w, "wordsField")->text(), "saved");
    });
}

void selectRows(QListWidget* list, std::initializer_list<int> rows)
{
    list->clearSelection();
    for (int row : rows)
        list->item(row)->setSelected(true);
}

TEST_F(Builder, AreaEditorMovesNewListAndSave)
{
    withBuilder([&](QWidget* w) {
        child<QTabWidget>(w, "builderTabs")->setCurrentIndex(1);
        auto* cities = child<QListWidget>(w, "cityList");
        auto* editor = child<QListWidget>(w, "areaListEditor");
        // Positions 2, 5 and 7 counted from 1.
        selectRows(cities, {6, 1, 4});
        child<QAbstractButton>(w, "copyRightButton")->click();
        EXPECT_EQ(itemsOf(editor), (std::vector<std::string>{"c2", "c5", "c7"}));
        EXPECT_EQ(itemsOf(cities), (std::vector<std::string>{"c1", "c3", "c4", "c6", "c8"}));
        selectRows(editor, {1});
        child<QAbstractButton>(w, "copyLeftButton")->click();
        EXPECT_EQ(itemsOf(cities).back(), "c5");
        selectRows(cities, {0});
        child<QAbstractButton>(w, "copyRightButton")->click();
        EXPECT_EQ(itemsOf(editor), (std::vector<std::string>{"c2", "c7", "c1"}));

        whenWindowOpens("newAreaDialog", [&](QWidget* dialog) {
            EXPECT_EQ(dialog->windowTitle(), "New Area");
            child<QLineEdit>(dialog, "nameField")->setText("East");
            child<QAbstractButton>(dialog, "okButton")->click();
        });
        child<QAbstractButton>(w, "newAreaButton")->click();
        for (const char* name : {"areaChooser", "sourceAreaChooser", "targetAreaChooser"})
            EXPECT_EQ(itemsOf(child<QComboBox>(w, name)).back(), "East") << name;
        EXPECT_EQ(child<QComboBox>(w, "targetAreaChooser")->currentText(), "East");
        EXPECT_EQ(editor->count(), 0); // a new list starts empty
        EXPECT_FALSE(fs::exists(folder + "citydata/East.city"));
        for (const char* city : {"boston", "newyork", "philadelphia"})
            editor->addItem(city);
        child<QAbstractButton>(w, "areaSaveButton")->click();
        EXPECT_EQ(child<QTabWidget>(w, "builderTabs")->currentIndex(), 0);
    });
    EXPECT_EQ(readFile(folder + "citydata/East.city"), "boston\r\nnewyork\r\nphiladelphia\r\n");
}

TEST_F(Builder, NamesTheFileSystemRefusesSaveNoSearchAndNoAreaList)
{
    withBuilder([&](QWidget* w) {
        whenWindowOpens("saveSearchDialog", [&](QWidget* dialog) {
            child<QLineEdit>(dialog, "nameField")->setText("../outside");
            child<QAbstractButton>(dialog, "saveButton")->click();
        });
        child<QAbstractButton>(w, "searchSaveButton")->click();
        child<QTabWidget>(w, "builderTabs")->setCurrentIndex(1);
        whenWindowOpens("newAreaDialog", [&](QWidget* dialog) {
            child<QLineEdit>(dialog, "nameField")->setText("../outside");
            child<QAbstractButton>(dialog, "okButton")->click();
        });
        child<QAbstractButton>(w, "newAreaButton")->click();
        child<QListWidget>(w, "areaListEditor")->addItem("boston");
        child<QAbstractButton>(w, "areaSaveButton")->click();
    });
    EXPECT_FALSE(fs::exists(folder + "outside.search"));
    EXPECT_FALSE(fs::exists(folder + "outside.city"));
    EXPECT_TRUE(fs::is_empty(folder + "savedsearch"));
}

TEST_F(Builder, NewAreaDialogEndings)
{
    withBuilder([&](QWidget* w) {
        auto* target = child<QComboBox>(w, "targetAreaChooser");
        const int before = target->count();
        whenWindowOpens("newAreaDialog",
                        [&](QWidget* dialog) { child<QAbstractButton>(dialog, "exitButton")->click(); });
        child<QAbstractButton>(w, "newAreaButton")->click();
        whenWindowOpens("newAreaDialog", [&](QWidget* dialog) {
            child<QLineEdit>(dialog, "nameField")->setText("typed");
            dialog->close();
        });
        child<QAbstractButton>(w, "newAreaButton")->click();
        EXPECT_EQ(target->count(), before);
        EXPECT_TRUE(w->isEnabled());
    });
}

TEST_F(Builder, AreaFilesLoadOnceDeleteRefillsEverything)
{
    writeFile(folder + "citydata/Empty.city", "");
    answers = {false, true};
    withBuilder([&](QWidget* w) {
        auto* source = child<QComboBox>(w, "sourceAreaChooser");
        auto* target = child<QComboBox>(w, "targetAreaChooser");
        auto* cities = child<QListWidget>(w, "cityList");
        auto* editor = child<QListWidget>(w, "areaListEditor");
        auto choose = [](QComboBox* chooser, const char* name) {
            chooser->setCurrentText(name);
            emit chooser->activated(chooser->currentIndex());
        };
        choose(source, "Empty");
        EXPECT_EQ(itemsOf(cities), std::vector<std::string>{""});
        cities->addItem("added");
        choose(source, "Empty"); // the same name again: not reloaded
        EXPECT_EQ(cities->count(), 2);
        selectRows(cities, {0});
        child<QAbstractButton>(w, "copyRightButton")->click();
        EXPECT_EQ(editor->count(), 0); // the empty line is dropped
        EXPECT_EQ(itemsOf(cities), std::vector<std::string>{"added"});

        choose(target, "Major Cities");
        EXPECT_EQ(itemsOf(editor), (std::vector<std::string>{"boston", "chicago"}));
        child<QAbstractButton>(w, "deleteAreaButton")->click(); // answered No
        EXPECT_EQ(editor->count(), 2);
        child<QAbstractButton>(w, "deleteAreaButton")->click(); // answered Yes
        EXPECT_EQ(editor->count(), 0);
        EXPECT_EQ(cities->count(), 0);
        for (const char* name : {"areaChooser", "sourceAreaChooser", "targetAreaChooser"}) {
            auto* chooser = child<QComboBox>(w, name);
            EXPECT_EQ(itemsOf(chooser), (std::vector<std::string>{"Empty", "all cities"})) << name;
            EXPECT_EQ(chooser->currentIndex(), -1) << name;
        }
        choose(source, "Empty"); // emptied lists load their file again
        EXPECT_EQ(cities->count(), 1);
    });
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].caption, "Delete Area");
    EXPECT_EQ(boxes[1].text, "Do You Really Want To Delete Major Cities?");
    EXPECT_FALSE(fs::exists(folder + "citydata/Major Cities.city"));
}

// Everything the mouse picks, the keys pick too; what the program or the focus sets is no choice.
TEST_F(Builder, KeysChooseCategorySavedSearchAndAreaList)
{
    writeFile(folder + "savedsearch/red.search", "");
    writeFile(folder + "savedsearch/blue.search", "");
    withBuilder([&](QWidget* w) {
        auto* tree = child<QTreeWidget>(w, "categoryTree");
        tree->setFocus();
        tree->setCurrentItem(tree->topLevelItem(0));
        EXPECT_EQ(shownOptions(w), std::set<std::string>{});
        QTest::keyClick(tree, Qt::Key_Down); // For Sale (closed) to Housing
        EXPECT_EQ(tree->currentItem()->text(0), "Housing");
        EXPECT_EQ(shownOptions(w), rentSet);

        std::string picked;
        whenWindowOpens("savedSearchesDialog", [&](QWidget* dialog) {
            auto* list = child<QListWidget>(dialog, "savedSearchList");
            QTest::keyClick(list, Qt::Key_End);
            picked = list->currentItem()->text().toStdString();
            child<QAbstractButton>(dialog, "loadButton")->click();
        });
        child<QAbstractButton>(w, "savedSearchesButton")->click();
        EXPECT_FALSE(picked.empty());
        EXPECT_EQ(child<QLabel>(w, "currentSearchLabel")->text().toStdString(), picked);

        child<QTabWidget>(w, "builderTabs")->setCurrentIndex(1);
        auto* target = child<QComboBox>(w, "targetAreaChooser");
        auto* editor = child<QListWidget>(w, "areaListEditor");
        target->setFocus();
        QTest::keyClick(target, Qt::Key_Home);
        EXPECT_EQ(itemsOf(editor), (std::vector<std::string>{"boston", "chicago"}));
        QTest::keyClick(target, Qt::Key_Down);
        EXPECT_EQ(editor->count(), 8);
    });
}

// New empties the editor: the list loaded before must load again when chosen, not be saved over empty.
TEST_F(Builder, NewThenTheListLoadedBeforeLoadsAgain)
{
    withBuilder([&](QWidget* w) {
        auto* target = child<QComboBox>(w, "targetAreaChooser");
        auto* editor = child<QListWidget>(w, "areaListEditor");
        auto chooseMajorCities = [&] {
            target->setCurrentText("Major Cities");
            emit target->activated(target->currentIndex());
        };
        chooseMajorCities();
        ASSERT_EQ(editor->count(), 2);
        whenWindowOpens("newAreaDialog", [&](QWidget* dialog) {
            child<QLineEdit>(dialog, "nameField")->setText("East");
            child<QAbstractButton>(dialog, "okButton")->click();
        });
        child<QAbstractButton>(w, "newAreaButton")->click();
        EXPECT_EQ(editor->count(), 0);
        chooseMajorCities();
        EXPECT_EQ(itemsOf(editor), (std::vector<std::string>{"boston", "chicago"}));
        child<QAbstractButton>(w, "areaSaveButton")->click();
    });
    EXPECT_EQ(readFile(folder + "citydata/Major Cities.city"), "boston\r\nchicago\r\n");
}

// Sub-lines hang from their main line by drawn lines.
TEST_F(Builder, CategoryTreeDrawsLinesToItsSubLines)
{
    withBuilder([&](QWidget* w) {
        auto* tree = child<QTreeWidget>(w, "categoryTree");
        QTreeWidgetItem* housing = tree->topLevelItem(1);
        housing->setExpanded(true);
        const QImage picture = tree->viewport()->grab().toImage();
        const QRgb background = tree->viewport()->palette().color(QPalette::Base).rgb();
        auto inkInColumn = [&](const QRect& row, int x) {
            int ink = 0;
            for (int y = row.top(); y <= row.bottom(); ++y)
                if (picture.pixel(x, y) != background)
                    ++ink;
            return ink;
        };
        // The indentation left of a sub-line's text holds nothing but the line down and across to it.
        const QRect row = tree->visualItemRect(housing->child(0));
        const int x = tree->indentation() / 2;
        EXPECT_GT(inkInColumn(row, x), 1) << "the line down";
        int across = 0;
        for (int column = x + 1; column < tree->indentation(); ++column)
            across += picture.pixel(column, row.top() + row.height() / 2) != background ? 1 : 0;
        EXPECT_GT(across, 1) << "the line across";
    });
}

class BuilderRun : public Builder {
protected:
    void SetUp() override
    {
        Builder::SetUp();
        ASSERT_TRUE(site.started());
        writeFile(folder + "settings.ini",
                  readFile(folder + "settings.ini") + "siteDomain=" + site.domain() + "\r\nsiteScheme=http\r\n");
        writeFile(folder + "citydata/Major Cities.city", "abc\r\ngone\r\nxyz\r\n");
        SearchDefinition s;
        s.categoryCode = "sss";
        s.areaListName = "major cities"; // chosen by name, letter case ignored
        s.entirePost = 1;
        saveLastSearch(s);
    }
    SampleSite site;
};

TEST_F(BuilderRun, StartSearchFromTheAreaTabRunsAndShowsTheResults)
{
    std::vector<int> tabsShown;
    std::vector<int> progress;
    int maximum = -1;
    bool optionsHiddenDuringRun = false;
    bool disabledDuringRun = false;
    QString status;
    withBuilder([&](QWidget* w) {
        auto* tabs = child<QTabWidget>(w, "builderTabs");
        auto* bar = child<QProgressBar>(w, "progressBar");
        tabs->setCurrentIndex(1);
        QObject::connect(tabs, &QTabWidget::currentChanged, [&](int index) { tabsShown.push_back(index); });
        QObject::connect(bar, &QProgressBar::valueChanged, [&, w, bar](int value) {
            progress.push_back(value);
            maximum = bar->maximum();
            optionsHiddenDuringRun = child(w, "searchSaveButton")->isHidden()
                && child(w, "searchExitButton")->isHidden() && !child(w, "statusLine")->isHidden() && !bar->isHidden();
            disabledDuringRun = !w->isEnabled();
            status = child<QLabel>(w, "statusLine")->text();
        });
        child<QLineEdit>(w, "wordsField")->setText("blue bike");
        child<QAbstractButton>(w, "startSearchButton")->click();
        EXPECT_NE(QApplication::activeModalWidget(), w); // the builder is left after the run
    });
    EXPECT_EQ(tabsShown, std::vector<int>{0});
    EXPECT_EQ(progress, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(maximum, 3);
    EXPECT_TRUE(optionsHiddenDuringRun);
    EXPECT_TRUE(disabledDuringRun);
    EXPECT_EQ(status, "Searching xyz");
    EXPECT_EQ(shell::rememberedWords, "blue bike");
    const auto saved = search::readSavedSearch(folder + "savedsearch/Last Search.search");
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->words, "blue bike");
    const std::string page = readFile(shell::resultsPagePath);
    EXPECT_NE(page.find(">ABC</a><h4>"), std::string::npos);
    EXPECT_NE(page.find(">XYZ</a><h4>"), std::string::npos);
    EXPECT_NE(page.find("abc ad 1 for blue bike"), std::string::npos);
    ASSERT_TRUE(processEventsUntil([] { return shell::mainBrowser->url().isLocalFile(); }));
    EXPECT_EQ(shell::mainBrowser->url().toLocalFile().toStdString(), shell::resultsPagePath);
}

TEST_F(BuilderRun, CloseRequestDuringTheRunEndsItAfterTheCity)
{
    std::vector<int> progress;
    withBuilder([&](QWidget* w) {
        auto* bar = child<QProgressBar>(w, "progressBar");
        QObject::connect(bar, &QProgressBar::valueChanged, [&, w](int value) {
            progress.push_back(value);
            if (value == 1)
                w->close();
        });
        child<QAbstractButton>(w, "startSearchButton")->click();
    });
    EXPECT_EQ(progress, std::vector<int>{1});
    const std::string page = readFile(shell::resultsPagePath);
    EXPECT_NE(page.find(">ABC</a>"), std::string::npos);
    EXPECT_EQ(page.find(">XYZ</a>"), std::string::npos);
}

// A price the site can't read would be ignored there: the user is asked first, and No leaves the builder as it was.
TEST_F(BuilderRun, NumberTheSiteWouldIgnoreIsAskedAboutFirst)
{
    answers = {false};
    withBuilder([&](QWidget* w) {
        child<QLineEdit>(w, "priceFromField")->setText("cheap");
        child<QAbstractButton>(w, "startSearchButton")->click();
        EXPECT_EQ(QApplication::activeModalWidget(), w); // still open
        EXPECT_FALSE(child(w, "searchSaveButton")->isHidden());
        w->close();
    });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Quillobrand");
    EXPECT_EQ(boxes[0].text, "The value \"cheap\" is not a whole number, so the site would ignore it. Search anyway?");
    EXPECT_TRUE(boxes[0].yesNo);
    EXPECT_FALSE(fs::exists(shell::resultsPagePath));
    EXPECT_EQ(search::readSavedSearch(folder + "savedsearch/Last Search.search")->priceMin, "");
}

TEST_F(BuilderRun, RefusalStopsTheRunAndSaysSo)
{
    writeFile(folder + "citydata/Major Cities.city", "abc\r\nblocked\r\nxyz\r\n");
    withBuilder([&](QWidget* w) { child<QAbstractButton>(w, "startSearchButton")->click(); });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].icon, platform::BoxIcon::Warning);
    EXPECT_FALSE(boxes[0].yesNo);
    EXPECT_NE(boxes[0].text.find("stopped after 2 of 3 cities"), std::string::npos) << boxes[0].text;
    const std::string page = readFile(shell::resultsPagePath);
    EXPECT_NE(page.find("Not searched: the site refused the request (HTTP 403)."), std::string::npos);
    EXPECT_EQ(page.find(">XYZ</a>"), std::string::npos);
}

// A store the run can't use is said once the run is over, and the page is shown all the same.
TEST_F(BuilderRun, StoreThatCantKeepTheRunIsSaid)
{
    const struct {
        std::string storeBytes; // "" for a store of a newer version
        std::string text;
    } cases[] = {
        {std::string(4096, '\x17'), "The list of ads already seen could not be saved: "},
        {"", search::storeTooNewMessage()},
    };
    writeFile(folder + "citydata/Major Cities.city", "springfield\r\n");
    for (const auto& c : cases) {
        boxes.clear();
        fs::remove(folder + "ads.db-wal");
        fs::remove(folder + "ads.db-shm");
        if (c.storeBytes.empty()) {
            fs::remove(folder + "ads.db");
            ASSERT_TRUE(search::createAdStoreSchema(folder + "ads.db", search::adStoreVersion + 1));
        } else {
            writeFile(folder + "ads.db", c.storeBytes);
        }
        withBuilder([&](QWidget* w) { child<QAbstractButton>(w, "startSearchButton")->click(); });
        ASSERT_EQ(boxes.size(), 1u) << c.text;
        EXPECT_EQ(boxes[0].icon, platform::BoxIcon::Error);
        EXPECT_FALSE(boxes[0].yesNo);
        EXPECT_TRUE(boxes[0].text.starts_with(c.text)) << boxes[0].text;
        EXPECT_TRUE(boxes[0].text.ends_with(". The same ads will be marked new next time.") || c.storeBytes.empty());
        EXPECT_NE(readFile(shell::resultsPagePath).find(">SPRINGFIELD</a>"), std::string::npos);
    }
}

// Pages of a form the program does not know are said at the end of the run, in one box.
TEST_F(BuilderRun, PagesNotReadAreSaidInABox)
{
    writeFile(folder + "citydata/Major Cities.city", "nomarker\r\nabc\r\nnomarker\r\n");
    withBuilder([&](QWidget* w) { child<QAbstractButton>(w, "startSearchButton")->click(); });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Quillobrand");
    EXPECT_EQ(boxes[0].icon, platform::BoxIcon::Warning);
    EXPECT_FALSE(boxes[0].yesNo);
    EXPECT_EQ(boxes[0].text,
              "The site answered 2 of 3 cities with pages that Quillobrand could not read. The site may "
              "have changed its pages; the user guide says what to do.");
    const std::string page = readFile(shell::resultsPagePath);
    EXPECT_NE(page.find(">ABC</a><h4>\r\n<p class=\"row\""), std::string::npos) << page;
}

TEST_F(BuilderRun, AFullDiskEndsThePageAndSaysSo)
{
    const std::string disk = folder + "disk";
    fs::create_directories(disk);
    SmallDisk small(disk, 4);
    if (!small.mounted())
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    ASSERT_TRUE(small.fill(0));
    const std::string page = disk + "/Last Search.html";
    withBuilder([&](QWidget* w) {
        shell::resultsPagePath = page;
        child<QAbstractButton>(w, "startSearchButton")->click();
    });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].icon, platform::BoxIcon::Error);
    EXPECT_EQ(boxes[0].text,
              "The results page could not be written whole: the disk is full. Make room on the disk and search again.");
    EXPECT_EQ(readFile(page), "") << "no room even for the line that says why";
}

// Typing in Save Search's name box replaces the proposed name: it comes selected.
TEST_F(Builder, SaveSearchSelectsTheProposedName)
{
    withBuilder([&](QWidget* w) {
        whenWindowOpens("saveSearchDialog", [&](QWidget* dialog) {
            auto* name = child<QLineEdit>(dialog, "nameField");
            EXPECT_EQ(name->selectedText(), "Last Search");
            QTest::keyClicks(name, "Coast desks");
            EXPECT_EQ(name->text(), "Coast desks");
            child<QAbstractButton>(dialog, "saveButton")->click();
        });
        child<QAbstractButton>(w, "searchSaveButton")->click();
    });
    EXPECT_TRUE(fs::exists(folder + "savedsearch/Coast desks.search"));
}

// Deleting a saved search that a watch runs says that the watch stops with it.
struct DeleteCase {
    const char* name;
    bool watched;
    std::string question;
};

class DeleteWatchedSearch : public Builder, public ::testing::WithParamInterface<DeleteCase> { };

TEST_P(DeleteWatchedSearch, NamesTheWatchInTheQuestion)
{
    ASSERT_TRUE(search::writeSavedSearch(folder + "savedsearch/Desks.search", SearchDefinition{}));
    if (GetParam().watched) {
        fs::create_directories(folder + "watch");
        writeFile(folder + "watch/Desks.watch", "interval=60\r\n");
    }
    watch::startWatching(); // gives the builder its way to know a watched search
    answers = {false};
    withBuilder([&](QWidget* w) {
        whenWindowOpens("savedSearchesDialog", [&](QWidget* dialog) {
            auto* list = child<QListWidget>(dialog, "savedSearchList");
            ASSERT_EQ(itemsOf(list), std::vector<std::string>{"Desks"});
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
            child<QAbstractButton>(dialog, "deleteButton")->click();
            child<QAbstractButton>(dialog, "exitButton")->click();
        });
        child<QAbstractButton>(w, "savedSearchesButton")->click();
    });
    watch::stopWatching();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Delete Search");
    EXPECT_EQ(boxes[0].text, GetParam().question);
    EXPECT_TRUE(fs::exists(folder + "savedsearch/Desks.search")) << "answered No";
}

INSTANTIATE_TEST_SUITE_P(
    Watches, DeleteWatchedSearch,
    ::testing::Values(DeleteCase{"NotWatched", false, "Do You Really Want To Delete Desks?"},
                      DeleteCase{"Watched", true,
                                 "Do You Really Want To Delete Desks?\n\nThe watch \"Desks\" runs this search: it "
                                 "does nothing until a search of that name is saved again."}),
    [](const auto& info) { return std::string(info.param.name); });

// The site's list of areas names each city beside its code; the filter keeps the cities whose code or name holds
// the text; what moves and what is saved is the code alone.
TEST_F(Builder, AreaEditorNamesTheCitiesAndFiltersThem)
{
    writeFile(folder + "citydata/all cities.city", "bgky\r\nabilene\r\nboston\r\nnowhere\r\n");
    writeFile(folder + "areas.tsv",
              "code\tname\tsection\tsubsection\n"
              "bgky\tbowling green\tUS\tKentucky\n"
              "abilene\tabilene\tUS\tTexas\n"
              "boston\tboston\tUS\tMassachusetts\n");
    withBuilder([&](QWidget* w) {
        child<QTabWidget>(w, "builderTabs")->setCurrentIndex(1);
        auto* cities = child<QListWidget>(w, "cityList");
        auto* editor = child<QListWidget>(w, "areaListEditor");
        auto* filter = child<QLineEdit>(w, "cityFilterField");
        EXPECT_EQ(filter->geometry(), QRect(10, 25, 110, 20));
        EXPECT_EQ(cities->geometry(), QRect(10, 47, 110, 153));
        EXPECT_EQ(itemsOf(cities),
                  (std::vector<std::string>{"bgky \u2014 bowling green, Kentucky", "abilene \u2014 abilene, Texas",
                                            "boston \u2014 boston, Massachusetts", "nowhere"}));
        auto shown = [&] {
            std::vector<std::string> rows;
            for (int row = 0; row < cities->count(); ++row)
                if (!cities->item(row)->isHidden())
                    rows.push_back(search::cityCodeOf(cities->item(row)));
            return rows;
        };
        const std::pair<const char*, std::vector<std::string>> filters[] = {
            {"ky", {"bgky"}}, // the code and the subsection
            {"TEXAS", {"abilene"}}, // any letter case
            {"bo", {"bgky", "boston"}}, // "bowling" and "boston"
            {"where", {"nowhere"}}, // a city the list doesn't name, by its code
            {"zzz", {}},
            {"", {"bgky", "abilene", "boston", "nowhere"}},
        };
        for (const auto& [text, rows] : filters) {
            filter->setText(text);
            EXPECT_EQ(shown(), rows) << text;
        }
        // A selected city that the filter hides is not moved.
        selectRows(cities, {0, 2});
        QTest::keyClicks(filter, "bost");
        EXPECT_FALSE(cities->item(0)->isSelected());
        child<QAbstractButton>(w, "copyRightButton")->click();
        EXPECT_EQ(itemsOf(editor), std::vector<std::string>{"boston \u2014 boston, Massachusetts"});
        // Moved back under a filter that doesn't hold it, it joins the list hidden.
        filter->setText("abi");
        selectRows(editor, {0});
        child<QAbstractButton>(w, "copyLeftButton")->click();
        EXPECT_EQ(shown(), std::vector<std::string>{"abilene"});
        filter->clear();
        selectRows(cities, {0});
        child<QAbstractButton>(w, "copyRightButton")->click();

        whenWindowOpens("newAreaDialog", [&](QWidget* dialog) {
            child<QLineEdit>(dialog, "nameField")->setText("South");
            child<QAbstractButton>(dialog, "okButton")->click();
        });
        child<QAbstractButton>(w, "newAreaButton")->click();
        selectRows(cities, {0});
        child<QAbstractButton>(w, "copyRightButton")->click();
        child<QAbstractButton>(w, "areaSaveButton")->click();
    });
    EXPECT_EQ(readFile(folder + "citydata/South.city"), "abilene\r\n") << "codes alone are saved";
}

// A list that isn't the site's list of areas shows the codes alone.
class DamagedAreaNames : public Builder, public ::testing::WithParamInterface<std::string> { };

TEST_P(DamagedAreaNames, ShowTheCodesAlone)
{
    writeFile(folder + "citydata/all cities.city", "bgky\r\nboston\r\n");
    if (!GetParam().empty())
        writeFile(folder + "areas.tsv", GetParam());
    withBuilder([&](QWidget* w) {
        EXPECT_EQ(itemsOf(child<QListWidget>(w, "cityList")), (std::vector<std::string>{"bgky", "boston"}));
    });
}

INSTANTIATE_TEST_SUITE_P(Files, DamagedAreaNames,
                         ::testing::Values(std::string(), // missing
                                           "bgky\tbowling green\tUS\tKentucky\n", // no header
                                           "code\tname\tsection\tsubsection\nbgky\tbowling green\n"));

} // namespace

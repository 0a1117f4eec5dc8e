#include "search/builderwindow.h"

#include "platform/messagebox.h"
#include "platform/textcodec.h"
#include "search/arealist.h"
#include "search/builder.h"
#include "search/savedsearch.h"
#include "search/searchrun.h"
#include "shell/mainwindow.h"
#include "shell/programstate.h"
#include "shell/toolbar.h"
#include "shell/widgethelpers.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTreeWidget>

namespace search {

void BuilderDialog::closeEvent(QCloseEvent* event)
{
    if (running) {
        closeRequestedDuringRun = true;
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void BuilderDialog::reject()
{
    if (running)
        closeRequestedDuringRun = true;
    else
        QDialog::reject();
}

std::vector<QWidget*> Builder::optionControls() const
{
    return {pay,           noPay,        allPay,     priceCaption, priceFrom,       priceToCaption, priceTo,
            telecommute,   contract,     internship, partTime,     nonProfit,       rentCaption,    rentFrom,
            rentToCaption, rentTo,       catsOk,     dogsOk,       bedroomsCaption, bedrooms,       ageCaption,
            ageFrom,       ageToCaption, ageTo};
}

namespace {

template <typename Control>
Control* place(Control* control, const char* objectName, int x, int y, int width, int height)
{
    control->setObjectName(objectName);
    control->setGeometry(x, y, width, height);
    return control;
}

QLabel* makeText(QWidget* parent, const char* objectName, const char* caption, int x, int y, int width, int height,
                 Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignTop)
{
    auto* label = place(new QLabel(caption, parent), objectName, x, y, width, height);
    label->setAlignment(alignment);
    return label;
}

QLineEdit* makeField(QWidget* parent, const char* objectName, int x, int y, int width, int height)
{
    return place(new QLineEdit(parent), objectName, x, y, width, height);
}

QComboBox* makeChooser(QWidget* parent, const char* objectName, int x, int y, int width, int height)
{
    auto* chooser = place(new QComboBox(parent), objectName, x, y, width, height);
    chooser->setEditable(false);
    return chooser;
}

QListWidget* makeCityList(QWidget* parent, const char* objectName, int x, int y, int width, int height)
{
    auto* list = place(new QListWidget(parent), objectName, x, y, width, height);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    return list;
}

void createSearchEditorControls(Builder& b, QWidget* page)
{
    b.categoryTree = place(new QTreeWidget(page), "categoryTree", 130, 10, 180, 170);
    b.categoryTree->setHeaderHidden(true);
    b.categoryTree->setRootIsDecorated(false);
    b.categoryTree->setSelectionMode(QAbstractItemView::SingleSelection);
    b.categoryTree->setAccessibleName("Category");
    b.savedSearches = place(new QPushButton("Saved Searches", page), "savedSearchesButton", 10, 10, 110, 20);
    b.areaCaption = makeText(page, "areaCaption", "Search In ", 10, 45, 110, 20, Qt::AlignHCenter | Qt::AlignTop);
    b.areaChooser = makeChooser(page, "areaChooser", 10, 60, 110, 20);
    b.areaCaption->setBuddy(b.areaChooser);
    b.wordsCaption = makeText(page, "wordsCaption", "Search For", 70, 194, 60, 20);
    b.wordsField = makeField(page, "wordsField", 130, 190, 180, 20);
    b.wordsField->setText(platform::toWidgetText(shell::rememberedWords));
    b.wordsCaption->setBuddy(b.wordsField);
    b.titleOnly = place(new QRadioButton("Title Only", page), "titleOnlyOption", 10, 110, 110, 20);
    b.entirePost = place(new QRadioButton("Entire Post", page), "entirePostOption", 10, 135, 110, 20);
    b.hasPicture = place(new QCheckBox("Has Picture", page), "hasPictureBox", 10, 160, 110, 20);
    b.pay = place(new QRadioButton("Pay", page), "payOption", 90, 220, 35, 20);
    b.noPay = place(new QRadioButton("No Pay", page), "noPayOption", 130, 220, 55, 20);
    b.allPay = place(new QRadioButton("All", page), "allOption", 190, 220, 35, 20);
    b.priceCaption = makeText(page, "priceCaption", "Price", 70, 224, 30, 20);
    b.priceFrom = makeField(page, "priceFromField", 100, 220, 60, 20);
    b.priceToCaption = makeText(page, "priceToCaption", "To", 165, 224, 20, 20);
    b.priceTo = makeField(page, "priceToField", 185, 220, 60, 20);
    b.telecommute = place(new QCheckBox("Telecommute", page), "telecommuteBox", 10, 220, 85, 20);
    b.contract = place(new QCheckBox("Contract", page), "contractBox", 10, 240, 60, 20);
    b.internship = place(new QCheckBox("Internship", page), "internshipBox", 10, 260, 65, 20);
    b.partTime = place(new QCheckBox("Part-Time", page), "partTimeBox", 245, 220, 65, 20);
    b.nonProfit = place(new QCheckBox("Non-Profit", page), "nonProfitBox", 245, 240, 65, 20);
    b.rentCaption = makeText(page, "rentCaption", "Rent", 70, 224, 30, 20);
    b.rentFrom = makeField(page, "rentFromField", 100, 220, 60, 20);
    b.rentToCaption = makeText(page, "rentToCaption", "To", 165, 224, 20, 20);
    b.rentTo = makeField(page, "rentToField", 185, 220, 60, 20);
    b.catsOk = place(new QCheckBox("Cats OK", page), "catsOkBox", 10, 240, 60, 20);
    b.dogsOk = place(new QCheckBox("Dogs OK", page), "dogsOkBox", 10, 260, 65, 20);
    b.bedroomsCaption = makeText(page, "bedroomsCaption", "Bedrooms", 230, 255, 50, 20);
    b.bedrooms = makeField(page, "bedroomsField", 285, 250, 25, 20);
    b.ageCaption = makeText(page, "ageCaption", "Poster's Age", 35, 224, 60, 20);
    b.ageFrom = makeField(page, "ageFromField", 100, 220, 60, 20);
    b.ageToCaption = makeText(page, "ageToCaption", "To", 165, 224, 20, 20);
    b.ageTo = makeField(page, "ageToField", 185, 220, 60, 20);
    b.searchSave = place(new QPushButton("Save", page), "searchSaveButton", 120, 255, 40, 20);
    b.searchExit = place(new QPushButton("Exit", page), "searchExitButton", 165, 255, 40, 20);
    b.statusLine = makeText(page, "statusLine", "", 10, 220, 300, 20, Qt::AlignHCenter | Qt::AlignTop);
    b.progressBar = place(new QProgressBar(page), "progressBar", 10, 250, 300, 30);
    b.progressBar->setRange(0, 0);

    // Captions and fields that stand side by side are paired, so a screen reader names each field.
    b.priceCaption->setBuddy(b.priceFrom);
    b.priceToCaption->setBuddy(b.priceTo);
    b.rentCaption->setBuddy(b.rentFrom);
    b.rentToCaption->setBuddy(b.rentTo);
    b.bedroomsCaption->setBuddy(b.bedrooms);
    b.ageCaption->setBuddy(b.ageFrom);
    b.ageToCaption->setBuddy(b.ageTo);

    b.searchTypeGroup = new QButtonGroup(page);
    b.searchTypeGroup->addButton(b.titleOnly);
    b.searchTypeGroup->addButton(b.entirePost);
    b.payGroup = new QButtonGroup(page);
    b.payGroup->addButton(b.pay);
    b.payGroup->addButton(b.noPay);
    b.payGroup->addButton(b.allPay);
}

void createAreaEditorControls(Builder& b, QWidget* page)
{
    b.cityListCaption = makeText(page, "cityListCaption", "City Selection List", 10, 10, 110, 20);
    // Over 700 cities: a filter above the list keeps those whose code or name holds what is typed.
    b.cityFilter = makeField(page, "cityFilterField", 10, 25, 110, 20);
    b.cityFilter->setPlaceholderText("Filter");
    b.cityFilter->setAccessibleName("Filter the city list");
    b.cityFilter->setClearButtonEnabled(true);
    b.cityList = makeCityList(page, "cityList", 10, 47, 110, 153);
    b.cityListCaption->setBuddy(b.cityList);
    b.sourceChooser = makeChooser(page, "sourceAreaChooser", 10, 205, 110, 20);
    b.sourceChooser->setAccessibleName("Source area list");
    b.areaListCaption = makeText(page, "areaListCaption", "Area List Editor", 200, 10, 110, 20);
    b.areaListEditor = makeCityList(page, "areaListEditor", 200, 25, 110, 175);
    b.areaListCaption->setBuddy(b.areaListEditor);
    b.targetChooser = makeChooser(page, "targetAreaChooser", 200, 205, 110, 20);
    b.targetChooser->setAccessibleName("Target area list");
    b.newArea = place(new QPushButton("New", page), "newAreaButton", 210, 230, 40, 20);
    b.deleteArea = place(new QPushButton("Delete", page), "deleteAreaButton", 255, 230, 40, 20);
    b.copyRight = place(new QPushButton("Copy >>", page), "copyRightButton", 130, 90, 60, 20);
    b.copyLeft = place(new QPushButton("<< Copy", page), "copyLeftButton", 130, 115, 60, 20);
    b.areaSave = place(new QPushButton("Save", page), "areaSaveButton", 120, 255, 40, 20);
    b.areaExit = place(new QPushButton("Exit", page), "areaExitButton", 165, 255, 40, 20);
}

void attachToolTips(Builder& b)
{
    const std::pair<QWidget*, const char*> tips[] = {
        {b.startSearch, "Start Search"},
        {b.categoryTree, "Click to select, Double click to expand main category"},
        {b.savedSearches, "Load/Delete A Saved Search"},
        {b.areaChooser, "Load an area search list"},
        {b.wordsField, "Enter search word(s) here"},
        {b.priceFrom, "Minimum price"},
        {b.priceTo, "Maximum price"},
        {b.searchSave, "Save This Search"},
        {b.cityFilter, "Type part of a city's code or name to list only those cities"},
        {b.cityList, "Click to select, CTRL + Click for multi select"},
        {b.sourceChooser, "Select an area list"},
        {b.areaListEditor, "Click to select, CTRL + Click for multi select"},
        {b.targetChooser, "Type in an area search list name"},
        {b.deleteArea, "Delete an area search list"},
        {b.copyRight, "Copy selected item(s) to area editor"},
        {b.copyLeft, "Copy selected item(s) back to city list"},
        {b.areaSave, "Save To Area File"},
    };
    for (const auto& [control, tip] : tips)
        control->setToolTip(tip);
}

void loadCategoryTree(Builder& b)
{
    b.categoryTable = readCategoryFile(shell::suppliedFile("CategoryTree.dat"));
    b.treeItems.clear();
    std::vector<QTreeWidgetItem*> lastAtDepth;
    for (size_t position = 0; position < b.categoryTable.size(); ++position) {
        const CategoryEntry& entry = b.categoryTable[position];
        QTreeWidgetItem* item = nullptr;
        if (entry.depth == 0)
            item = new QTreeWidgetItem(b.categoryTree);
        else
            item = new QTreeWidgetItem(lastAtDepth[size_t(entry.depth - 1)]);
        item->setText(0, platform::toWidgetText(entry.text));
        item->setData(0, Qt::UserRole, static_cast<int>(position));
        lastAtDepth.resize(size_t(entry.depth));
        lastAtDepth.push_back(item);
        b.treeItems.push_back(item);
    }
}

// Run mode: the options and the Save and Exit buttons give way to the status line and the progress bar, and the
// window takes no input until it is closed.
void enterRunMode(Builder& b)
{
    hideAllOptions(b);
    b.searchSave->hide();
    b.searchExit->hide();
    b.statusLine->show();
    b.progressBar->show();
    b.window->setEnabled(false);
}

void runSearch(Builder& b)
{
    enterRunMode(b);
    b.window->running = true;
    RunHooks hooks;
    hooks.setProgressMaximum = [&](int maximum) { b.progressBar->setRange(0, maximum); };
    hooks.cityStarted = [&](const std::string& cityCode, int pass) {
        b.statusLine->setText(platform::toWidgetText("Searching " + cityCode));
        b.progressBar->setValue(pass);
    };
    hooks.handlePendingEvents = [] { QApplication::processEvents(); };
    hooks.closeRequested = [&] {
        QApplication::processEvents();
        return b.window->closeRequestedDuringRun;
    };
    // One run against the site at a time: a watch run that goes stops between two cities first.
    if (builderRunHooks().begin)
        builderRunHooks().begin();
    const RunOutcome outcome = runSearchPasses(searchFromControls(b), b.mainCode,
                                               shell::suppliedFile(areaListFile(chooserText(b.areaChooser))), hooks);
    if (builderRunHooks().end)
        builderRunHooks().end();
    b.window->running = false;
    if (shell::mainBrowser)
        shell::mainBrowser->navigate(shell::resultsPagePath);
    if (outcome.refusedStatus != 0)
        platform::showMessageBox("Quillobrand", refusalMessage(outcome), platform::BoxIcon::Warning);
    if (outcome.storeTooNew)
        platform::showMessageBox("Quillobrand", storeTooNewMessage(), platform::BoxIcon::Error);
    else if (outcome.memoryNotSaved)
        platform::showMessageBox("Quillobrand", memoryNotSavedMessage(outcome), platform::BoxIcon::Error);
    if (outcome.notReadCount > 0)
        platform::showMessageBox("Quillobrand", notReadMessage(outcome), platform::BoxIcon::Warning);
    if (outcome.diskFull)
        platform::showMessageBox("Quillobrand", std::string(diskFullMessage), platform::BoxIcon::Error);
}

// A range or bedroom value the site can't read would be silently ignored there: the user decides first.
bool numbersAreTaken(Builder& b)
{
    for (const std::string& text : fieldsTheSiteWouldIgnore(searchFromControls(b), b.mainCode)) {
        if (!platform::askYesNo("Quillobrand",
                                "The value \"" + text
                                    + "\" is not a whole number, so the site would ignore it. Search anyway?"))
            return false;
    }
    return true;
}

void startSearch(Builder& b)
{
    if (!numbersAreTaken(b))
        return;
    if (b.tabs->currentIndex() != 0)
        b.tabs->setCurrentIndex(0);
    shell::rememberedWords = platform::fromWidgetText(b.wordsField->text());
    saveSearch(b, "Last Search");
    runSearch(b);
    b.window->accept();
}

void connectEvents(Builder& b)
{
    QObject::connect(b.categoryTree, &QTreeWidget::itemClicked, b.window,
                     [&b](QTreeWidgetItem* item) { chooseCategory(b, item); });
    shell::onKeyboardChoice(b.categoryTree, [&b] { chooseCategory(b, b.categoryTree->currentItem()); });
    QObject::connect(b.startSearch, &QPushButton::clicked, b.window, [&b] { startSearch(b); });
    QObject::connect(b.savedSearches, &QPushButton::clicked, b.window, [&b] { onSavedSearchesButton(b); });
    QObject::connect(b.searchSave, &QPushButton::clicked, b.window, [&b] { onSearchSaveButton(b); });
    QObject::connect(b.sourceChooser, &QComboBox::activated, b.window, [&b] {
        loadListFromAreaFile(b.sourceChooser, b.cityList, b.cityListName, b.areaPlaces);
        filterCityList(b.cityList, b.cityFilter->text());
    });
    QObject::connect(b.targetChooser, &QComboBox::activated, b.window, [&b] {
        loadListFromAreaFile(b.targetChooser, b.areaListEditor, b.areaListEditorName, b.areaPlaces);
    });
    QObject::connect(b.cityFilter, &QLineEdit::textChanged, b.window,
                     [&b](const QString& text) { filterCityList(b.cityList, text); });
    QObject::connect(b.copyRight, &QPushButton::clicked, b.window,
                     [&b] { moveSelectedCities(b.cityList, b.areaListEditor); });
    QObject::connect(b.copyLeft, &QPushButton::clicked, b.window, [&b] {
        moveSelectedCities(b.areaListEditor, b.cityList);
        filterCityList(b.cityList, b.cityFilter->text());
    });
    QObject::connect(b.deleteArea, &QPushButton::clicked, b.window, [&b] { onDeleteArea(b); });
    QObject::connect(b.newArea, &QPushButton::clicked, b.window, [&b] { onNewArea(b); });
    QObject::connect(b.areaSave, &QPushButton::clicked, b.window, [&b] { onSaveArea(b); });
    QObject::connect(b.searchExit, &QPushButton::clicked, b.window, &QDialog::reject);
    QObject::connect(b.areaExit, &QPushButton::clicked, b.window, &QDialog::reject);
}

} // namespace

void hideAllOptions(Builder& b)
{
    for (QWidget* control : b.optionControls())
        control->hide();
}

void showOptionsFor(Builder& b, const std::string& mainCode)
{
    hideAllOptions(b);
    std::vector<QWidget*> shown;
    if (mainCode == "ppp")
        shown = {b.ageFrom, b.ageTo, b.ageCaption, b.ageToCaption};
    else if (mainCode == "hhh")
        shown
            = {b.rentFrom, b.rentTo, b.rentCaption, b.rentToCaption, b.catsOk, b.dogsOk, b.bedrooms, b.bedroomsCaption};
    else if (mainCode == "ggg")
        shown = {b.pay, b.noPay, b.allPay};
    else if (mainCode == "sss")
        shown = {b.priceFrom, b.priceTo, b.priceCaption, b.priceToCaption};
    else if (mainCode == "jjj")
        shown = {b.telecommute, b.contract, b.internship, b.partTime, b.nonProfit};
    for (QWidget* control : shown)
        control->show();
}

int selectCurrentCategory(Builder& b)
{
    for (QTreeWidgetItem* item : b.treeItems)
        if (!item->parent())
            item->setExpanded(false);
    b.categoryTree->clearSelection();
    const int found = findCategory(b.categoryTable, b.categoryCode);
    if (found < 0)
        return static_cast<int>(b.categoryTable.size()) + 1;
    int mainLine = found;
    while (mainLine > 0 && b.categoryTable[size_t(mainLine)].depth != 0)
        --mainLine;
    b.treeItems[size_t(mainLine)]->setExpanded(true);
    b.categoryTree->setCurrentItem(b.treeItems[size_t(found)]);
    b.treeItems[size_t(found)]->setSelected(true);
    return found;
}

std::string mainCodeOf(Builder& b, int position)
{
    b.mainCode = mainCodeAt(b.categoryTable, position, b.categoryCode);
    return b.mainCode;
}

void clearTreeSelectionMark(Builder& b)
{
    if (b.currentTreeItem >= 0 && b.currentTreeItem < static_cast<int>(b.treeItems.size()))
        b.treeItems[size_t(b.currentTreeItem)]->setSelected(false);
}

void chooseCategory(Builder& b, QTreeWidgetItem* clicked)
{
    if (!clicked)
        return;
    const int position = clicked->data(0, Qt::UserRole).toInt();
    clearTreeSelectionMark(b);
    clicked->setSelected(true);
    b.categoryCode = b.categoryTable[size_t(position)].code;
    showOptionsFor(b, mainCodeOf(b, position));
}

void setOption(QRadioButton* option, QButtonGroup* group, bool on)
{
    if (on) {
        option->setChecked(true);
        return;
    }
    // An exclusive group never lets its checked button go by itself.
    group->setExclusive(false);
    option->setChecked(false);
    group->setExclusive(true);
}

static bool equalIgnoringAsciiCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

void setChooserText(QComboBox* chooser, const std::string& name)
{
    if (name.empty()) {
        chooser->setCurrentIndex(-1);
        return;
    }
    for (int i = 0; i < chooser->count(); ++i) {
        if (equalIgnoringAsciiCase(platform::fromWidgetText(chooser->itemText(i)), name)) {
            chooser->setCurrentIndex(i);
            return;
        }
    }
}

std::string chooserText(const QComboBox* chooser)
{
    return chooser->currentIndex() < 0 ? std::string() : platform::fromWidgetText(chooser->currentText());
}

void openSearchBuilder(const std::string& searchName, int toolTipsFlag)
{
    BuilderDialog window(shell::mainWindow, shell::dialogFlags);
    window.setObjectName("searchBuilder");
    window.setWindowTitle("Quillobrand Search Builder");
    Builder b;
    b.window = &window;

    b.startSearch = place(new QPushButton(&window), "startSearchButton", 300, 10, 35, 40);
    const QPixmap& picture = shell::images()[2];
    if (!picture.isNull()) {
        b.startSearch->setIcon(QIcon(picture));
        b.startSearch->setIconSize(picture.size());
    }
    // The button shows a picture only; this is its name for screen readers.
    b.startSearch->setAccessibleName("Start Search");
    b.currentSearchCaption = makeText(&window, "currentSearchCaption", "Current Search Is - ", 10, 14, 100, 20,
                                      Qt::AlignRight | Qt::AlignTop);
    b.currentSearchLabel = makeText(&window, "currentSearchLabel", "", 111, 14, 185, 20);
    b.tabs = place(new QTabWidget(&window), "builderTabs", 10, 50, 325, 310);
    auto* searchPage = new QWidget;
    searchPage->setObjectName("searchEditorPage");
    auto* areaPage = new QWidget;
    areaPage->setObjectName("areaEditorPage");
    b.tabs->addTab(searchPage, "Search Editor");
    b.tabs->addTab(areaPage, "Area Editor");
    createSearchEditorControls(b, searchPage);
    createAreaEditorControls(b, areaPage);

    b.statusLine->hide();
    b.progressBar->hide();
    setOption(b.entirePost, b.searchTypeGroup, true);
    if (toolTipsFlag == 0)
        attachToolTips(b);

    refillAreaChoosers({b.areaChooser, b.sourceChooser, b.targetChooser});
    loadSearch(b, searchName);
    loadCategoryTree(b);
    b.currentTreeItem = selectCurrentCategory(b);
    showOptionsFor(b, mainCodeOf(b, b.currentTreeItem));
    b.areaPlaces = readAreaNames(shell::suppliedFile(areaNamesFile));
    fillCityListFromFile(b.cityList, shell::suppliedFile(areaListFile("all cities")), b.areaPlaces);
    if (chooserText(b.areaChooser).empty())
        setChooserText(b.areaChooser, "Major Cities");

    connectEvents(b);
    shell::showFixedCentred(window, 345, 370);
    window.setWindowModality(Qt::ApplicationModal);
    window.show();
    b.wordsField->setFocus();
    window.exec();
}

BuilderRunHooks& builderRunHooks()
{
    static BuilderRunHooks hooks;
    return hooks;
}

} // namespace search

#include "ads/adswindow.h"

#include "ads/adcsv.h"
#include "ads/adsmodel.h"
#include "ads/adsource.h"
#include "platform/browser.h"
#include "platform/desktop.h"
#include "platform/filedialog.h"
#include "platform/files.h"
#include "platform/messagebox.h"
#include "platform/textcodec.h"
#include "search/adnotedialog.h"
#include "search/adstore.h"
#include "shell/mainwindow.h"
#include "shell/programstate.h"
#include "shell/widgethelpers.h"
#include "watch/watchfile.h"
#include "watch/watchrun.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSplitter>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>

namespace ads {

namespace {

// What the window keeps for its next opening while the program runs.
struct KeptState {
    bool valid = false;
    QByteArray header; // column widths and the sort indicator
    QByteArray splitter;
    AdFilter filter;
    int sortColumn = defaultOrder;
    Qt::SortOrder sortOrder = Qt::AscendingOrder;
};

KeptState& kept()
{
    static KeptState state;
    return state;
}

constexpr int previewRestMs = 300;
const char* const allCities = "All Cities";

struct AdsWindow {
    QDialog* window = nullptr;
    QComboBox* searchBox = nullptr;
    QLineEdit* wordsField = nullptr;
    QLineEdit* minField = nullptr;
    QLineEdit* maxField = nullptr;
    QComboBox* cityBox = nullptr;
    QCheckBox* newOnly = nullptr;
    QCheckBox* starredOnly = nullptr;
    QCheckBox* showHidden = nullptr;
    QSplitter* splitter = nullptr;
    QTreeView* list = nullptr;
    AdsModel* model = nullptr;
    std::unique_ptr<platform::Browser> preview;
    QLabel* statusLine = nullptr;
    QPushButton* openButton = nullptr;
    QPushButton* starButton = nullptr;
    QPushButton* hideButton = nullptr;
    QPushButton* noteButton = nullptr;
    QPushButton* exportButton = nullptr;
    QPushButton* forgetButton = nullptr;
    QPushButton* exitButton = nullptr;
    QTimer* previewTimer = nullptr;
    // The context of every handler: it goes before the window's controls do, so no handler runs while they are
    // being destroyed.
    QObject* context = nullptr;

    search::AdStore store;
    std::string storeProblem; // why the store could not be opened; empty when it is open
    std::vector<SearchChoice> choices;
    int choice = -1;
};

QString text(std::string_view bytes)
{
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string bytes(const QString& text)
{
    return text.toUtf8().toStdString();
}

template <typename Control> Control* named(Control* control, const char* objectName)
{
    control->setObjectName(objectName);
    return control;
}

QLabel* captionFor(QWidget* parent, const char* objectName, const char* caption, QWidget* buddy)
{
    QLabel* label = named(new QLabel(caption, parent), objectName);
    label->setBuddy(buddy);
    return label;
}

void createControls(AdsWindow& w)
{
    QDialog* parent = w.window;
    auto* whole = new QVBoxLayout(parent);
    whole->setContentsMargins(10, 10, 10, 10);

    auto* filters = new QHBoxLayout;
    w.searchBox = named(new QComboBox(parent), "searchBox");
    w.searchBox->setMinimumWidth(170);
    w.searchBox->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    filters->addWidget(captionFor(parent, "searchCaption", "Search", w.searchBox));
    filters->addWidget(w.searchBox);
    filters->addSpacing(12);
    w.wordsField = named(new QLineEdit(parent), "wordsField");
    w.wordsField->setClearButtonEnabled(true);
    filters->addWidget(captionFor(parent, "wordsCaption", "Words", w.wordsField));
    filters->addWidget(w.wordsField, 1);
    auto* wholeNumbers = new QRegularExpressionValidator(QRegularExpression("[0-9]{0,12}"), parent);
    w.minField = named(new QLineEdit(parent), "minField");
    w.maxField = named(new QLineEdit(parent), "maxField");
    for (QLineEdit* field : {w.minField, w.maxField}) {
        field->setValidator(wholeNumbers);
        field->setFixedWidth(70);
    }
    filters->addWidget(captionFor(parent, "minCaption", "Min", w.minField));
    filters->addWidget(w.minField);
    filters->addWidget(captionFor(parent, "maxCaption", "Max", w.maxField));
    filters->addWidget(w.maxField);
    w.cityBox = named(new QComboBox(parent), "cityBox");
    w.cityBox->setMinimumWidth(110);
    w.cityBox->setAccessibleName("City");
    filters->addWidget(w.cityBox);
    w.newOnly = named(new QCheckBox("New Only", parent), "newOnlyBox");
    w.starredOnly = named(new QCheckBox("Starred Only", parent), "starredOnlyBox");
    w.showHidden = named(new QCheckBox("Show Hidden", parent), "showHiddenBox");
    for (QCheckBox* tick : {w.newOnly, w.starredOnly, w.showHidden})
        filters->addWidget(tick);
    whole->addLayout(filters);

    w.splitter = named(new QSplitter(Qt::Horizontal, parent), "splitter");
    w.list = named(new QTreeView(w.splitter), "adsList");
    w.list->setAccessibleName("Ads");
    w.list->setRootIsDecorated(false);
    w.list->setItemsExpandable(false);
    w.list->setUniformRowHeights(true); // a list of 100,000 rows lays out without measuring each
    w.list->setAllColumnsShowFocus(true);
    w.list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    w.list->setSelectionBehavior(QAbstractItemView::SelectRows);
    w.list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    w.model = new AdsModel(w.window);
    w.list->setModel(w.model);
    QHeaderView* header = w.list->header();
    header->setSortIndicatorClearable(true); // a third click goes back to the page's order
    header->setSortIndicator(defaultOrder, Qt::AscendingOrder);
    header->setStretchLastSection(false);
    header->setSectionsMovable(false);
    w.list->setSortingEnabled(true);
    const int widths[] = {24, 260, 90, 110, 90, 110};
    for (int column = 0; column < columnCount; ++column)
        w.list->setColumnWidth(column, widths[column]);
    w.splitter->addWidget(w.list);
    w.preview = std::make_unique<platform::Browser>(w.splitter, 0, 0, 400, 300);
    w.preview->view()->setObjectName("previewBrowser");
    w.preview->view()->setAccessibleName("Preview");
    w.splitter->addWidget(w.preview->view());
    w.splitter->setStretchFactor(0, 3);
    w.splitter->setStretchFactor(1, 2);
    whole->addWidget(w.splitter, 1);

    auto* buttons = new QHBoxLayout;
    w.statusLine = named(new QLabel(parent), "statusLine");
    buttons->addWidget(w.statusLine, 1);
    auto button = [&](const char* objectName, const char* caption) {
        QPushButton* made = named(new QPushButton(caption, parent), objectName);
        made->setAutoDefault(false);
        buttons->addWidget(made);
        return made;
    };
    w.openButton = button("openButton", "Open in Browser");
    w.starButton = button("starButton", "Star");
    w.hideButton = button("hideButton", "Hide");
    w.noteButton = button("noteButton", "Note…");
    w.exportButton = button("exportButton", "Export CSV…");
    w.forgetButton = button("forgetButton", "Forget This Search");
    w.exitButton = button("exitButton", "Exit");
    whole->addLayout(buttons);

    w.previewTimer = new QTimer(w.window);
    w.previewTimer->setSingleShot(true);
    w.previewTimer->setInterval(previewRestMs);
}

void attachToolTips(AdsWindow& w)
{
    const std::pair<QWidget*, const char*> tips[] = {
        {w.searchBox, "The search whose ads are listed, or the starred ads of every search"},
        {w.wordsField, "Words every title must hold; a word with a leading - must not be there"},
        {w.minField, "Lowest price, a whole number; ads without a price are left out"},
        {w.maxField, "Highest price, a whole number; ads without a price are left out"},
        {w.cityBox, "Show the ads of one city"},
        {w.newOnly, "Show only the ads that are new since the run before"},
        {w.starredOnly, "Show only starred ads"},
        {w.showHidden, "Show hidden ads too, greyed"},
        {w.list, "Click a header to sort; Space stars, Delete hides the selected ads"},
        {w.preview->view(), "The selected ad's page on the site"},
        {w.openButton, "Open the selected ads in your web browser"},
        {w.starButton, "Star or unstar the selected ads (Space)"},
        {w.hideButton, "Hide or unhide the selected ads (Delete)"},
        {w.noteButton, "Write a note on the selected ads"},
        {w.exportButton, "Write the ads shown, in this order, to a CSV file"},
        {w.forgetButton, "Remove this search's ads from the store; stars, hidden marks and notes stay"},
        {w.exitButton, "Close the window"},
    };
    for (const auto& [control, tip] : tips)
        control->setToolTip(tip);
}

AdFilter filterFromControls(const AdsWindow& w)
{
    AdFilter filter;
    filter.words = bytes(w.wordsField->text());
    filter.minPrice = bytes(w.minField->text());
    filter.maxPrice = bytes(w.maxField->text());
    filter.city = w.cityBox->currentIndex() > 0 ? bytes(w.cityBox->currentText()) : std::string();
    filter.newOnly = w.newOnly->isChecked();
    filter.starredOnly = w.starredOnly->isChecked();
    filter.showHidden = w.showHidden->isChecked();
    return filter;
}

// The places in the list of the selected rows, in the list's order; the current row alone when none is selected.
std::vector<int> selectedPlaces(const AdsWindow& w)
{
    std::vector<int> places;
    for (const QModelIndex& index : w.list->selectionModel()->selectedRows())
        places.push_back(index.row());
    if (places.empty() && w.list->currentIndex().isValid())
        places.push_back(w.list->currentIndex().row());
    std::sort(places.begin(), places.end());
    return places;
}

const AdRow* currentRow(AdsWindow& w)
{
    const QModelIndex current = w.list->currentIndex();
    return current.isValid() ? &w.model->shownRow(current.row()) : nullptr;
}

void updateStatus(AdsWindow& w)
{
    QString status = QString("%1 ads, %2 shown").arg(w.model->rows().size()).arg(w.model->order().size());
    if (!w.storeProblem.empty())
        status = text(w.storeProblem);
    w.statusLine->setText(status);
}

void updateButtons(AdsWindow& w)
{
    const std::vector<int> places = selectedPlaces(w);
    const bool any = !places.empty();
    for (QPushButton* button : {w.openButton, w.starButton, w.hideButton, w.noteButton})
        button->setEnabled(any);
    const bool allHidden
        = any && std::all_of(places.begin(), places.end(), [&w](int place) { return w.model->shownRow(place).hidden; });
    w.hideButton->setText(allHidden ? "Unhide" : "Hide");
    w.exportButton->setEnabled(!w.model->order().empty());
    w.forgetButton->setEnabled(w.choice >= 0 && !w.choices[size_t(w.choice)].tail.empty() && w.storeProblem.empty());
}

// Selects the rows of these ad keys again after the list changed, the current one included when it is shown;
// else makes the row at fallbackPlace current.
void selectKeys(AdsWindow& w, const std::unordered_set<std::string>& keys, const std::string& currentKey,
                int fallbackPlace)
{
    QItemSelection selection;
    int current = -1;
    int rangeStart = -1;
    const int count = int(w.model->order().size());
    auto close = [&](int end) {
        if (rangeStart >= 0)
            selection.select(w.model->index(rangeStart, 0), w.model->index(end, columnCount - 1));
        rangeStart = -1;
    };
    for (int place = 0; place < count; ++place) {
        const std::string_view key = w.model->shownRow(place).key();
        if (key == currentKey)
            current = place;
        if (keys.count(std::string(key))) {
            if (rangeStart < 0)
                rangeStart = place;
        } else {
            close(place - 1);
        }
    }
    close(count - 1);
    QItemSelectionModel* model = w.list->selectionModel();
    if (current < 0 && count > 0 && fallbackPlace >= 0) {
        current = std::min(fallbackPlace, count - 1);
        if (selection.isEmpty())
            selection.select(w.model->index(current, 0), w.model->index(current, columnCount - 1));
    }
    if (current >= 0)
        model->setCurrentIndex(w.model->index(current, 0), QItemSelectionModel::NoUpdate);
    model->select(selection, QItemSelectionModel::ClearAndSelect);
    if (current >= 0)
        w.list->scrollTo(w.model->index(current, 0));
}

// Filters again after rows changed, keeping the selection on the same ads.
void refreshKeepingSelection(AdsWindow& w, const std::vector<int>& places)
{
    std::unordered_set<std::string> keys;
    for (int place : places)
        keys.insert(std::string(w.model->shownRow(place).key()));
    const AdRow* current = currentRow(w);
    const std::string currentKey = current ? std::string(current->key()) : std::string();
    w.model->refresh();
    selectKeys(w, keys, currentKey, places.empty() ? -1 : places.front());
    updateStatus(w);
    updateButtons(w);
}

void applyFilter(AdsWindow& w)
{
    w.model->setFilter(filterFromControls(w));
    updateStatus(w);
    updateButtons(w);
}

void storeFailed(AdsWindow& w)
{
    platform::showMessageBox(shell::programName, "The change could not be kept: " + w.store.lastError(),
                             platform::BoxIcon::Error);
}

// Puts the mark (a star, or hidden) on every selected row, or takes it off when all of them have it; each change
// is kept in the store at once.
void toggleMark(AdsWindow& w, bool AdRow::*mark, bool (search::AdStore::*keep)(const std::string&, bool))
{
    const std::vector<int> places = selectedPlaces(w);
    if (places.empty())
        return;
    const bool set = !std::all_of(places.begin(), places.end(), [&](int p) { return w.model->shownRow(p).*mark; });
    for (int place : places) {
        AdRow& row = w.model->shownRow(place);
        if (!(w.store.*keep)(std::string(row.key()), set)) {
            storeFailed(w);
            break;
        }
        row.*mark = set;
    }
    refreshKeepingSelection(w, places);
}

void toggleStar(AdsWindow& w)
{
    toggleMark(w, &AdRow::starred, &search::AdStore::setStarred);
}

void toggleHidden(AdsWindow& w)
{
    toggleMark(w, &AdRow::hidden, &search::AdStore::setHidden);
}

void editNote(AdsWindow& w)
{
    const std::vector<int> places = selectedPlaces(w);
    const AdRow* first = currentRow(w);
    if (places.empty() || !first)
        return;
    std::string note(first->note());
    if (!search::runAdNoteDialog(w.window, std::string(first->title()), note))
        return;
    for (int place : places) {
        AdRow& row = w.model->shownRow(place);
        const std::string key(row.key());
        if (!w.store.setNote(key, note)) {
            storeFailed(w);
            break;
        }
        row.setText(Text::note, w.store.marksOf(key).note); // as kept: a long note is cut
    }
    w.model->rowsChanged(places.front(), places.back());
}

// The row's link when it is a page of the web; a link of any other kind opens nothing from here.
std::optional<QUrl> webLink(const AdRow& row)
{
    const QUrl url(text(row.link()));
    if (url.scheme() != "http" && url.scheme() != "https")
        return std::nullopt;
    return url;
}

// More selected ads than this are opened only after a question: a slip of Ctrl+A would open a tab for each.
constexpr size_t adsOpenedWithoutAsking = 10;

void openInBrowser(AdsWindow& w)
{
    std::vector<QUrl> links;
    for (int place : selectedPlaces(w))
        if (const std::optional<QUrl> url = webLink(w.model->shownRow(place)))
            links.push_back(*url);
    if (links.size() > adsOpenedWithoutAsking
        && !platform::askYesNo(shell::programName,
                               "Open the " + std::to_string(links.size()) + " selected ads in your web browser?"))
        return;
    for (const QUrl& url : links)
        platform::openInDefaultBrowser(bytes(url.toString(QUrl::FullyEncoded)));
}

void showPreview(AdsWindow& w)
{
    const AdRow* row = currentRow(w);
    const std::optional<QUrl> url = row ? webLink(*row) : std::nullopt;
    if (url && w.preview->url() != *url)
        w.preview->navigate(bytes(url->toString(QUrl::FullyEncoded)));
}

std::string choiceName(const AdsWindow& w)
{
    return w.choice >= 0 ? w.choices[size_t(w.choice)].name : std::string(lastSearchName);
}

void exportCsv(AdsWindow& w)
{
    const std::optional<std::string> path = platform::chooseSaveFile(
        w.window, "Export CSV", shell::programFolder + choiceName(w) + " ads.csv", "CSV files (*.csv);;All files (*)");
    if (!path)
        return;
    if (!platform::writeFileAtomically(*path, adsCsv(w.model->rows(), w.model->order())))
        platform::showMessageBox(shell::programName, "The ads could not be written to " + *path + ".",
                                 platform::BoxIcon::Error);
}

void fillCityBox(AdsWindow& w, const std::vector<std::string>& cities, const std::string& keep)
{
    QSignalBlocker blocker(w.cityBox);
    w.cityBox->clear();
    w.cityBox->addItem(allCities);
    for (const std::string& city : cities)
        w.cityBox->addItem(text(city));
    const int found = keep.empty() ? 0 : w.cityBox->findText(text(keep));
    w.cityBox->setCurrentIndex(found > 0 ? found : 0);
}

void loadChoice(AdsWindow& w, int index)
{
    w.choice = index;
    std::vector<AdRow> rows;
    std::vector<std::string> cities;
    if (index >= 0 && w.storeProblem.empty()) {
        const SearchChoice& choice = w.choices[size_t(index)];
        if (choice.starredAds) {
            rows = rowsOf(w.store.starredAds(), true);
        } else if (!choice.tail.empty()) {
            rows = searchRows(w.store, choice.tail);
            cities = w.store.searchCities(choice.tail);
        }
    }
    const std::string keepCity = w.cityBox->currentIndex() > 0 ? bytes(w.cityBox->currentText()) : std::string();
    fillCityBox(w, cityChoices(cities, rows), keepCity);
    w.model->setRows({});
    w.model->setFilter(filterFromControls(w));
    w.model->setRows(std::move(rows));
    if (!w.model->order().empty())
        w.list->selectionModel()->setCurrentIndex(w.model->index(0, 0),
                                                  QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    updateStatus(w);
    updateButtons(w);
}

void forgetSearch(AdsWindow& w)
{
    if (w.choice < 0 || w.choices[size_t(w.choice)].tail.empty())
        return;
    const SearchChoice& choice = w.choices[size_t(w.choice)];
    if (!platform::askYesNo(shell::programName,
                            "Forget the ads of " + choice.name + "? Their stars, hidden marks and notes stay."))
        return;
    if (!w.store.forgetSearch(choice.tail))
        storeFailed(w);
    loadChoice(w, w.choice);
}

void restoreKeptState(AdsWindow& w)
{
    const KeptState& state = kept();
    if (!state.valid)
        return;
    w.list->header()->restoreState(state.header);
    w.splitter->restoreState(state.splitter);
    const QSignalBlocker blockers[]
        = {QSignalBlocker(w.wordsField), QSignalBlocker(w.minField),    QSignalBlocker(w.maxField),
           QSignalBlocker(w.newOnly),    QSignalBlocker(w.starredOnly), QSignalBlocker(w.showHidden)};
    w.wordsField->setText(text(state.filter.words));
    w.minField->setText(text(state.filter.minPrice));
    w.maxField->setText(text(state.filter.maxPrice));
    w.newOnly->setChecked(state.filter.newOnly);
    w.starredOnly->setChecked(state.filter.starredOnly);
    w.showHidden->setChecked(state.filter.showHidden);
    fillCityBox(w, state.filter.city.empty() ? std::vector<std::string>{} : std::vector{state.filter.city},
                state.filter.city);
    w.model->sort(state.sortColumn, state.sortOrder);
    w.list->header()->setSortIndicator(state.sortColumn, state.sortOrder);
}

void keepState(const AdsWindow& w)
{
    KeptState& state = kept();
    state.valid = true;
    state.header = w.list->header()->saveState();
    state.splitter = w.splitter->saveState();
    state.filter = filterFromControls(w);
    state.sortColumn = w.list->header()->sortIndicatorSection();
    state.sortOrder = w.list->header()->sortIndicatorOrder();
}

// Space and Delete on the list, without a modifier: Ctrl+Space keeps toggling the selection.
class ListKeys : public QObject {
public:
    ListKeys(QObject* parent, std::function<void(int key)> act)
        : QObject(parent)
        , m_act(std::move(act))
    {
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() != Qt::Key_Space && key->key() != Qt::Key_Delete) || key->modifiers() != Qt::NoModifier)
            return false;
        if (event->type() == QEvent::ShortcutOverride) {
            event->accept(); // the list takes the key before any shortcut of the window
            return true;
        }
        m_act(key->key());
        return true;
    }

private:
    std::function<void(int key)> m_act;
};

void connectEvents(AdsWindow& w)
{
    QObject::connect(w.searchBox, &QComboBox::currentIndexChanged, w.context,
                     [&w](int index) { loadChoice(w, index); });
    for (QLineEdit* field : {w.wordsField, w.minField, w.maxField})
        QObject::connect(field, &QLineEdit::textChanged, w.context, [&w] { applyFilter(w); });
    QObject::connect(w.cityBox, &QComboBox::currentIndexChanged, w.context, [&w] { applyFilter(w); });
    for (QCheckBox* tick : {w.newOnly, w.starredOnly, w.showHidden})
        QObject::connect(tick, &QCheckBox::toggled, w.context, [&w] { applyFilter(w); });
    QItemSelectionModel* selection = w.list->selectionModel();
    QObject::connect(selection, &QItemSelectionModel::currentChanged, w.context, [&w] { w.previewTimer->start(); });
    QObject::connect(selection, &QItemSelectionModel::selectionChanged, w.context, [&w] { updateButtons(w); });
    QObject::connect(w.model, &QAbstractItemModel::modelReset, w.context, [&w] { w.previewTimer->start(); });
    QObject::connect(w.previewTimer, &QTimer::timeout, w.context, [&w] { showPreview(w); });
    QObject::connect(w.openButton, &QPushButton::clicked, w.context, [&w] { openInBrowser(w); });
    QObject::connect(w.starButton, &QPushButton::clicked, w.context, [&w] { toggleStar(w); });
    QObject::connect(w.hideButton, &QPushButton::clicked, w.context, [&w] { toggleHidden(w); });
    QObject::connect(w.noteButton, &QPushButton::clicked, w.context, [&w] { editNote(w); });
    QObject::connect(w.exportButton, &QPushButton::clicked, w.context, [&w] { exportCsv(w); });
    QObject::connect(w.forgetButton, &QPushButton::clicked, w.context, [&w] { forgetSearch(w); });
    QObject::connect(w.exitButton, &QPushButton::clicked, w.window, &QDialog::reject);

    // The keys act on the list only: Space in the words field is a blank.
    w.list->installEventFilter(new ListKeys(w.context, [&w](int key) {
        if (key == Qt::Key_Space)
            toggleStar(w);
        else
            toggleHidden(w);
    }));
}

} // namespace

std::string shownSearchName()
{
    if (!shell::mainBrowser)
        return lastSearchName;
    const QUrl shown = shell::mainBrowser->url();
    if (shown.isLocalFile()) {
        const std::string path = platform::fromWidgetText(shown.toLocalFile());
        for (const std::string& name : watch::activeWatches())
            if (watch::watchRunFiles(name).resultsPath == path)
                return name;
    }
    return lastSearchName;
}

void forgetWindowState()
{
    kept() = KeptState{};
}

void adsWindow(std::int32_t expertMode, const std::string& startSearch)
{
    QDialog window(shell::mainWindow, shell::dialogFlags | Qt::WindowMaximizeButtonHint);
    window.setObjectName("adsWindow");
    window.setWindowTitle("Quillobrand Ads");
    AdsWindow w;
    QObject handlers;
    w.window = &window;
    w.context = &handlers;
    createControls(w);
    if (expertMode == 0)
        attachToolTips(w);

    const search::StoreStatus status = w.store.open(search::adStorePath());
    if (status == search::StoreStatus::newerVersion)
        w.storeProblem = "The ad store was written by a newer version of Quillobrand.";
    else if (status != search::StoreStatus::ok)
        w.storeProblem = "The ad store could not be opened: " + w.store.lastError();
    w.choices = searchChoices(w.storeProblem.empty() ? w.store.searchTails() : std::vector<std::string>{});
    for (const SearchChoice& choice : w.choices)
        w.searchBox->addItem(text(choice.name));

    restoreKeptState(w);
    const std::string start = startSearch.empty() ? shownSearchName() : startSearch;
    int first = 0;
    for (size_t i = 0; i < w.choices.size(); ++i)
        if (w.choices[i].name == start)
            first = int(i);
    {
        const QSignalBlocker blocker(w.searchBox);
        w.searchBox->setCurrentIndex(first);
    }
    loadChoice(w, first);
    connectEvents(w);
    w.previewTimer->start(); // the first row is the selection until the user moves

    // At the main window's size and place: a list needs room, and it may be made larger or smaller.
    if (shell::mainWindow)
        window.setGeometry(shell::mainWindow->geometry());
    else
        window.resize(1000, 700);
    if (!kept().valid) // the list first: the preview is there to glance at
        w.splitter->setSizes({window.width() * 3 / 5, window.width() * 2 / 5});
    w.list->setFocus();
    window.exec();
    keepState(w);
    w.previewTimer->stop();
}

} // namespace ads

#include "watch/watchwindow.h"

#include "mail/senderprofile.h"
#include "platform/autostart.h"
#include "platform/messagebox.h"
#include "platform/textcodec.h"
#include "shell/mainwindow.h"
#include "shell/programstate.h"
#include "shell/widgethelpers.h"
#include "watch/watchfile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>

#include <algorithm>
#include <vector>

namespace watch {

WatchWindowHooks& windowHooks()
{
    static WatchWindowHooks hooks;
    return hooks;
}

namespace {

using shell::caption;
using shell::place;

const char* const goneText = "Its saved search is gone: this watch does nothing.";
const char* const damagedText = "Its watch file is over 64 KB, so damaged: it is left as it is.";

// One line of the list: a saved search, or a watch whose saved search is gone.
struct Entry {
    std::string name;
    bool searchExists = true;
    bool onDisk = false; // the watch file exists
    bool ticked = false;
    bool damaged = false; // the watch file is too big to be one: shown, never touched
    WatchFile file; // as read, with the window's edits once the entry was chosen
};

struct WatchWindow {
    QDialog* window = nullptr;
    QListWidget* list = nullptr;
    QLabel* chosenName = nullptr;
    QSpinBox* interval = nullptr;
    QLineEdit* mailTo = nullptr;
    QComboBox* profile = nullptr;
    QLineEdit* lastResult = nullptr;
    QLabel* lastRun = nullptr;
    QLabel* goneNote = nullptr;
    QPushButton* runNow = nullptr;
    QCheckBox* autostart = nullptr;
    QPushButton* save = nullptr;
    QPushButton* exit = nullptr;

    const WatchWindowHooks* hooks = nullptr;
    std::vector<Entry> entries; // in the list's order
    int shown = -1; // the entry the fields show

    Entry* chosen() { return shown >= 0 && shown < int(entries.size()) ? &entries[size_t(shown)] : nullptr; }
};

void createControls(WatchWindow& w)
{
    QWidget* parent = w.window;
    caption(parent, "watchCaption", "Watch", 10, 10, 40);
    caption(parent, "searchCaption", "Saved Search", 40, 10, 130);
    w.list = place(new QListWidget(parent), "searchList", 10, 30, 160, 230);
    w.list->setSelectionMode(QAbstractItemView::SingleSelection);
    w.list->setAccessibleName("Saved searches");
    w.chosenName = caption(parent, "chosenName", "", 180, 10, 195);
    caption(parent, "intervalCaption", "Interval (minutes)", 180, 35, 110)
        ->setBuddy(w.interval = place(new QSpinBox(parent), "intervalBox", 300, 35, 75, 20));
    w.interval->setRange(minimumInterval, maximumInterval);
    w.interval->setValue(defaultInterval);
    caption(parent, "mailCaption", "Mail new ads to", 180, 60, 195)
        ->setBuddy(w.mailTo = place(new QLineEdit(parent), "mailField", 180, 75, 195, 20));
    caption(parent, "profileCaption", "Profile", 180, 100, 195)
        ->setBuddy(w.profile = place(new QComboBox(parent), "profileBox", 180, 115, 195, 20));
    caption(parent, "resultCaption", "Last result", 180, 140, 195)
        ->setBuddy(w.lastResult = place(new QLineEdit(parent), "resultField", 180, 155, 195, 20));
    w.lastResult->setReadOnly(true);
    w.lastResult->setStyleSheet("background: white");
    w.lastRun = caption(parent, "lastRunLabel", "", 180, 180, 195);
    w.goneNote = place(new QLabel(goneText, parent), "goneNote", 180, 200, 195, 30);
    w.goneNote->setWordWrap(true);
    w.goneNote->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    w.runNow = place(new QPushButton("Run Now", parent), "runNowButton", 180, 240, 60, 20);
    w.runNow->setAutoDefault(false);
    w.autostart = place(new QCheckBox("Start Quillobrand when I log in", parent), "autostartBox", 10, 270, 220, 20);
    w.save = shell::makeDialogButton(parent, "saveButton", "Save", 290, 270);
    w.exit = shell::makeDialogButton(parent, "exitButton", "Exit", 335, 270);
}

void attachToolTips(WatchWindow& w)
{
    const std::pair<QWidget*, const char*> tips[] = {
        {w.list, "Tick Watch to have a saved search run by itself"},
        {w.interval, "Minutes between two runs, 15 to 1440"},
        {w.mailTo, "One address for a mail of the new ads; empty for none"},
        {w.profile, "The email profile the mail is sent from"},
        {w.lastResult, "What the last run found"},
        {w.runNow, "Run this watch now"},
        {w.autostart, "Start Quillobrand in the system tray when you log in, so the watches run"},
        {w.save, "Save the watches"},
        {w.exit, "Close without saving"},
    };
    for (const auto& [control, tip] : tips)
        control->setToolTip(tip);
}

void loadEntries(WatchWindow& w)
{
    shell::fillFileList("savedsearch/", ".search", w.list);
    std::vector<std::string> names;
    for (int row = 0; row < w.list->count(); ++row)
        names.push_back(platform::fromWidgetText(w.list->item(row)->text()));
    // Watches whose saved search has gone are listed too, after the others, so the user can see and end them.
    for (const std::string& name : watchedSearches()) {
        if (std::find(names.begin(), names.end(), name) == names.end()) {
            names.push_back(name);
            w.list->addItem(platform::toWidgetText(name));
        }
    }
    for (size_t row = 0; row < names.size(); ++row) {
        Entry entry;
        entry.name = names[row];
        entry.searchExists = savedSearchExists(entry.name);
        if (auto file = readWatch(entry.name)) {
            entry.file = std::move(*file);
            entry.onDisk = entry.ticked = true;
        } else if (isDamagedWatch(entry.name)) {
            entry.onDisk = entry.ticked = entry.damaged = true;
        }
        w.entries.push_back(std::move(entry));
        QListWidgetItem* item = w.list->item(int(row));
        // Unticking would delete the damaged file; the user may want to look at it first.
        if (w.entries.back().damaged)
            item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
        else
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(w.entries.back().ticked ? Qt::Checked : Qt::Unchecked);
    }
}

void fillProfileBox(WatchWindow& w)
{
    // The first line stands for no name: the digest then goes through the default profile.
    w.profile->addItem("(default profile)", QString());
    for (const std::string& name : mail::profileList(shell::programFolder))
        w.profile->addItem(platform::toWidgetText(name), platform::toWidgetText(name));
}

void keepFields(WatchWindow& w)
{
    Entry* entry = w.chosen();
    if (!entry || !entry->ticked)
        return;
    entry->file.interval = w.interval->value();
    entry->file.mailTo = platform::fromWidgetText(w.mailTo->text().trimmed());
    entry->file.profile = platform::fromWidgetText(w.profile->currentData().toString());
}

void showEntry(WatchWindow& w, int row)
{
    w.shown = row;
    const Entry* entry = w.chosen();
    const bool editable = entry && entry->ticked && !entry->damaged;
    for (QWidget* field : std::initializer_list<QWidget*>{w.interval, w.mailTo, w.profile})
        field->setEnabled(editable);
    w.runNow->setEnabled(editable && entry->searchExists && w.hooks->runNow);
    w.goneNote->setText(entry && entry->damaged ? damagedText : goneText);
    w.goneNote->setVisible(entry && (entry->damaged || !entry->searchExists));
    if (!entry) {
        w.chosenName->clear();
        w.lastResult->clear();
        w.lastRun->clear();
        return;
    }
    const WatchFile& file = entry->file;
    w.chosenName->setText(platform::toWidgetText(entry->name));
    w.interval->setValue(file.interval);
    w.mailTo->setText(platform::toWidgetText(file.mailTo));
    const QString profile = platform::toWidgetText(file.profile);
    int position = w.profile->findData(profile);
    if (position < 0) {
        // A profile whose file has gone stays the watch's choice until the user picks another.
        w.profile->addItem(profile, profile);
        position = w.profile->count() - 1;
    }
    w.profile->setCurrentIndex(position);
    w.lastResult->setText(platform::toWidgetText(file.lastResult));
    w.lastRun->setText(QString("Last run: ")
                       + (file.lastRun ? platform::toWidgetText(formatLocalTime(*file.lastRun)) : QString("never")));
}

// Writes the entry's own fields over the file as it is now: a watch run may have written its result since the
// window read it.
bool saveEntry(Entry& entry)
{
    if (entry.damaged)
        return true;
    if (!entry.ticked) {
        if (entry.onDisk && !removeWatch(entry.name))
            return false;
        entry.onDisk = false;
        return true;
    }
    WatchFile current = readWatch(entry.name).value_or(WatchFile{});
    const bool same = entry.onDisk && current.interval == entry.file.interval && current.mailTo == entry.file.mailTo
        && current.profile == entry.file.profile;
    if (same)
        return true;
    current.interval = entry.file.interval;
    current.mailTo = entry.file.mailTo;
    current.profile = entry.file.profile;
    if (!writeWatch(entry.name, current))
        return false;
    entry.file = std::move(current);
    entry.onDisk = true;
    return true;
}

void reportFailure(const std::string& name)
{
    platform::showMessageBox(shell::programName, "The watch of " + name + " could not be saved.",
                             platform::BoxIcon::Error);
}

std::string programPath()
{
    return shell::programFile;
}

void onSave(WatchWindow& w)
{
    keepFields(w);
    bool saved = true;
    for (Entry& entry : w.entries) {
        if (!saveEntry(entry)) {
            reportFailure(entry.name);
            saved = false;
        }
    }
    const bool wanted = w.autostart->isChecked();
    if (wanted && !platform::autostartEntryExists() && !platform::autostartCanHold(shell::programFile)) {
        platform::showMessageBox(shell::programName,
                                 "Quillobrand can't start at log-in from the folder "
                                     + platform::printablePath(shell::programFile.substr(0, shell::programFile.rfind('/') + 1))
                                     + ": a log-in entry can't hold its name (a control character, or bytes that are "
                                       "not UTF-8, shown as \\xNN). Move the program to a folder with a plain name.",
                                 platform::BoxIcon::Error);
        w.autostart->setChecked(false);
        saved = false;
    } else if (wanted != platform::autostartEntryExists()) {
        const bool done = wanted ? platform::writeAutostartEntry(shell::programFile) : platform::removeAutostartEntry();
        if (!done) {
            platform::showMessageBox(shell::programName, "The log-in start could not be changed.",
                                     platform::BoxIcon::Error);
            saved = false;
        }
    }
    if (w.hooks->watchesSaved)
        w.hooks->watchesSaved();
    if (saved)
        platform::showMessageBox(shell::programName, "Watches Saved", platform::BoxIcon::None);
}

void onRunNow(WatchWindow& w)
{
    keepFields(w);
    Entry* entry = w.chosen();
    if (!entry || !entry->ticked || entry->damaged || !entry->searchExists)
        return;
    // The run reads the watch file: it must hold what the window shows.
    if (!saveEntry(*entry)) {
        reportFailure(entry->name);
        return;
    }
    if (w.hooks->watchesSaved)
        w.hooks->watchesSaved();
    if (w.hooks->runNow)
        w.hooks->runNow(entry->name);
}

void onTicked(WatchWindow& w, QListWidgetItem* item)
{
    const int row = w.list->row(item);
    if (row < 0 || row >= int(w.entries.size()))
        return;
    Entry& entry = w.entries[size_t(row)];
    const bool ticked = item->checkState() == Qt::Checked;
    if (ticked == entry.ticked)
        return;
    if (row == w.shown)
        keepFields(w);
    entry.ticked = ticked;
    if (ticked && !entry.onDisk)
        entry.file = WatchFile{}; // a new watch starts with the defaults
    if (row == w.shown)
        showEntry(w, row);
}

void connectEvents(WatchWindow& w)
{
    QObject::connect(w.list, &QListWidget::currentRowChanged, w.window, [&w](int row) {
        keepFields(w);
        showEntry(w, row);
    });
    QObject::connect(w.list, &QListWidget::itemChanged, w.window, [&w](QListWidgetItem* item) { onTicked(w, item); });
    QObject::connect(w.save, &QPushButton::clicked, w.window, [&w] { onSave(w); });
    QObject::connect(w.runNow, &QPushButton::clicked, w.window, [&w] { onRunNow(w); });
    QObject::connect(w.exit, &QPushButton::clicked, w.window, &QDialog::reject);
}

WatchWindow* openWindow = nullptr;

} // namespace

void showRunEnded(const std::string& name)
{
    if (!openWindow)
        return;
    WatchWindow& w = *openWindow;
    const std::optional<WatchFile> file = readWatch(name);
    for (size_t row = 0; file && row < w.entries.size(); ++row) {
        Entry& entry = w.entries[row];
        if (entry.name != name)
            continue;
        // Only what the run wrote: the user's edits of the other fields stay.
        if (int(row) == w.shown)
            keepFields(w);
        entry.file.lastRun = file->lastRun;
        entry.file.lastResult = file->lastResult;
        if (int(row) == w.shown)
            showEntry(w, w.shown);
    }
}

void watchWindow(std::int32_t expertMode, const WatchWindowHooks& hooks)
{
    QDialog window(shell::mainWindow, shell::dialogFlags);
    window.setObjectName("watchWindow");
    window.setWindowTitle("Quillobrand Watch");
    WatchWindow w;
    w.window = &window;
    w.hooks = &hooks;
    createControls(w);
    fillProfileBox(w);
    loadEntries(w);
    w.autostart->setChecked(platform::autostartEntryExists());
    if (expertMode == 0)
        attachToolTips(w);
    showEntry(w, -1);
    connectEvents(w);
    if (!w.entries.empty())
        w.list->setCurrentRow(0);

    shell::showFixedCentred(window, 385, 300);
    openWindow = &w;
    window.exec();
    openWindow = nullptr;
}

} // namespace watch

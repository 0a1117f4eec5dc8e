// The Area Editor tab of the search builder: choosers, the two city lists, moves, New, Delete and Save.

#include "platform/files.h"
#include "platform/messagebox.h"
#include "platform/textcodec.h"
#include "search/arealist.h"
#include "search/builder.h"
#include "shell/programstate.h"
#include "shell/widgethelpers.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>

#include <unistd.h>

namespace search {

namespace {

void fillList(QListWidget* list, const std::vector<std::string>& lines,
              const std::map<std::string, std::string>& places)
{
    // Without the site's list the text is the code itself; with it the code stays the item's data, which is what
    // moves and what is saved.
    for (const std::string& line : lines) {
        const auto found = places.find(line);
        auto* item = new QListWidgetItem(found == places.end() ? platform::toWidgetText(line)
                                                               : QString::fromUtf8(areaLabel(line, places)));
        item->setData(Qt::UserRole, platform::toWidgetText(line));
        if (found != places.end())
            item->setToolTip(item->text()); // the lists are narrow
        list->addItem(item);
    }
}

// The new-area dialog: its close box gives back the name it started with.
class NewAreaDialog : public QDialog {
public:
    NewAreaDialog(QWidget* parent, std::string initialName)
        : QDialog(parent, shell::dialogFlags)
        , result(initialName)
        , initial(std::move(initialName))
    {
    }
    std::string result;
    std::string initial;

protected:
    void closeEvent(QCloseEvent* event) override
    {
        result = initial;
        QDialog::closeEvent(event);
    }
    void reject() override
    {
        result = initial;
        QDialog::reject();
    }
};

} // namespace

void refillAreaChoosers(std::initializer_list<QComboBox*> choosers)
{
    for (QComboBox* chooser : choosers) {
        chooser->clear();
        shell::fillFileList("citydata/", ".city", chooser);
        // A freshly filled chooser has no selection until the user (or a loaded search) picks one.
        chooser->setCurrentIndex(-1);
    }
}

void fillCityListFromFile(QListWidget* list, const std::string& path, const std::map<std::string, std::string>& places)
{
    if (const auto lines = readAreaList(path))
        fillList(list, *lines, places);
}

std::string cityCodeOf(const QListWidgetItem* item)
{
    const QVariant code = item->data(Qt::UserRole);
    return platform::fromWidgetText(code.isValid() ? code.toString() : item->text());
}

void filterCityList(QListWidget* list, const QString& text)
{
    const QString wanted = text.trimmed();
    for (int row = 0; row < list->count(); ++row) {
        QListWidgetItem* item = list->item(row);
        // The text holds the code and the place.
        const bool shown = wanted.isEmpty() || item->text().contains(wanted, Qt::CaseInsensitive);
        item->setHidden(!shown);
        // A line the user can't see is not moved by the copy buttons.
        if (!shown)
            item->setSelected(false);
    }
}

void loadListFromAreaFile(QComboBox* chooser, QListWidget* list, std::string& rememberedName,
                          const std::map<std::string, std::string>& places)
{
    const std::string name = chooserText(chooser);
    if (name == rememberedName)
        return;
    const auto lines = readAreaList(shell::suppliedFile(areaListFile(name)));
    if (!lines)
        return;
    list->clear();
    fillList(list, *lines, places);
    list->setFocus();
    rememberedName = name;
}

void moveSelectedCities(QListWidget* source, QListWidget* destination)
{
    for (;;) {
        int lowest = -1;
        for (int row = 0; row < source->count(); ++row) {
            if (source->item(row)->isSelected() && !source->item(row)->isHidden()) {
                lowest = row;
                break;
            }
        }
        if (lowest < 0)
            return;
        QListWidgetItem* item = source->takeItem(lowest);
        if (cityCodeOf(item).empty()) {
            delete item;
        } else {
            item->setHidden(false); // a filter of the list it leaves is not one of the list it joins
            destination->addItem(item);
        }
    }
}

std::string newAreaDialog(QWidget* parent, const std::string& initialName)
{
    NewAreaDialog dialog(parent, initialName);
    dialog.setObjectName("newAreaDialog");
    dialog.setWindowTitle("New Area");
    auto* caption = new QLabel("Name This Area", &dialog);
    caption->setObjectName("nameCaption");
    caption->setGeometry(10, 10, 200, 20);
    caption->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    auto* nameField = new QLineEdit(platform::toWidgetText(initialName), &dialog);
    nameField->setObjectName("nameField");
    nameField->setGeometry(10, 30, 200, 20);
    caption->setBuddy(nameField);
    QPushButton* ok = shell::makeDialogButton(&dialog, "okButton", "OK", 60, 60);
    QPushButton* exit = shell::makeDialogButton(&dialog, "exitButton", "Exit", 105, 60);
    QObject::connect(ok, &QPushButton::clicked, &dialog, [&] {
        dialog.result = platform::fromWidgetText(nameField->text());
        dialog.accept();
    });
    QObject::connect(exit, &QPushButton::clicked, &dialog, [&] {
        dialog.result.clear();
        dialog.accept();
    });
    shell::showFixedCentred(dialog, 220, 90);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.show();
    nameField->setFocus();
    dialog.exec();
    return dialog.result;
}

void onNewArea(Builder& b)
{
    b.window->setEnabled(false);
    const std::string name = newAreaDialog(b.window, "");
    b.window->setEnabled(true);
    if (name.empty())
        return;
    for (QComboBox* chooser : {b.areaChooser, b.sourceChooser, b.targetChooser})
        chooser->addItem(platform::toWidgetText(name));
    setChooserText(b.targetChooser, name);
    b.areaListEditor->clear();
    // The emptied editor holds no list any more: choosing any list afterwards, the one loaded before included,
    // must load it, or a Save would write the empty editor over that list.
    b.areaListEditorName.clear();
}

void onDeleteArea(Builder& b)
{
    const std::string name = chooserText(b.targetChooser);
    if (name.empty())
        return;
    if (!platform::askYesNo("Delete Area", "Do You Really Want To Delete " + name + "?"))
        return;
    if (platform::isAcceptableFileName(name)) // a typed "../x" must not reach outside the folder
        ::unlink((shell::programFolder + areaListFile(name)).c_str());
    b.areaListEditor->clear();
    refillAreaChoosers({b.targetChooser});
    b.cityList->clear();
    refillAreaChoosers({b.sourceChooser});
    refillAreaChoosers({b.areaChooser});
    // Emptied lists hold no list any more: choosing the same name again must load it.
    b.cityListName.clear();
    b.areaListEditorName.clear();
}

void onSaveArea(Builder& b)
{
    const std::string name = chooserText(b.targetChooser);
    if (name.empty())
        return;
    std::vector<std::string> lines;
    for (int row = 0; row < b.areaListEditor->count(); ++row)
        lines.push_back(cityCodeOf(b.areaListEditor->item(row)));
    if (platform::isAcceptableFileName(name))
        writeAreaList(shell::programFolder + areaListFile(name), lines);
    b.tabs->setCurrentIndex(0);
}

} // namespace search

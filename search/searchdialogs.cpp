// Saved searches in the builder: the file written from and read into the controls, and the two dialogs.

#include "platform/files.h"
#include "platform/messagebox.h"
#include "platform/textcodec.h"
#include "search/builder.h"
#include "search/builderwindow.h"
#include "search/savedsearch.h"
#include "shell/programstate.h"
#include "shell/widgethelpers.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

#include <unistd.h>

namespace search {

namespace {

std::string textOf(const QLineEdit* field)
{
    return platform::fromWidgetText(field->text());
}
std::int32_t flagOf(const QAbstractButton* button)
{
    return button->isChecked() ? 1 : 0;
}

// The builder is disabled while one of its dialogs runs.
template <typename Routine> auto withBuilderDisabled(Builder& b, Routine routine)
{
    b.window->setEnabled(false);
    auto result = routine();
    b.window->setEnabled(true);
    return result;
}

// A watch runs a saved search by its name: the question says that the watch stops with it.
std::string deleteSearchQuestion(const std::string& name)
{
    std::string question = "Do You Really Want To Delete " + name + "?";
    if (watchedSearchCheck() && watchedSearchCheck()(name))
        question += "\n\nThe watch \"" + name
            + "\" runs this search: it does nothing until a search of that name is saved again.";
    return question;
}

} // namespace

std::function<bool(const std::string& name)>& watchedSearchCheck()
{
    static std::function<bool(const std::string&)> check;
    return check;
}

SearchDefinition searchFromControls(const Builder& b)
{
    SearchDefinition s;
    s.categoryCode = b.categoryCode;
    s.words = textOf(b.wordsField);
    s.areaListName = chooserText(b.areaChooser);
    s.priceMin = textOf(b.priceFrom);
    s.priceMax = textOf(b.priceTo);
    s.titleOnly = flagOf(b.titleOnly);
    s.entirePost = flagOf(b.entirePost);
    s.hasPicture = flagOf(b.hasPicture);
    s.payPaid = flagOf(b.pay);
    s.payNone = flagOf(b.noPay);
    s.payAll = flagOf(b.allPay);
    s.telecommute = flagOf(b.telecommute);
    s.contract = flagOf(b.contract);
    s.internship = flagOf(b.internship);
    s.partTime = flagOf(b.partTime);
    s.nonProfit = flagOf(b.nonProfit);
    s.rentMin = textOf(b.rentFrom);
    s.rentMax = textOf(b.rentTo);
    s.catsOk = flagOf(b.catsOk);
    s.dogsOk = flagOf(b.dogsOk);
    s.bedrooms = textOf(b.bedrooms);
    s.ageMin = textOf(b.ageFrom);
    s.ageMax = textOf(b.ageTo);
    return s;
}

void saveSearch(Builder& b, const std::string& name)
{
    if (platform::isAcceptableFileName(name))
        writeSavedSearch(shell::programFolder + savedSearchFile(name), searchFromControls(b));
}

void loadSearch(Builder& b, const std::string& name)
{
    b.currentSearchName = name;
    b.currentSearchLabel->setText(platform::toWidgetText(name));
    const std::optional<SearchDefinition> s = readSavedSearch(shell::programFolder + savedSearchFile(name));
    if (!s)
        return;
    auto setText = [](QLineEdit* field, const std::string& text) { field->setText(platform::toWidgetText(text)); };
    // Values go in in file order, so that of two options of a group both stored as 1, the later one wins.
    auto setFlag = [](QAbstractButton* box, std::int32_t value) { box->setChecked(value == 1); };
    auto setGroupOption
        = [](QRadioButton* option, QButtonGroup* group, std::int32_t value) { setOption(option, group, value == 1); };
    b.categoryCode = s->categoryCode;
    setText(b.wordsField, s->words);
    setChooserText(b.areaChooser, s->areaListName);
    setText(b.priceFrom, s->priceMin);
    setText(b.priceTo, s->priceMax);
    setGroupOption(b.titleOnly, b.searchTypeGroup, s->titleOnly);
    setGroupOption(b.entirePost, b.searchTypeGroup, s->entirePost);
    setFlag(b.hasPicture, s->hasPicture);
    setGroupOption(b.pay, b.payGroup, s->payPaid);
    setGroupOption(b.noPay, b.payGroup, s->payNone);
    setGroupOption(b.allPay, b.payGroup, s->payAll);
    setFlag(b.telecommute, s->telecommute);
    setFlag(b.contract, s->contract);
    setFlag(b.internship, s->internship);
    setFlag(b.partTime, s->partTime);
    setFlag(b.nonProfit, s->nonProfit);
    setText(b.rentFrom, s->rentMin);
    setText(b.rentTo, s->rentMax);
    setFlag(b.catsOk, s->catsOk);
    setFlag(b.dogsOk, s->dogsOk);
    setText(b.bedrooms, s->bedrooms);
    setText(b.ageFrom, s->ageMin);
    setText(b.ageTo, s->ageMax);
}

void saveSearchDialog(Builder& b, const std::string& currentName)
{
    QDialog dialog(b.window, shell::dialogFlags);
    dialog.setObjectName("saveSearchDialog");
    dialog.setWindowTitle("Save Search");
    auto* caption = new QLabel("Name This Search", &dialog);
    caption->setObjectName("nameCaption");
    caption->setGeometry(10, 10, 200, 20);
    caption->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    auto* nameField = new QLineEdit(platform::toWidgetText(currentName), &dialog);
    nameField->setObjectName("nameField");
    nameField->setGeometry(10, 30, 200, 20);
    caption->setBuddy(nameField);
    QPushButton* save = shell::makeDialogButton(&dialog, "saveButton", "Save", 65, 60);
    QPushButton* exit = shell::makeDialogButton(&dialog, "exitButton", "Exit", 110, 60);
    QObject::connect(save, &QPushButton::clicked, &dialog, [&] {
        saveSearch(b, platform::fromWidgetText(nameField->text()));
        dialog.accept();
    });
    QObject::connect(exit, &QPushButton::clicked, &dialog, &QDialog::reject);
    shell::showFixedCentred(dialog, 220, 90);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.show();
    nameField->setFocus();
    // Typing replaces the proposed name rather than adding to it.
    nameField->selectAll();
    dialog.exec();
}

std::string savedSearchesDialog(Builder& b, const std::string& currentName)
{
    QDialog dialog(b.window, shell::dialogFlags);
    dialog.setObjectName("savedSearchesDialog");
    dialog.setWindowTitle("Load/Delete Saved Search");
    auto* list = new QListWidget(&dialog);
    list->setObjectName("savedSearchList");
    list->setAccessibleName("Saved searches");
    list->setGeometry(10, 10, 280, 80);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    shell::fillFileList("savedsearch/", ".search", list);
    QPushButton* load = shell::makeDialogButton(&dialog, "loadButton", "Load", 85, 100);
    QPushButton* remove = shell::makeDialogButton(&dialog, "deleteButton", "Delete", 130, 100);
    QPushButton* exit = shell::makeDialogButton(&dialog, "exitButton", "Exit", 175, 100);

    std::string chosenName;
    std::string result = currentName;
    std::string current = currentName;
    QObject::connect(list, &QListWidget::itemClicked, &dialog,
                     [&](QListWidgetItem* item) { chosenName = platform::fromWidgetText(item->text()); });
    shell::onKeyboardChoice(list, [&] { chosenName = platform::fromWidgetText(list->currentItem()->text()); });
    QObject::connect(load, &QPushButton::clicked, &dialog, [&] {
        loadSearch(b, chosenName);
        result = chosenName;
        dialog.accept();
    });
    QObject::connect(remove, &QPushButton::clicked, &dialog, [&] {
        if (!platform::askYesNo("Delete Search", deleteSearchQuestion(chosenName)))
            return;
        ::unlink((shell::programFolder + savedSearchFile(chosenName)).c_str());
        list->clear();
        shell::fillFileList("savedsearch/", ".search", list);
        current = chosenName;
    });
    QObject::connect(exit, &QPushButton::clicked, &dialog, &QDialog::reject);
    QObject::connect(&dialog, &QDialog::rejected, &dialog, [&] { result = current; });
    shell::showFixedCentred(dialog, 300, 130);
    dialog.exec();
    return result;
}

void onSearchSaveButton(Builder& b)
{
    shell::rememberedWords = platform::fromWidgetText(b.wordsField->text());
    withBuilderDisabled(b, [&] {
        saveSearchDialog(b, platform::fromWidgetText(b.currentSearchLabel->text()));
        return 0;
    });
}

void onSavedSearchesButton(Builder& b)
{
    clearTreeSelectionMark(b);
    const std::string name = withBuilderDisabled(
        b, [&] { return savedSearchesDialog(b, platform::fromWidgetText(b.currentSearchLabel->text())); });
    b.currentSearchName = name;
    b.wordsField->setText(platform::toWidgetText(shell::rememberedWords));
    b.currentTreeItem = selectCurrentCategory(b);
    loadSearch(b, name);
    showOptionsFor(b, mainCodeOf(b, b.currentTreeItem));
}

} // namespace search

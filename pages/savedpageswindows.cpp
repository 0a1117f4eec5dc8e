#include "pages/savedpageswindows.h"

#include "pages/savedpage.h"
#include "platform/files.h"
#include "platform/messagebox.h"
#include "platform/textcodec.h"
#include "shell/mainwindow.h"
#include "shell/pagetitle.h"
#include "shell/programstate.h"
#include "shell/widgethelpers.h"

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include <unistd.h>

namespace pages {

void savePageDialog()
{
    QDialog dialog(shell::mainWindow, shell::dialogFlags);
    dialog.setObjectName("savePageDialog");
    dialog.setWindowTitle("Save This Page");
    const std::string proposedName = shell::oneLineFieldText(shell::getPageTitle());
    auto* caption = new QLabel("Save As", &dialog);
    caption->setObjectName("saveAsCaption");
    caption->setGeometry(10, 10, 500, 20);
    caption->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    auto* nameField = new QLineEdit(platform::toWidgetText(proposedName), &dialog);
    nameField->setObjectName("nameField");
    nameField->setGeometry(10, 30, 500, 20);
    caption->setBuddy(nameField);
    QPushButton* save = shell::makeDialogButton(&dialog, "saveButton", "Save", 215, 60);
    QPushButton* exit = shell::makeDialogButton(&dialog, "exitButton", "Exit", 260, 60);
    QObject::connect(save, &QPushButton::clicked, &dialog, [&] {
        const std::string name = platform::fromWidgetText(nameField->text());
        const std::string path = shell::programFolder + savedPageFile(name);
        // The source exactly as the browser gives it; written whole, so a crash never leaves half a page.
        if (shell::mainBrowser && platform::isAcceptableFileName(name))
            platform::writeFileAtomically(path, shell::mainBrowser->documentSource());
        dialog.accept();
    });
    QObject::connect(exit, &QPushButton::clicked, &dialog, &QDialog::reject);
    shell::showFixedCentred(dialog, 520, 90);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.show();
    nameField->setFocus();
    dialog.exec();
}

void savedPagesDialog()
{
    QDialog dialog(shell::mainWindow, shell::dialogFlags);
    dialog.setObjectName("savedPagesDialog");
    dialog.setWindowTitle("Load/Delete Saved Page");
    auto* list = new QListWidget(&dialog);
    list->setObjectName("pageList");
    list->setAccessibleName("Saved pages");
    list->setGeometry(10, 10, 500, 80);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    shell::fillFileList("savedpages/", ".html", list);
    QPushButton* load = shell::makeDialogButton(&dialog, "loadButton", "Load", 200, 100);
    QPushButton* remove = shell::makeDialogButton(&dialog, "deleteButton", "Delete", 245, 100);
    QPushButton* exit = shell::makeDialogButton(&dialog, "exitButton", "Exit", 290, 100);

    std::string currentName;
    // The name follows the selection, made by mouse or keyboard; the list's current row alone (which the list
    // sets itself when it gets the focus) is no choice.
    QObject::connect(list, &QListWidget::itemSelectionChanged, &dialog, [&] {
        const QList<QListWidgetItem*> selected = list->selectedItems();
        if (!selected.isEmpty())
            currentName = platform::fromWidgetText(selected.first()->text());
    });
    QObject::connect(load, &QPushButton::clicked, &dialog, [&] {
        const auto page = readSavedPageForShowing(shell::programFolder + savedPageFile(currentName));
        if (!page)
            return;
        if (shell::mainBrowser)
            shell::mainBrowser->replaceDocument(*page);
        dialog.accept();
    });
    QObject::connect(remove, &QPushButton::clicked, &dialog, [&] {
        if (!platform::askYesNo("Delete This Page?", currentName))
            return;
        ::unlink((shell::programFolder + savedPageFile(currentName)).c_str());
        const QSignalBlocker keepName(list); // emptying the list is no choice of the user's
        list->clear();
        shell::fillFileList("savedpages/", ".html", list);
    });
    QObject::connect(exit, &QPushButton::clicked, &dialog, &QDialog::reject);
    shell::showFixedCentred(dialog, 520, 130);
    dialog.exec();
}

} // namespace pages

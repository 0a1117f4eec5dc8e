#include "shell/widgethelpers.h"

#include "platform/textcodec.h"
#include "shell/filelist.h"
#include "shell/mainwindow.h"
#include "shell/pagetitle.h"
#include "shell/programstate.h"

#include <QComboBox>
#include <QDialog>
#include <QGuiApplication>
#include <QListWidget>
#include <QScreen>

namespace shell {

std::string getPageTitle()
{
    return mainBrowser ? pageTitleFromSource(mainBrowser->documentSource()) : std::string();
}

void fillFileList(const std::string& folder, const std::string& extension, QListWidget* list)
{
    for (const std::string& item : listDataFiles(programFolder + folder, extension))
        list->addItem(platform::toWidgetText(item));
}

void fillFileList(const std::string& folder, const std::string& extension, QComboBox* list)
{
    for (const std::string& item : listDataFiles(programFolder + folder, extension))
        list->addItem(platform::toWidgetText(item));
}

void showFixedCentred(QDialog& dialog, int width, int height)
{
    dialog.setFixedSize(width, height);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        dialog.move(area.x() + (area.width() - width) / 2, area.y() + (area.height() - height) / 2);
    }
}

} // namespace shell

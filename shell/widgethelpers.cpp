#include "shell/widgethelpers.h"

#include "platform/textcodec.h"
#include "shell/filelist.h"
#include "shell/mainwindow.h"
#include "shell/pagetitle.h"
#include "shell/programstate.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFont>
#include <QGuiApplication>
#include <QListWidget>
#include <QProxyStyle>
#include <QPushButton>
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

namespace {

// Check boxes and options keep their caption close to the box, as the fixed layouts expect.
class CompactStyle : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override
    {
        if (metric == PM_CheckBoxLabelSpacing || metric == PM_RadioButtonLabelSpacing)
            return 3;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

} // namespace

void useProgramFont()
{
    QFont font("Liberation Sans");
    font.setPixelSize(10);
    QApplication::setFont(font);
    QApplication::setStyle(new CompactStyle);
}

QPushButton* makeDialogButton(QWidget* parent, const char* objectName, const char* caption, int x, int y)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(objectName);
    button->setGeometry(x, y, 40, 20);
    button->setAutoDefault(false);
    return button;
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

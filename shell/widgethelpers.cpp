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

namespace {

// Centres the whole window, frame included, on the primary screen.
void centreFrame(QWidget& window)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    const QSize frame = window.frameGeometry().size();
    window.move(area.x() + (area.width() - frame.width()) / 2, area.y() + (area.height() - frame.height()) / 2);
}

// The frame is the window manager's, known only once the window is on screen: centred again then, a single time.
class FrameCentring : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const auto type = event->type();
        if (type == QEvent::Move || type == QEvent::Resize || type == QEvent::WindowActivate) {
            auto* window = static_cast<QWidget*>(watched);
            if (window->isVisible() && window->frameGeometry().size() != window->size()) {
                window->removeEventFilter(this);
                deleteLater();
                centreFrame(*window);
            }
        }
        return false;
    }
};

} // namespace

void showFixedCentred(QDialog& dialog, int width, int height)
{
    dialog.setFixedSize(width, height);
    centreFrame(dialog); // without a frame yet: by the inner size
    dialog.installEventFilter(new FrameCentring(&dialog));
}

} // namespace shell

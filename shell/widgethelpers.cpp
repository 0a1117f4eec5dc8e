#include "shell/widgethelpers.h"

#include <QLabel>

#include "platform/textcodec.h"
#include "shell/filelist.h"
#include "shell/mainwindow.h"
#include "shell/pagetitle.h"
#include "shell/programstate.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFont>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QPersistentModelIndex>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QStyleOption>

namespace shell {

std::string getPageTitle()
{
    return mainBrowser ? pageTitleFromSource(mainBrowser->documentSource()) : std::string();
}

void fillFileList(const std::string& folder, const std::string& extension, QListWidget* list)
{
    for (const std::string& item : listDataFiles(platform::suppliedFolderPaths(programFolder, folder), extension))
        list->addItem(platform::toWidgetText(item));
}

void fillFileList(const std::string& folder, const std::string& extension, QComboBox* list)
{
    for (const std::string& item : listDataFiles(platform::suppliedFolderPaths(programFolder, folder), extension))
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

    // A tree shows dotted lines that join each sub-line to its main line, and no expand buttons: a main line opens
    // on a double click. The style the program uses draws no lines of its own.
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override
    {
        if (element != PE_IndicatorBranch) {
            QProxyStyle::drawPrimitive(element, option, painter, widget);
            return;
        }
        const QRect& r = option->rect;
        const int midX = r.left() + r.width() / 2;
        const int midY = r.top() + r.height() / 2;
        painter->save();
        painter->setPen(QPen(option->palette.color(QPalette::Dark), 1, Qt::DotLine));
        if (option->state & State_Item) {
            // This row's own line: down from the row above, then across to the row's text.
            painter->drawLine(midX, r.top(), midX, (option->state & State_Sibling) ? r.bottom() : midY);
            painter->drawLine(midX, midY, r.right(), midY);
        } else if (option->state & State_Sibling) {
            // A line passing by on its way to a later sub-line of an outer level.
            painter->drawLine(midX, r.top(), midX, r.bottom());
        }
        painter->restore();
    }
};

// Escape reaches no window of the program, except a message box with only an OK button; no window but a message
// box has a default button.
class WindowKeyRules : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show) {
            // Before the window picks its first "auto default" button as the one Enter presses.
            auto* dialog = qobject_cast<QDialog*>(watched);
            if (dialog && !qobject_cast<QMessageBox*>(dialog))
                for (QPushButton* button : dialog->findChildren<QPushButton*>())
                    button->setAutoDefault(false);
            return false;
        }
        if (event->type() != QEvent::KeyPress || static_cast<QKeyEvent*>(event)->key() != Qt::Key_Escape)
            return false;
        const auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget)
            return false;
        QWidget* window = widget->window();
        if (qobject_cast<QMessageBox*>(window))
            return false; // the message boxes keep their own rules
        return qobject_cast<QDialog*>(window) != nullptr;
    }
};

// Delivers each key press to the view itself and compares the current item before and after.
class KeyboardChoice : public QObject {
public:
    KeyboardChoice(QAbstractItemView* view, std::function<void()> chosen)
        : QObject(view)
        , m_view(view)
        , m_chosen(std::move(chosen))
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != m_view || event->type() != QEvent::KeyPress || m_delivering)
            return false;
        const QPersistentModelIndex before = m_view->currentIndex();
        m_delivering = true;
        // Through QObject: the view handles the key as it would have; whether the key goes on to the window is
        // still decided by the event's accepted flag, as for any key.
        static_cast<QObject*>(m_view)->event(event);
        m_delivering = false;
        const QModelIndex after = m_view->currentIndex();
        if (after.isValid() && after != before)
            m_chosen();
        return true;
    }

private:
    QAbstractItemView* m_view;
    std::function<void()> m_chosen;
    bool m_delivering = false;
};

} // namespace

void useProgramFont()
{
    QFont font("Liberation Sans");
    font.setPixelSize(10);
    QApplication::setFont(font);
    QApplication::setStyle(new CompactStyle);
}

void useWindowKeyRules()
{
    qApp->installEventFilter(new WindowKeyRules(qApp));
}

void onKeyboardChoice(QAbstractItemView* view, std::function<void()> chosen)
{
    view->installEventFilter(new KeyboardChoice(view, std::move(chosen)));
}

QLabel* caption(QWidget* parent, const char* objectName, const char* text, int x, int y, int width)
{
    return place(new QLabel(text, parent), objectName, x, y, width, 20);
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

#include "shell/findbar.h"

#include "shell/mainwindow.h"
#include "shell/widgethelpers.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

namespace shell {

FindBar findBar;

namespace {

void showCount(int active, int count)
{
    if (findBar.count)
        findBar.count->setText(matchCountText(active, count));
}

void findAgain(bool backward)
{
    if (!mainBrowser || !findBar.field)
        return;
    const QString text = findBar.field->text();
    if (text.isEmpty()) {
        mainBrowser->find(QString(), false, {});
        findBar.count->clear();
        return;
    }
    // The answer may come after the bar is gone.
    QPointer<QLabel> count = findBar.count;
    mainBrowser->find(text, backward, [count](int active, int matches) {
        if (count)
            showCount(active, matches);
    });
}

// Enter and Shift+Enter go through the matches, Escape closes; every other key goes to the field.
class FindKeys : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            findAgain(key->modifiers().testFlag(Qt::ShiftModifier));
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            closeFindBar();
            return true;
        }
        return false;
    }
};

QPushButton* makeBarButton(const char* objectName, const char* caption, int x, int width)
{
    auto* button = place(new QPushButton(caption, findBar.bar), objectName, x, 3, width, 20);
    button->setFocusPolicy(Qt::NoFocus); // the field keeps the keyboard
    button->setAutoDefault(false);
    return button;
}

} // namespace

QString matchCountText(int active, int count)
{
    if (count <= 0)
        return QStringLiteral("No matches");
    return QStringLiteral("%1 of %2").arg(active).arg(count);
}

void createFindBar(QWidget* parent)
{
    findBar.bar = new QWidget(parent);
    findBar.bar->setObjectName("findBar");
    findBar.bar->setAutoFillBackground(true);
    caption(findBar.bar, "findCaption", "Find:", 10, 3, 30)
        ->setBuddy(findBar.field = place(new QLineEdit(findBar.bar), "findField", 45, 3, 200, 20));
    findBar.field->setAccessibleName("Find in page");
    findBar.previous = makeBarButton("findPreviousButton", "Previous", 255, 60);
    findBar.next = makeBarButton("findNextButton", "Next", 320, 60);
    findBar.count = caption(findBar.bar, "findCount", "", 390, 3, 120);
    findBar.close = makeBarButton("findCloseButton", "Close", 520, 50);
    findBar.field->installEventFilter(new FindKeys(findBar.field));
    // Each letter typed looks again from the top of the page for the whole text.
    QObject::connect(findBar.field, &QLineEdit::textEdited, findBar.field, [] { findAgain(false); });
    QObject::connect(findBar.previous, &QPushButton::clicked, findBar.field, [] { findAgain(true); });
    QObject::connect(findBar.next, &QPushButton::clicked, findBar.field, [] { findAgain(false); });
    QObject::connect(findBar.close, &QPushButton::clicked, findBar.field, [] { closeFindBar(); });
    findBar.bar->hide();
}

void openFindBar()
{
    if (!findBar.bar)
        return;
    findBar.bar->show();
    findBar.bar->raise();
    placeControls();
    findBar.field->setFocus();
    findBar.field->selectAll();
}

void closeFindBar()
{
    if (!findBar.bar || findBar.bar->isHidden())
        return;
    findBar.bar->hide();
    findBar.count->clear();
    if (mainBrowser) {
        mainBrowser->find(QString(), false, {});
        mainBrowser->view()->setFocus();
    }
    placeControls();
}

void followMainBrowser()
{
    if (!mainBrowser)
        return;
    mainBrowser->onLoadFinished([] {
        if (findBar.bar && !findBar.bar->isHidden())
            findAgain(false);
    });
}

int placeFindBar(int areaWidth, int areaHeight)
{
    if (!findBar.bar)
        return 0;
    findBar.bar->setGeometry(0, areaHeight - findBarHeight, areaWidth, findBarHeight);
    return findBar.bar->isHidden() ? 0 : findBarHeight;
}

void releaseFindBar()
{
    // The bar died with the main window.
    findBar = FindBar{};
}

} // namespace shell

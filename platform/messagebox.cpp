#include "platform/messagebox.h"

#include "platform/textcodec.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>

namespace platform {

static std::function<bool(const MessageBoxRequest&)>& responder()
{
    static std::function<bool(const MessageBoxRequest&)> current;
    return current;
}

static QMessageBox::Icon qtIcon(BoxIcon icon)
{
    switch (icon) {
    case BoxIcon::Information:
        return QMessageBox::Information;
    case BoxIcon::Warning:
        return QMessageBox::Warning;
    case BoxIcon::Error:
        return QMessageBox::Critical;
    case BoxIcon::Question:
        return QMessageBox::Question;
    case BoxIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

namespace {

// A question has no way out but Yes and No: a close request and Escape are refused, so that neither can answer it
// for the user (on the tray question, either would end the program).
class OnlyYesOrNo : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Close) {
            event->ignore();
            return true;
        }
        return event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape;
    }
};

} // namespace

static bool runBox(const MessageBoxRequest& request)
{
    if (responder())
        return responder()(request);
    OnlyYesOrNo onlyYesOrNo;
    QMessageBox box(qtIcon(request.icon), toWidgetText(request.caption), toWidgetText(request.text),
                    request.yesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok,
                    QApplication::activeWindow());
    if (request.yesNo) {
        // A question's frame has a title and no close box (the box's own constructor adds one).
        box.setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint
                           | Qt::WindowTitleHint);
        box.installEventFilter(&onlyYesOrNo);
    }
    QAbstractButton* extra = nullptr;
    if (!request.yesNo && !request.extraButton.empty()) {
        extra = box.addButton(toWidgetText(request.extraButton), QMessageBox::ActionRole);
        box.setEscapeButton(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
    }
    box.setObjectName(request.yesNo ? "questionBox" : "messageBox");
    // A box may quote a server's words: they are shown as they stand, never read as markup.
    box.setTextFormat(Qt::PlainText);
    const int answer = box.exec();
    return extra ? box.clickedButton() == extra : answer == QMessageBox::Yes;
}

void showMessageBox(const std::string& caption, const std::string& text, BoxIcon icon)
{
    runBox({caption, text, icon, false, {}});
}

bool askYesNo(const std::string& caption, const std::string& text, BoxIcon icon)
{
    return runBox({caption, text, icon, true, {}});
}

bool showMessageBoxWithButton(const std::string& caption, const std::string& text, BoxIcon icon,
                              const std::string& extraButton)
{
    return runBox({caption, text, icon, false, extraButton});
}

void setMessageBoxResponder(std::function<bool(const MessageBoxRequest&)> newResponder)
{
    responder() = std::move(newResponder);
}

} // namespace platform

#include "platform/messagebox.h"

#include "platform/textcodec.h"

#include <QApplication>
#include <QMessageBox>

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

static bool runBox(const MessageBoxRequest& request)
{
    if (responder())
        return responder()(request);
    QMessageBox box(qtIcon(request.icon), toWidgetText(request.caption), toWidgetText(request.text),
                    request.yesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok,
                    QApplication::activeWindow());
    if (request.yesNo)
        box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void showMessageBox(const std::string& caption, const std::string& text, BoxIcon icon)
{
    runBox({caption, text, icon, false});
}

bool askYesNo(const std::string& caption, const std::string& text, BoxIcon icon)
{
    return runBox({caption, text, icon, true});
}

void setMessageBoxResponder(std::function<bool(const MessageBoxRequest&)> newResponder)
{
    responder() = std::move(newResponder);
}

} // namespace platform

#include "platform/desktop.h"

#include "platform/textcodec.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QUrl>

namespace platform {

static std::function<void(const std::string&)>& urlOpener()
{
    static std::function<void(const std::string&)> opener;
    return opener;
}

void setUrlOpener(std::function<void(const std::string&)> opener) { urlOpener() = std::move(opener); }

void openInDefaultBrowser(const std::string& url)
{
    if (urlOpener()) {
        urlOpener()(url);
        return;
    }
    // TolerantMode would re-encode; the text is already what should go over the wire.
    QDesktopServices::openUrl(QUrl::fromEncoded(QByteArray::fromStdString(url), QUrl::StrictMode));
}

void copyToClipboard(const std::string& text)
{
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setText(toWidgetText(text));
}

} // namespace platform

#include "platform/desktop.h"

#include "platform/textcodec.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QUrl>

#include <cstdlib>
#include <dlfcn.h>

namespace platform {

static std::function<void(const std::string&)>& urlOpener()
{
    static std::function<void(const std::string&)> opener;
    return opener;
}

void setUrlOpener(std::function<void(const std::string&)> opener)
{
    urlOpener() = std::move(opener);
}

void openInDefaultBrowser(const std::string& url)
{
    if (urlOpener()) {
        urlOpener()(url);
        return;
    }
    // TolerantMode would re-encode; the text is already what should go over the wire.
    QDesktopServices::openUrl(QUrl::fromEncoded(QByteArray::fromStdString(url), QUrl::StrictMode));
}

bool xDisplayReachable()
{
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display)
        return true;
    // The X client library Qt's own X support uses, looked up at run time: this check must not make it a
    // requirement of the program.
    void* xcb = ::dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!xcb)
        return true;
    using Connect = void* (*)(const char*, int*);
    using HasError = int (*)(void*);
    using Disconnect = void (*)(void*);
    const auto connect = reinterpret_cast<Connect>(::dlsym(xcb, "xcb_connect"));
    const auto hasError = reinterpret_cast<HasError>(::dlsym(xcb, "xcb_connection_has_error"));
    const auto disconnect = reinterpret_cast<Disconnect>(::dlsym(xcb, "xcb_disconnect"));
    bool reachable = true;
    if (connect && hasError && disconnect) {
        void* connection = connect(nullptr, nullptr);
        reachable = hasError(connection) == 0;
        disconnect(connection);
    }
    ::dlclose(xcb);
    return reachable;
}

void copyToClipboard(const std::string& text)
{
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setText(toWidgetText(text));
}

} // namespace platform

#include "platform/browser.h"

#include "platform/desktop.h"
#include "platform/textcodec.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QMenu>
#include <QWebEngineContextMenuRequest>
#include <QPointer>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QTimer>
#include <QWebEngineFindTextResult>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>
#include <QWebEngineView>

#include <deque>
#include <memory>
#include <unistd.h>

namespace platform {

static const QByteArray documentScheme = "quillobrand";
static const QString documentPathPrefix = QStringLiteral("document-");
// Documents kept for Back and Reload after they were replaced; older ones are dropped to bound the memory.
static constexpr size_t keptDocuments = 4;

namespace {

struct StoredDocument {
    quint64 id;
    QByteArray bytes;
    QByteArray contentType;
};

class DocumentSchemeHandler : public QWebEngineUrlSchemeHandler {
public:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;

    QUrl store(const std::string& html)
    {
        // Named in the reply, so the bytes are read in their own encoding: the one the page declares, else UTF-8
        // when they are valid UTF-8 (every merged results page), else windows-1252. The browser's own guess would
        // take an undeclared UTF-8 page for windows-1252.
        const QByteArray contentType = "text/html; charset=" + QByteArray::fromStdString(documentCharset(html));
        m_documents.push_back({++m_lastId, QByteArray(html.data(), static_cast<qsizetype>(html.size())), contentType});
        while (m_documents.size() > keptDocuments)
            m_documents.pop_front();
        QUrl url;
        url.setScheme(QString::fromLatin1(documentScheme));
        url.setPath(documentPathPrefix + QString::number(m_lastId));
        return url;
    }

    void requestStarted(QWebEngineUrlRequestJob* job) override
    {
        const QString path = job->requestUrl().path();
        bool ok = false;
        const quint64 id
            = path.startsWith(documentPathPrefix) ? path.mid(documentPathPrefix.size()).toULongLong(&ok) : 0;
        for (const StoredDocument& document : m_documents) {
            if (ok && document.id == id) {
                auto* buffer = new QBuffer(job);
                buffer->setData(document.bytes);
                job->reply(document.contentType, buffer);
                return;
            }
        }
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
    }

private:
    std::deque<StoredDocument> m_documents;
    quint64 m_lastId = 0;
};

// Stands in for the new window a link or a click asks for (target="_blank", window.open): the address it would
// show goes to the desktop's web browser instead, as a banner advert or an ad's outside link expects.
class NewWindowCatcher : public QWebEnginePage {
public:
    using QWebEnginePage::QWebEnginePage;

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool) override
    {
        if (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"))
            openInDefaultBrowser(url.toEncoded().toStdString());
        deleteLater();
        return false;
    }
};

// Script runs only in pages of the web. The results page, the other local pages and saved pages hold text from
// the site, which must never run as script here; the bytes of those files stay as they are. (Qt 6.4 can't send a
// Content-Security-Policy with a scheme handler's reply, so the page's own setting is switched per document.)
void allowScriptFor(QWebEnginePage* page, const QUrl& url)
{
    const QString scheme = url.scheme();
    page->settings()->setAttribute(QWebEngineSettings::JavascriptEnabled,
                                   scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

class ProgramPage : public QWebEnginePage {
public:
    using QWebEnginePage::QWebEnginePage;

protected:
    // Every new document of the main frame, a followed link, Back and Reload included, sets the switch before it
    // loads; frames inside a page follow the page.
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override
    {
        if (isMainFrame)
            allowScriptFor(this, url);
        return true;
    }
    QWebEnginePage* createWindow(WebWindowType) override { return new NewWindowCatcher(profile(), this); }
    // Pages' own console messages are for their makers, not for the terminal the program was started from.
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int, const QString&) override { }
};

QWebEngineProfile* sharedProfile = nullptr;
DocumentSchemeHandler* documentHandler = nullptr;
int liveBrowsers = 0;

QWebEngineProfile* profile()
{
    if (!sharedProfile) {
        sharedProfile = new QWebEngineProfile(); // no storage name: off the record, nothing written to disk
        QWebEngineSettings* s = sharedProfile->settings();
        s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
        // Results and saved pages show the site's pictures, which Qt WebEngine blocks in local pages otherwise.
        s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
        s->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
        s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
        documentHandler = new DocumentSchemeHandler(sharedProfile);
        sharedProfile->installUrlSchemeHandler(documentScheme, documentHandler);
    }
    return sharedProfile;
}

// Runs a local event loop, user input excluded, until done() or the time-out.
template <typename Done> bool waitUntil(Done done, int timeoutMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    poll.start(5);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    return done();
}

} // namespace

bool wantsSoftwareRendering(const QByteArray& chromiumFlags, const QByteArray& quickBackend)
{
    return quickBackend.isEmpty() && chromiumFlags.split(' ').contains("--disable-gpu");
}

void prepareBrowserEngine()
{
    QWebEngineUrlScheme scheme(documentScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    QWebEngineUrlScheme::registerScheme(scheme);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // Chromium's sandbox refuses to start as root; a desktop program run as root would otherwise not start.
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // A normal start prints nothing: no report of the engine's graphics set-up, no sandbox notice, and of
    // Chromium's own log only what ends it. Flags the user gives come after ours and so win.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false\ndefault.info=false"));
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--log-level=3 " + qgetenv("QTWEBENGINE_CHROMIUM_FLAGS"));
    if (wantsSoftwareRendering(qgetenv("QTWEBENGINE_CHROMIUM_FLAGS"), qgetenv("QT_QUICK_BACKEND")))
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
}

void releaseBrowserEngine()
{
    if (liveBrowsers == 0 && sharedProfile) {
        delete sharedProfile;
        sharedProfile = nullptr;
        documentHandler = nullptr;
    }
}

Browser::Browser(QWidget* parent, int x, int y, int width, int height)
{
    m_view = new QWebEngineView(parent);
    m_view->setPage(new ProgramPage(profile(), m_view));
    m_view->setGeometry(x, y, width, height);
    // The browser's own menu, with the program's items for a link after it.
    m_view->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(m_view, &QWidget::customContextMenuRequested, m_view, [this](const QPoint& at) {
        QMenu* menu = m_view->createStandardContextMenu();
        menu->setAttribute(Qt::WA_DeleteOnClose);
        if (const QWebEngineContextMenuRequest* request = m_view->lastContextMenuRequest()) {
            const std::string link = fromWidgetText(request->linkUrl().toString());
            std::vector<LinkMenuItem> items = link.empty() ? std::vector<LinkMenuItem>() : linkMenuItems(link);
            if (!items.empty())
                menu->addSeparator();
            for (LinkMenuItem& item : items) {
                QAction* action = menu->addAction(QString::fromStdString(item.caption));
                QObject::connect(action, &QAction::triggered, m_view, std::move(item.action));
            }
        }
        menu->popup(m_view->mapToGlobal(at));
    });
    m_view->show();
    ++liveBrowsers;
}

Browser::~Browser()
{
    // The page goes before its view and long before the profile; Qt WebEngine warns or hangs otherwise.
    if (m_view) {
        delete m_view->page();
        delete m_view;
    }
    --liveBrowsers;
}

void Browser::navigate(const std::string& urlOrPath)
{
    static const std::string filePrefix = "file://";
    QUrl url;
    if (urlOrPath.compare(0, filePrefix.size(), filePrefix) == 0) {
        url = QUrl::fromLocalFile(toWidgetText(urlOrPath.substr(filePrefix.size())));
    } else {
        const size_t colon = urlOrPath.find(':');
        const size_t slash = urlOrPath.find('/');
        const bool hasScheme = colon != std::string::npos && colon > 1 && (slash == std::string::npos || colon < slash);
        url = hasScheme ? QUrl(toWidgetText(urlOrPath)) : QUrl::fromLocalFile(toWidgetText(urlOrPath));
    }
    allowScriptFor(m_view->page(), url);
    const quint64 navigation = ++m_navigations;
    // The same address again is a new document (the next run's results page): the engine would put back the old
    // one's scroll position, at a moment of its own. The entry is told not to keep its position first, and only
    // then is the new document asked for; once it is loaded, the entry keeps its position again, so that Back to
    // it from an ad finds the place the user left. A page that doesn't answer within 2 s is not waited for.
    if (url == m_view->url() && !url.hasFragment()) {
        QPointer<QWebEngineView> view(m_view);
        auto asked = std::make_shared<bool>(false);
        auto load = [this, view, url, asked, navigation] {
            if (!view || *asked || m_navigations != navigation) // the browser is gone, or shows something newer
                return;
            *asked = true;
            auto loaded = std::make_shared<QMetaObject::Connection>();
            *loaded = QObject::connect(view, &QWebEngineView::loadFinished, view, [view, loaded] {
                QObject::disconnect(*loaded);
                view->page()->runJavaScript(QStringLiteral("history.scrollRestoration = 'auto'"),
                                            QWebEngineScript::ApplicationWorld);
            });
            view->setUrl(url);
        };
        m_view->page()->runJavaScript(QStringLiteral("history.scrollRestoration = 'manual'"),
                                      QWebEngineScript::ApplicationWorld, [load](const QVariant&) { load(); });
        QTimer::singleShot(2000, m_view, load);
        return;
    }
    m_view->setUrl(url);
}

void Browser::back()
{
    ++m_navigations;
    m_view->back();
}

void Browser::forward()
{
    ++m_navigations;
    m_view->forward();
}

void Browser::reload()
{
    ++m_navigations;
    m_view->reload();
}

std::string Browser::documentSource()
{
    struct Answer {
        bool htmlDone = false;
        bool charsetDone = false;
        QString html;
        QString charset;
    };
    auto answer = std::make_shared<Answer>();
    QWebEnginePage* page = m_view->page();
    page->runJavaScript(QStringLiteral("document.characterSet"), QWebEngineScript::ApplicationWorld,
                        [answer](const QVariant& value) {
                            answer->charset = value.toString();
                            answer->charsetDone = true;
                        });
    page->toHtml([answer](const QString& html) {
        answer->html = html;
        answer->htmlDone = true;
    });
    if (!waitUntil([&] { return answer->htmlDone && answer->charsetDone; }, 10000) && !answer->htmlDone)
        return {};
    std::string bytes = encodeForCharset(answer->html, answer->charset);
    const size_t zero = bytes.find('\0');
    if (zero != std::string::npos)
        bytes.resize(zero);
    return bytes;
}

void Browser::replaceDocument(const std::string& html)
{
    ++m_navigations;
    profile();
    const QUrl url = documentHandler->store(html);
    allowScriptFor(m_view->page(), url);
    m_view->setUrl(url);
}

void Browser::setLinkMenuHook(std::function<std::vector<LinkMenuItem>(const std::string& link)> hook)
{
    m_linkMenuHook = std::move(hook);
}

std::vector<Browser::LinkMenuItem> Browser::linkMenuItems(const std::string& link) const
{
    const QString scheme = m_view->url().scheme();
    if (!m_linkMenuHook || scheme == QLatin1String("http") || scheme == QLatin1String("https"))
        return {};
    return m_linkMenuHook(link);
}

void Browser::runProgramScript(const std::string& script, std::function<void(const std::string&)> done)
{
    m_view->page()->runJavaScript(QString::fromStdString(script), QWebEngineScript::ApplicationWorld,
                                  [done = std::move(done)](const QVariant& result) {
                                      if (done)
                                          done(result.toString().toStdString());
                                  });
}

void Browser::find(const QString& text, bool backward, std::function<void(int active, int count)> found)
{
    const QWebEnginePage::FindFlags flags = backward ? QWebEnginePage::FindBackward : QWebEnginePage::FindFlags();
    m_view->page()->findText(text, flags, [found = std::move(found)](const QWebEngineFindTextResult& result) {
        if (found)
            found(result.activeMatch(), result.numberOfMatches());
    });
}

void Browser::onLoadFinished(std::function<void()> loaded)
{
    QObject::connect(m_view, &QWebEngineView::loadFinished, m_view, [loaded = std::move(loaded)] { loaded(); });
}

void Browser::hideWhenLoadFails()
{
    QObject::connect(m_view, &QWebEngineView::loadFinished, m_view, [view = m_view](bool ok) { view->setVisible(ok); });
}

QWidget* Browser::view() const
{
    return m_view;
}

QUrl Browser::url() const
{
    return m_view->url();
}

std::string Browser::currentUrl() const
{
    return fromWidgetText(m_view->url().toString());
}

bool Browser::waitForLoadFinished(int timeoutMs)
{
    auto finished = std::make_shared<bool>(false);
    QPointer<QWebEngineView> view(m_view);
    auto connection = QObject::connect(m_view, &QWebEngineView::loadFinished, [finished](bool) { *finished = true; });
    // A load that a newer one cut short also says it finished: the wait goes on while the page still loads.
    const bool ok = waitUntil([&] { return *finished && (!view || !view->page()->isLoading()); }, timeoutMs);
    if (view)
        QObject::disconnect(connection);
    return ok;
}

} // namespace platform

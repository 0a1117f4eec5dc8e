#pragma once
// The embedded web browser control (Qt WebEngine).
//
// Every browser shares one private, off-the-record profile in which local pages can't read other local files
// through script: the results page carries HTML from the site, and the files beside it hold mail passwords.
// Documents handed over as bytes are served from memory through the program's own "quillobrand:" scheme, which
// has no size limit (QWebEnginePage::setHtml refuses content over 2 MB) and no access to local files either.
// Script runs only in http and https pages: local files (the results page) and replaced documents (saved pages)
// are shown with JavaScript off, as they hold the site's text.

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <string>
#include <vector>

class QUrl;
class QWidget;
class QWebEngineView;

namespace platform {

// Must run before the QApplication is created.
void prepareBrowserEngine();
// Whether the browsers are drawn by Qt Quick's software renderer: when Chromium runs without a GPU its frames are
// composed in software already, and the OpenGL renderer would only copy each one through a software OpenGL, at the
// cost of a context and the window's textures in every window that holds a browser. A backend the user chose in
// QT_QUICK_BACKEND wins.
bool wantsSoftwareRendering(const QByteArray& chromiumFlags, const QByteArray& quickBackend);
// Deletes the shared profile; call after every Browser is gone.
void releaseBrowserEngine();

class Browser {
public:
    Browser(QWidget* parent, int x, int y, int width, int height);
    ~Browser();
    Browser(const Browser&) = delete;
    Browser& operator=(const Browser&) = delete;

    // The control as a widget, for placing and naming it.
    QWidget* view() const;

    // A URL with a scheme ("http:", "https:", "file:", ...) or a plain file path. "file://" + a path takes the
    // path as it stands, blanks and "#" included.
    void navigate(const std::string& urlOrPath);
    void back();
    void forward();
    void reload();

    // The current document as the browser serialises it, in the document's own character set, up to the first
    // zero byte. Waits for the browser without handling user input; empty if it doesn't answer within 10 s.
    std::string documentSource();

    // Finds the text in the shown page with the browser's own find, marking every match: the same text again
    // goes on to the next match (backward: the one before), a new text starts over, an empty text ends the
    // marking. found receives the active match's number (1 for the first, 0 for none) and the count of matches.
    void find(const QString& text, bool backward, std::function<void(int active, int count)> found);

    // Calls loaded each time a page has loaded (or failed to), the control alive.
    void onLoadFinished(std::function<void()> loaded);

    // An address that can't be reached leaves an empty area rather than the engine's error page; the control is
    // seen again once a page loads. For the banner, which reloads by itself.
    void hideWhenLoadFails();

    // Shows these bytes as the current document, of any size, without a trip to any server.
    void replaceDocument(const std::string& html);

    // Items the program adds to the browser's own context menu of a link.
    struct LinkMenuItem {
        std::string caption;
        std::function<void()> action;
    };
    // Called on a right-click on a link of a page that is not of the web (a local file or a replaced document),
    // with the link's address; the items it gives follow the browser's own, after a separator.
    void setLinkMenuHook(std::function<std::vector<LinkMenuItem>(const std::string& link)> hook);
    // The items the hook gives for this link on the current page (none on a page of the web).
    std::vector<LinkMenuItem> linkMenuItems(const std::string& link) const;

    // Runs the script in the program's own script world on the current document: it reaches the document but not
    // the page's own script, which stays off. done, when given, receives the script's result as text.
    void runProgramScript(const std::string& script, std::function<void(const std::string&)> done = {});

    // For tests: the address of the current page, and waiting for the next load to finish (false on time-out).
    std::string currentUrl() const;
    QUrl url() const;
    bool waitForLoadFinished(int timeoutMs);

private:
    QWebEngineView* m_view = nullptr;
    // Counts what the browser is asked to show: a navigation held back for a moment is dropped when a newer one
    // came in the meantime.
    quint64 m_navigations = 0;
    std::function<std::vector<LinkMenuItem>(const std::string&)> m_linkMenuHook;
};

} // namespace platform

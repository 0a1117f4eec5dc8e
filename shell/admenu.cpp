#include "shell/admenu.h"

#include "platform/browser.h"
#include "platform/messagebox.h"
#include "search/adlist.h"
#include "search/adnotedialog.h"
#include "shell/mainwindow.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace shell {

namespace {

// Takes the ad items of the page by their link's post id, as the run wrote them (see the results page's items).
const char* const marksScriptBody = R"JS((function (key, marks) {
    function keyOf(href) {
        var path = href.split(/[?#]/)[0];
        var last = path.substring(path.lastIndexOf('/') + 1);
        return last.endsWith('.html') ? last.slice(0, -5) : last;
    }
    // The selector engine finds the few candidates among tens of thousands of links; keyOf then checks each.
    var quoted = key.replace(/["\\]/g, '\\$&');
    var links = document.querySelectorAll('p.ad > a[href$="/' + quoted + '.html"], p.also > a[href$="/' + quoted
        + '.html"], p.ad > a[href$="/' + quoted + '"], p.also > a[href$="/' + quoted + '"]');
    var changed = 0;
    for (var i = 0; i < links.length; ++i) {
        var a = links[i];
        if (keyOf(a.getAttribute('href')) !== key)
            continue;
        var item = a.parentNode;
        ++changed;
        if (marks.hidden) {
            var block = item.parentNode;
            item.remove();
            var count = block.querySelector(':scope > p.hidden');
            if (count) {
                count.textContent = (parseInt(count.textContent, 10) + 1) + ' hidden';
            } else {
                count = document.createElement('p');
                count.className = 'hidden';
                count.textContent = '1 hidden';
                var items = block.querySelectorAll(':scope > p');
                if (items.length)
                    items[items.length - 1].after(count);
                else
                    block.appendChild(count);
            }
            continue;
        }
        if (item.className !== 'ad')
            continue;
        var before = a.previousSibling;
        var starred = before !== null && before.nodeType === Node.TEXT_NODE && before.data.endsWith('\u2605 ');
        if (marks.starred && !starred)
            a.before('\u2605 ');
        else if (!marks.starred && starred)
            before.data = before.data.slice(0, -2);
        var note = item.querySelector(':scope > i.note');
        if (note) {
            if (note.previousSibling && note.previousSibling.nodeName === 'BR')
                note.previousSibling.remove();
            note.remove();
        }
        if (marks.note) {
            note = document.createElement('i');
            note.className = 'note';
            marks.note.split(/\r\n|\r|\n/).forEach(function (line, n) {
                if (n > 0)
                    note.appendChild(document.createElement('br'));
                note.appendChild(document.createTextNode(line));
            });
            item.append(document.createElement('br'), note);
        }
    }
    return changed;
}))JS";

// A failed change is said: the user would otherwise take it as kept.
void sayNotKept(search::AdStore* store)
{
    platform::showMessageBox("Quillobrand",
                             "The change could not be kept: "
                                 + (store ? store->lastError() : std::string("the ad store could not be opened")) + ".",
                             platform::BoxIcon::Error);
}

void follow(platform::Browser& browser, const std::string& key, search::AdStore& store)
{
    browser.runProgramScript(adMarksScript(key, store.marksOf(key)));
}

} // namespace

std::string adMarksScript(const std::string& key, const search::AdMarks& marks)
{
    QJsonObject state;
    state["starred"] = marks.starred;
    state["hidden"] = marks.hidden;
    state["note"] = QString::fromStdString(marks.note);
    const QJsonArray arguments{QString::fromStdString(key), state};
    // A JSON array is a JavaScript array literal: the arguments go in as data, never as code.
    const QByteArray json = QJsonDocument(arguments).toJson(QJsonDocument::Compact);
    return std::string(marksScriptBody) + ".apply(null, " + json.toStdString() + ")";
}

void installAdMenu(platform::Browser& browser)
{
    browser.setLinkMenuHook([&browser](const std::string& link) {
        std::vector<platform::Browser::LinkMenuItem> items;
        const std::string key(search::postIdOf(link));
        search::AdStore* store = search::threadStore();
        if (!search::isStorableKey(key) || !store || !store->knowsAd(key))
            return items;
        const search::AdMarks marks = store->marksOf(key);
        items.push_back({marks.starred ? "Unstar Ad" : "Star Ad", [&browser, key, starred = marks.starred] {
                             search::AdStore* store = search::threadStore();
                             if (!store || !store->setStarred(key, !starred))
                                 return sayNotKept(store);
                             follow(browser, key, *store);
                         }});
        items.push_back({"Hide Ad", [&browser, key] {
                             search::AdStore* store = search::threadStore();
                             if (!store || !store->setHidden(key, true))
                                 return sayNotKept(store);
                             follow(browser, key, *store);
                         }});
        items.push_back({"Ad Note\u2026", [&browser, key] {
                             search::AdStore* store = search::threadStore();
                             if (!store)
                                 return sayNotKept(store);
                             std::string note = store->marksOf(key).note;
                             bool saved = false;
                             runModal([&] { saved = search::runAdNoteDialog(mainWindow, store->adTitle(key), note); });
                             if (!saved)
                                 return;
                             if (!store->setNote(key, note))
                                 return sayNotKept(store);
                             follow(browser, key, *store);
                         }});
        return items;
    });
}

} // namespace shell

#include "watch/watchrun.h"

#include "mail/securitylibrary.h"
#include "mail/senderprofile.h"
#include "mail/smtpsession.h"
#include "mail/tlstransport.h"
#include "platform/files.h"
#include "platform/settings.h"
#include "search/arealist.h"
#include "search/categorytree.h"
#include "search/savedsearch.h"
#include "shell/programstate.h"
#include "watch/alerttext.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace watch {

search::RunFiles watchRunFiles(const std::string& name)
{
    return {shell::programFolder + "watch/" + name + ".html", shell::programFolder + "watch/" + name + ".tmp"};
}

WatchRun runWatchedSearch(const std::string& name, const std::function<bool()>& shouldStop)
{
    WatchRun run;
    const std::optional<search::SearchDefinition> definition
        = search::readSavedSearch(shell::programFolder + search::savedSearchFile(name));
    if (!definition)
        return run;
    run.searchFound = true;
    // The options sent depend on the category's main line, as in the builder.
    const std::vector<search::CategoryEntry> categories
        = search::readCategoryFile(shell::suppliedFile("CategoryTree.dat"));
    const std::string mainCode = search::mainCodeAt(
        categories, search::findCategory(categories, definition->categoryCode), definition->categoryCode);

    const std::string folder = shell::programFolder + "watch";
    if (!platform::isDirectory(folder))
        ::mkdir(folder.c_str(), 0777);
    search::RunHooks hooks;
    hooks.closeRequested = shouldStop;
    run.outcome = search::runSearchPasses(*definition, mainCode,
                                          shell::suppliedFile(search::areaListFile(definition->areaListName)), hooks,
                                          watchRunFiles(name));
    return run;
}

std::string newAdsPage(const std::vector<search::NewAd>& ads)
{
    const platform::ProgramSettings& settings = platform::settings();
    std::string page;
    for (size_t i = 0; i < ads.size(); ++i) {
        if (i == 0 || ads[i].cityCode != ads[i - 1].cityCode)
            page += search::cityHeadingLine(ads[i].cityCode, settings.siteScheme, settings.siteDomain) + "\r\n";
        page += ads[i].itemHtml;
        if (i + 1 == ads.size() || ads[i + 1].cityCode != ads[i].cityCode)
            page += (page.find("<br>") == std::string::npos ? "<br>" + std::string(search::adListStyle) : "<br>")
                + "\r\n";
    }
    return page;
}

bool alertDue(const search::RunOutcome& outcome)
{
    // A page not written whole keeps the memory as it was, too.
    return (outcome.newCount > 0 || outcome.cheaperCount > 0) && !outcome.memoryNotSaved && outcome.pageComplete;
}

std::vector<NewAd> alertAdsOf(const std::vector<search::NewAd>& ads)
{
    std::vector<NewAd> converted;
    converted.reserve(ads.size());
    for (const search::NewAd& ad : ads)
        converted.push_back({ad.cityCode, ad.title, ad.price, ad.place, ad.link, ad.oldPrice});
    return converted;
}

std::vector<search::NewAd> Digest::all() const
{
    std::vector<search::NewAd> ads = newAds;
    ads.insert(ads.end(), cheaperAds.begin(), cheaperAds.end());
    ads.insert(ads.end(), notSentBefore.begin(), notSentBefore.end());
    return ads;
}

namespace {

// A folder of its own for the attachment, which must be named "new ads.html" whatever the watch is called.
class AttachmentFolder {
public:
    AttachmentFolder()
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp == '/' ? tmp : "/tmp") + "/quillobrand-digest.XXXXXX";
        if (::mkdtemp(pattern.data()))
            m_path = pattern + "/";
    }
    ~AttachmentFolder()
    {
        if (m_path.empty())
            return;
        ::unlink((m_path + "new ads.html").c_str());
        ::rmdir(m_path.c_str());
    }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

} // namespace

DigestResult mailDigest(const std::string& searchName, const Digest& digest, const std::string& mailTo,
                        const std::string& profileName, int defaultProfile)
{
    std::string name = profileName;
    if (name.empty()) {
        const std::vector<std::string> profiles = mail::profileList(shell::programFolder);
        if (defaultProfile >= 0 && defaultProfile < static_cast<int>(profiles.size()))
            name = profiles[defaultProfile];
    }
    const std::optional<mail::SenderProfile> profile
        = name.empty() ? std::nullopt : mail::readProfile(shell::programFolder + mail::profileFile(name));
    if (!profile)
        return {false, "mail not sent: no sender profile"};
    // The server certificate the user trusted for the profile, as the mail windows take it.
    const mail::PinnedFingerprint pin(mail::readPin(shell::programFolder + mail::pinFile(name), profile->smtpServer));

    AttachmentFolder folder;
    const std::string attachment = folder.path() + "new ads.html";
    if (folder.path().empty() || !platform::writeFileAtomically(attachment, newAdsPage(digest.all())))
        return {false, "mail not sent: the page of new ads could not be written"};

    mail::SecurityLibrary& library = mail::securityLibrary();
    if (!library.complete())
        return {false, "mail not sent: the security library could not be loaded"};
    if (library.init() != 0)
        return {false, "mail not sent: the security library could not be started"};
    std::string errorText;
    const int result = mail::sendMailWithAttachments(
        profile->senderEmail, mailTo,
        digestSubject(searchName, digest.newAds.size(), digest.cheaperAds.size(), digest.notSentBefore.size()),
        digestMessage(alertAdsOf(digest.newAds), alertAdsOf(digest.cheaperAds), alertAdsOf(digest.notSentBefore)),
        profile->smtpServer, mail::portNumber(profile->smtpPort), profile->userName, profile->password, {attachment},
        errorText);
    library.end();
    if (result == 0)
        return {true, "mail sent"};
    if (result == mail::sendAbandoned)
        return {false, "mail stopped by the program before it was sent"};
    return {false, "mail failed: " + std::to_string(result) + (errorText.empty() ? "" : " " + errorText)};
}

std::string lastResultLine(const WatchRun& run)
{
    if (!run.searchFound)
        return "The saved search is gone.";
    const search::RunOutcome& outcome = run.outcome;
    std::string line = alertSummary(static_cast<size_t>(outcome.newCount), static_cast<size_t>(outcome.cheaperCount));
    if (outcome.refusedStatus != 0)
        line += "; the site refused the search for " + outcome.refusedCity + " (HTTP "
            + std::to_string(outcome.refusedStatus) + "), so no watch runs for 60 minutes";
    else if (outcome.interrupted)
        line += "; stopped after " + std::to_string(outcome.passes) + " of " + std::to_string(outcome.lineCount)
            + " cities";
    if (!outcome.pageComplete)
        line += std::string("; the page could not be written whole") + (outcome.diskFull ? ": the disk is full" : "")
            + ", so nobody was told";
    if (outcome.memoryNotSaved)
        line += "; the list of ads already seen could not be saved (" + outcome.memoryFailure
            + "), so nobody was told: the same ads will count as new next time";
    if (run.notificationNotShown)
        line += "; the notification could not be shown";
    if (outcome.notReadCount > 0)
        line += "; the pages of " + std::to_string(outcome.notReadCount) + " of " + std::to_string(outcome.citiesAsked)
            + " cities could not be read";
    if (!run.mailResult.empty())
        line += "; " + run.mailResult;
    if (run.adsPending > 0)
        line += "; " + std::to_string(run.adsPending) + (run.adsPending == 1 ? " ad waits" : " ads wait")
            + " for the next mail";
    return line;
}

} // namespace watch

#pragma once
// Addresses and texts the program needs but the user never edits: compiled defaults, overridden key by key by an
// optional read-only file settings.ini (section [Settings]), a supplied file. The program never writes it.

#include <string>
#include <string_view>

namespace platform {

struct ProgramSettings {
    std::string siteDomain;
    // The scheme of every city's address: "https" unless a test site without TLS says "http".
    std::string siteScheme;
    // Which address a city's search asks: "area", the site's own (www.DOMAIN/search/area/CITY?cat=...), or "city",
    // the city's host (CITY.DOMAIN/search/CAT?...), for a site that still serves that form.
    std::string urlForm;
    std::string homePageUrl;
    std::string bannerUrl;
    std::string softwarePageUrl;
    std::string inviteUrl;
    std::string makerSiteUrl;
    std::string paymentSiteUrl;
    std::string tipAddress;
    // The about window's author credit line and the caption of its maker's-site button.
    std::string creditText;
    std::string makerSiteCaption;
};

ProgramSettings defaultSettings();

// Applies the key = value lines of the [Settings] section in iniText over base. Unknown keys, other sections,
// comment lines (";" or "#") and lines without "=" are ignored; blanks around keys and values are trimmed.
ProgramSettings applySettingsText(ProgramSettings base, std::string_view iniText);

// The defaults with settings.ini applied, when there is one: the user's own in the given folder, else the install's.
ProgramSettings loadSettings(const std::string& folder);

// The settings in force, loaded once at start-up.
ProgramSettings& settings();

} // namespace platform

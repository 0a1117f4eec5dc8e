#include "platform/settings.h"

#include "platform/files.h"
#include "platform/programfolder.h"

namespace platform {

ProgramSettings defaultSettings()
{
    ProgramSettings s;
    s.siteDomain = "craigslist.org";
    s.siteScheme = "https";
    s.urlForm = "area";
    s.homePageUrl = "https://www.tarnwick.com/";
    s.bannerUrl = "https://www.tarnwick.com/banners/quillobrand/banner.php";
    s.softwarePageUrl = "https://www.tarnwick.com/software.php";
    // Scheme and host only: the invite request appends its own path.
    s.inviteUrl = "https://www.tarnwick.com";
    s.makerSiteUrl = "https://www.tarnwick.com/";
    s.paymentSiteUrl = "https://www.tarnwick.com/support/";
    s.tipAddress = "bc1qquillobrandtipsxw8h4e2l7kd9m3v5r0a6ufz";
    s.creditText = "Written by the Quillobrand developers";
    s.makerSiteCaption = "www.tarnwick.com";
    return s;
}

static std::string_view trimmed(std::string_view text)
{
    const char* blanks = " \t\r\n";
    size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

ProgramSettings applySettingsText(ProgramSettings base, std::string_view iniText)
{
    bool inSettings = false;
    while (!iniText.empty()) {
        size_t end = iniText.find_first_of("\r\n");
        std::string_view line = trimmed(iniText.substr(0, end));
        iniText.remove_prefix(end == std::string_view::npos ? iniText.size() : end + 1);

        if (line.empty() || line.front() == ';' || line.front() == '#')
            continue;
        if (line.front() == '[') {
            inSettings = (line == "[Settings]");
            continue;
        }
        size_t equals = line.find('=');
        if (!inSettings || equals == std::string_view::npos)
            continue;
        std::string_view key = trimmed(line.substr(0, equals));
        std::string value(trimmed(line.substr(equals + 1)));

        struct Field {
            std::string_view name;
            std::string ProgramSettings::*member;
        };
        static const Field fields[] = {
            {"siteDomain", &ProgramSettings::siteDomain},
            {"siteScheme", &ProgramSettings::siteScheme},
            {"urlForm", &ProgramSettings::urlForm},
            {"homePageUrl", &ProgramSettings::homePageUrl},
            {"bannerUrl", &ProgramSettings::bannerUrl},
            {"softwarePageUrl", &ProgramSettings::softwarePageUrl},
            {"inviteUrl", &ProgramSettings::inviteUrl},
            {"makerSiteUrl", &ProgramSettings::makerSiteUrl},
            {"paymentSiteUrl", &ProgramSettings::paymentSiteUrl},
            {"tipAddress", &ProgramSettings::tipAddress},
            {"creditText", &ProgramSettings::creditText},
            {"makerSiteCaption", &ProgramSettings::makerSiteCaption},
        };
        for (const Field& field : fields) {
            if (field.name == key)
                base.*field.member = value;
        }
    }
    // Only a test site may be asked in clear text; anything but "http" means the secure default.
    if (base.siteScheme != "http")
        base.siteScheme = "https";
    if (base.urlForm != "city")
        base.urlForm = "area";
    return base;
}

ProgramSettings loadSettings(const std::string& folder)
{
    ProgramSettings s = defaultSettings();
    if (auto text = readWholeFile(suppliedFilePath(folder, "settings.ini")))
        s = applySettingsText(std::move(s), *text);
    return s;
}

ProgramSettings& settings()
{
    static ProgramSettings current = defaultSettings();
    return current;
}

} // namespace platform

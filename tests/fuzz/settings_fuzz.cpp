// A settings file of any bytes: the scheme is http or https whatever it says, every value is one trimmed line,
// applying the file twice is applying it once, and the values written out as a file read back the same.

#include "fuzzcheck.h"

#include "platform/settings.h"

#include <string>
#include <vector>

namespace {

struct Field {
    const char* key;
    std::string platform::ProgramSettings::*member;
};

const std::vector<Field> fields = {
    {"siteDomain", &platform::ProgramSettings::siteDomain},
    {"siteScheme", &platform::ProgramSettings::siteScheme},
    {"homePageUrl", &platform::ProgramSettings::homePageUrl},
    {"bannerUrl", &platform::ProgramSettings::bannerUrl},
    {"softwarePageUrl", &platform::ProgramSettings::softwarePageUrl},
    {"inviteUrl", &platform::ProgramSettings::inviteUrl},
    {"makerSiteUrl", &platform::ProgramSettings::makerSiteUrl},
    {"paymentSiteUrl", &platform::ProgramSettings::paymentSiteUrl},
    {"tipAddress", &platform::ProgramSettings::tipAddress},
    {"creditText", &platform::ProgramSettings::creditText},
    {"makerSiteCaption", &platform::ProgramSettings::makerSiteCaption},
};

bool same(const platform::ProgramSettings& a, const platform::ProgramSettings& b)
{
    for (const Field& field : fields)
        if (a.*field.member != b.*field.member)
            return false;
    return true;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const platform::ProgramSettings once = platform::applySettingsText(platform::defaultSettings(), text);
    FUZZ_CHECK(once.siteScheme == "http" || once.siteScheme == "https", "a scheme other than http or https");
    std::string written = "[Settings]\r\n";
    for (const Field& field : fields) {
        const std::string& value = once.*field.member;
        FUZZ_CHECK(value.find_first_of("\r\n") == std::string::npos, "a value of more than one line");
        FUZZ_CHECK(value.empty() || (!isBlank(value.front()) && !isBlank(value.back())), "a value not trimmed");
        written += std::string(field.key) + " = " + value + "\r\n";
    }
    FUZZ_CHECK(same(platform::applySettingsText(once, text), once), "the file applied twice differs from once");
    const platform::ProgramSettings readBack = platform::applySettingsText(platform::ProgramSettings{}, written);
    FUZZ_CHECK(same(readBack, once), "the values written out as a file read back otherwise");
    return 0;
}

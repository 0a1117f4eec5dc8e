#include "about/invite.h"

#include <cstring>

namespace about {

std::string percentEncodeUrl(const std::string& url)
{
    static const char hexDigits[] = "0123456789ABCDEF";
    // Unreserved "-._~" and reserved ":/?#@!$&'()*+,;=", without "[" and "]".
    static const char keptPunctuation[] = "-._~:/?#@!$&'()*+,;=";
    std::string encoded;
    encoded.reserve(url.size());
    for (const char c : url) {
        const auto byte = static_cast<unsigned char>(c);
        const bool letterOrDigit = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z')
            || (byte >= '0' && byte <= '9');
        if (letterOrDigit || (byte != 0 && std::strchr(keptPunctuation, byte))) {
            encoded += c;
        } else {
            encoded += '%';
            encoded += hexDigits[byte >> 4];
            encoded += hexDigits[byte & 0x0F];
        }
    }
    return encoded;
}

std::string buildInviteUrl(const std::string& inviteUrl, const std::string& yourName, const std::string& friendName,
                           const std::string& friendEmail, const std::string& version)
{
    const std::string query
        = "fromname=" + yourName + "&toname=" + friendName + "&toemail=" + friendEmail + "&version=" + version;
    return percentEncodeUrl(inviteUrl + "/cgi/invite/invite.cgi?" + query);
}

} // namespace about

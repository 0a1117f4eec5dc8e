#pragma once
// The invite-a-friend request: a URL the default web browser opens.

#include <string>

namespace about {

// Percent-encodes every byte except ASCII letters, digits and the characters RFC 3986 lists as unreserved or
// reserved, square brackets excepted: "%" and two upper-case hexadecimal digits.
std::string percentEncodeUrl(const std::string& url);

// inviteUrl + "/cgi/invite/invite.cgi?fromname=...&toname=...&toemail=...&version=...", encoded in one pass;
// the field texts go in unchanged (an "&" in a field stays an "&").
std::string buildInviteUrl(const std::string& inviteUrl, const std::string& yourName, const std::string& friendName,
                           const std::string& friendEmail, const std::string& version);

} // namespace about

#pragma once
// Composing an outgoing mail: headers, the plain-text body and base64 attachment parts, all as raw bytes.

#include <ctime>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace mail {

// RFC 4648 base64 with the standard alphabet and "=" padding, as one line without breaks.
std::string base64Encode(std::string_view bytes);

// The Content-Type for an attachment whose name ends in "." + extension.
std::string contentTypeForExtension(const std::string& extension);

// The last component of a path, after the last "\" or "/".
std::string fileNameOfPath(const std::string& path);

// The text after the last "." of the path; empty when a blank, "/" or "\" follows that dot, or the dot begins the
// file name.
std::string extensionOfPath(const std::string& path);

// One "\r\n" per path, each followed by a base64 part for that file unless it can't be opened or read, or is empty.
std::string buildAttachmentParts(const std::vector<std::string>& paths);

// RFC 5322 date in local time with the numeric zone offset, English names whatever the locale.
std::string formatMailDate(std::time_t when);

// The clock composeMessage stamps the Date header with; an empty function restores std::time.
void setMailClock(std::function<std::time_t()> clock);

// The whole message as handed to the server: plain text when there are no attachments, multipart/mixed otherwise.
std::string composeMessage(const std::string& senderEmail, const std::string& recipients, const std::string& subject,
                           const std::string& bodyText, const std::vector<std::string>& attachments);

// The lines appended to the body: who sent it (when known), the program's name and its page.
std::string buildMailFooter(const std::string& senderName, const std::string& softwarePageUrl);

} // namespace mail

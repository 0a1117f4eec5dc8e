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

// The last component of a path, after the last "/".
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

// The random part of the Message-ID, for tests that compare whole messages; an empty function restores the
// random default.
void setMessageIdSource(std::function<std::string()> source);

// Quoted-printable by RFC 2045: lines of at most 76 characters with soft breaks, every line end made CR LF, a "-"
// opening a line encoded so no line can read as a boundary.
std::string encodeQuotedPrintable(std::string_view text);

// The Subject header line with its CR LF: as typed when it is printable ASCII and fits in 78 characters or can be
// folded before blanks to fit; otherwise RFC 2047 encoded words ("=?UTF-8?B?...?="), one per continuation line.
std::string subjectHeader(const std::string& subject);

// From, To, Subject, Date, Message-ID (its right part hostName) and MIME-Version, each ended by CR LF.
std::string composeHeaders(const std::string& senderEmail, const std::string& recipients, const std::string& subject,
                           const std::string& hostName);

// What follows those headers: the content headers, the text (7bit when it is ASCII in lines of at most 998 bytes,
// quoted-printable UTF-8 otherwise) and, with attachments, the multipart/mixed parts. An attachment whose memory
// can't be had is left out; throws std::bad_alloc only when the message itself can't be built.
std::string composeContent(const std::string& bodyText, const std::vector<std::string>& attachments);

// The whole message as handed to the server: composeHeaders followed by composeContent.
std::string composeMessage(const std::string& senderEmail, const std::string& recipients, const std::string& subject,
                           const std::string& bodyText, const std::vector<std::string>& attachments,
                           const std::string& hostName);

// The lines appended to the body: who sent it (when known), the program's name and its page.
std::string buildMailFooter(const std::string& senderName, const std::string& softwarePageUrl);

} // namespace mail

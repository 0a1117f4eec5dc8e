#pragma once
// Text rules of the mail window: the sender name it accepts and the reply address it finds in an ad's page.

#include <string>

namespace mail {

// The characters of name whose ASCII upper-case form is in allowedNameChars, and blanks, in order and in their
// own case; at most the first 30 of them.
std::string sanitizeName(const std::string& name, const std::string& allowedNameChars);

// The text between the first "mailto:" and the first "?subject=" of the page; empty when either is missing, the
// subject comes first, or the text could break a mail header or name more than one recipient.
std::string findReplyAddress(const std::string& pageSource);

// The sent copy's file name for a subject: the subject with "/", NUL and every other control byte made "-", cut at
// a character boundary, then ".html", short enough that it and the atomic writer's sibling (".new-" and a process
// number) fit the file system's 255 bytes.
std::string sentCopyFileName(const std::string& subject);

} // namespace mail

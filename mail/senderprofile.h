#pragma once
// Sender profiles: one file per profile under smtp/, six lines, and the private-file writer shared with the
// address book (both hold things only the user should read).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mail {

struct SenderProfile {
    std::string senderName, senderEmail, smtpServer, userName, password, smtpPort;
    bool operator==(const SenderProfile&) const = default;
};

// "smtp/<name>.smtp", relative to the program folder.
std::string profileFile(const std::string& profileName);

// The six fields line by line; a NUL byte ends a line too, lines after the sixth are ignored and missing ones
// read as empty. Nothing when the path can't be opened or is a folder.
std::optional<SenderProfile> readProfile(const std::string& path);

// Exactly six lines, each ended by CR LF, in a file only its owner can read or write.
bool writeProfile(const std::string& path, const SenderProfile& profile);

// Replaces the file at path with these bytes by way of a sibling that is flushed and renamed over it; the result
// is mode 0600 whatever the umask or the old file's mode. False, with the old file left as it was, on any failure.
bool writePrivateFileAtomically(const std::string& path, std::string_view bytes);

// "smtp/<name>.pin", relative to the program folder: the certificate the user chose to trust for the profile's
// server. Two lines: the server as the profile named it, and the certificate's SHA-256 fingerprint as
// fingerprintText gives it.
std::string pinFile(const std::string& profileName);

// The fingerprint (32 bytes) pinned in the file for this server (letters compared in any case); empty when the
// file can't be read, pins another server or holds no fingerprint.
std::string readPin(const std::string& path, const std::string& smtpServer);

// Writes the two lines, each ended by CR LF, in a file only its owner can read or write.
bool writePin(const std::string& path, const std::string& smtpServer, const std::string& fingerprint);

// Bytes as upper-case hexadecimal pairs joined by ":" ("AB:01:...").
std::string fingerprintText(const std::string& fingerprint);

// The profile names in programFolder's smtp/ folder (programFolder ends in "/"), in byte order.
std::vector<std::string> profileList(const std::string& programFolder);

// The leading decimal number of a port field: blanks and tabs skipped, optional sign, digits up to the first
// other character; 0 without digits; clamped to the int range.
int portNumber(const std::string& portText);

} // namespace mail

#pragma once
// The address book: one address per line in smtp/email.list, kept in memory as the list the mail window shows.

#include <string>
#include <vector>

namespace mail {

// "smtp/email.list", relative to the program folder.
std::string addressBookFile();

// Every line of the file in order (a last line without a line end counts too); a missing file gives no entries.
std::vector<std::string> readAddressBook(const std::string& path);

// Every entry as one line ended by CR LF, replacing the file atomically with mode 0600.
bool writeAddressBook(const std::string& path, const std::vector<std::string>& entries);

// Appends the blank-separated pieces of text (blanks at its ends dropped; two blanks in a row give an empty
// piece) and rewrites the file from all entries. False, with nothing changed, when text holds only blanks; true
// otherwise, even when the file couldn't be written.
bool addAddresses(std::vector<std::string>& entries, const std::string& text, const std::string& path);

// The entries not selected, passed once more through addAddresses on an empty list and written to path (an empty
// file when none remain). A selection shorter than entries leaves the rest unselected.
std::vector<std::string> deleteSelected(const std::vector<std::string>& entries, const std::vector<bool>& selected,
                                        const std::string& path);

// recipientText with each selected entry and a blank appended (after a separating blank when needed); the
// selected entries leave entries.
std::string copySelected(const std::string& recipientText, std::vector<std::string>& entries,
                         const std::vector<bool>& selected);

} // namespace mail

#include "mail/addressbook.h"

#include "mail/senderprofile.h"
#include "platform/linereader.h"

namespace mail {

static bool isSelected(const std::vector<bool>& selected, size_t index)
{
    return index < selected.size() && selected[index];
}

std::string addressBookFile()
{
    return "smtp/email.list";
}

std::vector<std::string> readAddressBook(const std::string& path)
{
    std::vector<std::string> entries;
    platform::LineReader reader(path);
    if (!reader.isOpen())
        return entries;
    while (!reader.atEnd())
        entries.push_back(reader.readLine());
    return entries;
}

bool writeAddressBook(const std::string& path, const std::vector<std::string>& entries)
{
    std::string bytes;
    for (const std::string& entry : entries)
        bytes += entry + "\r\n";
    return writePrivateFileAtomically(path, bytes);
}

bool addAddresses(std::vector<std::string>& entries, const std::string& text, const std::string& path)
{
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return false;
    const size_t last = text.find_last_not_of(' ');
    const std::string trimmed = text.substr(first, last - first + 1);
    for (size_t start = 0;;) {
        const size_t blank = trimmed.find(' ', start);
        entries.push_back(trimmed.substr(start, blank - start));
        if (blank == std::string::npos)
            break;
        start = blank + 1;
    }
    // The entries stay in memory even when the disk refuses them; the user still sees what was typed.
    writeAddressBook(path, entries);
    return true;
}

std::vector<std::string> deleteSelected(const std::vector<std::string>& entries, const std::vector<bool>& selected,
                                        const std::string& path)
{
    std::string joined;
    for (size_t i = 0; i < entries.size(); ++i)
        if (!isSelected(selected, i))
            joined += entries[i] + ' ';
    std::vector<std::string> kept;
    // addAddresses leaves the file alone for a blank text, but the deleted entries must go from it as well.
    if (!addAddresses(kept, joined, path))
        writeAddressBook(path, kept);
    return kept;
}

std::string copySelected(const std::string& recipientText, std::vector<std::string>& entries,
                         const std::vector<bool>& selected)
{
    std::string text = recipientText;
    if (!text.empty() && text.back() != ' ')
        text += ' ';
    std::vector<std::string> kept;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (isSelected(selected, i))
            text += entries[i] + ' ';
        else
            kept.push_back(entries[i]);
    }
    entries = std::move(kept);
    return text;
}

} // namespace mail

#include "mail/addressbook.h"

#include "platform/files.h"
#include "testfolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace std::string_literals;
using Entries = std::vector<std::string>;

namespace {

// Failure messages name the case instead of dumping its bytes.
template <typename Case>
concept NamedCase = requires(const Case& c)
{
    c.name;
};

template <NamedCase Case> void PrintTo(const Case& c, std::ostream* os)
{
    *os << c.name;
}

const auto caseName = [](const auto& info) { return std::string(info.param.name); };

void putFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// Every test starts with an older book on disk, so a rewrite shows in the bytes.
const std::string olderBook = "older@example.com\r\n";

class BookFolder {
protected:
    BookFolder()
        : folder(makeTestFolder("qb-book"))
        , path(folder + "email.list")
    {
        putFile(path, olderBook);
        ::chmod(path.c_str(), 0644);
    }
    ~BookFolder() { fs::remove_all(folder); }
    std::string folder;
    std::string path;
};

TEST(AddressBookFileName, UnderSmtp)
{
    EXPECT_EQ(mail::addressBookFile(), "smtp/email.list");
}

// Reading.

struct ReadCase {
    const char* name;
    std::string bytes;
    Entries entries;
};

class AddressBookRead : public BookFolder, public ::testing::TestWithParam<ReadCase> { };

TEST_P(AddressBookRead, OneEntryPerLine)
{
    putFile(path, GetParam().bytes);
    EXPECT_EQ(mail::readAddressBook(path), GetParam().entries);
}

INSTANTIATE_TEST_SUITE_P(AddressBookReads, AddressBookRead,
                         ::testing::Values(ReadCase{"crLfLines", "a@x\r\nb@y\r\n", {"a@x", "b@y"}},
                                           ReadCase{"lastLineWithoutEnd", "a@x\r\nb@y", {"a@x", "b@y"}},
                                           ReadCase{"emptyFile", "", {}}, ReadCase{"oneEmptyLine", "\r\n", {""}},
                                           ReadCase{"emptyLineInside", "a\r\n\r\nb\r\n", {"a", "", "b"}},
                                           ReadCase{"emptyLineAtEnd", "a\r\n\r\n", {"a", ""}},
                                           ReadCase{"everyLineEnd", "a\nb\rc\r\nd", {"a", "b", "c", "d"}},
                                           ReadCase{"blankInsideKept", "a b\r\n", {"a b"}},
                                           ReadCase{"nulIsNoLineEnd", "a\0b\r\n"s, {"a\0b"s}}),
                         caseName);

TEST(AddressBookReadFails, MissingFileOrFolderGivesNothing)
{
    const std::string folder = makeTestFolder("qb-book");
    fs::create_directory(folder + "folder.list");
    EXPECT_TRUE(mail::readAddressBook(folder + "missing.list").empty());
    EXPECT_TRUE(mail::readAddressBook(folder + "folder.list").empty());
    fs::remove_all(folder);
}

// Writing.

struct WriteCase {
    const char* name;
    Entries entries;
    std::string bytes;
};

class AddressBookWrite : public BookFolder, public ::testing::TestWithParam<WriteCase> { };

TEST_P(AddressBookWrite, CrLfLinesOwnerOnlyAndReadBack)
{
    ASSERT_TRUE(mail::writeAddressBook(path, GetParam().entries));
    EXPECT_EQ(platform::readWholeFile(path), GetParam().bytes);
    EXPECT_EQ(modeOf(path), 0600);
    EXPECT_EQ(mail::readAddressBook(path), GetParam().entries);
}

INSTANTIATE_TEST_SUITE_P(AddressBookWrites, AddressBookWrite,
                         ::testing::Values(WriteCase{"none", {}, ""}, WriteCase{"one", {"a@x"}, "a@x\r\n"},
                                           WriteCase{"emptyInside", {"a", "", "b"}, "a\r\n\r\nb\r\n"},
                                           WriteCase{"onlyEmpty", {""}, "\r\n"},
                                           WriteCase{"blankInside", {"a b", "c"}, "a b\r\nc\r\n"}),
                         caseName);

// Adding typed text. No file means the file must still hold the older book.

struct AddCase {
    const char* name;
    Entries before;
    std::string text;
    bool added;
    Entries after;
    std::optional<std::string> file;
};

class AddressBookAdd : public BookFolder, public ::testing::TestWithParam<AddCase> { };

TEST_P(AddressBookAdd, EntriesAndFile)
{
    Entries entries = GetParam().before;
    EXPECT_EQ(mail::addAddresses(entries, GetParam().text, path), GetParam().added);
    EXPECT_EQ(entries, GetParam().after);
    EXPECT_EQ(platform::readWholeFile(path), GetParam().file.value_or(olderBook));
    EXPECT_EQ(modeOf(path), GetParam().file ? 0600 : 0644); // an untouched book keeps its mode
}

INSTANTIATE_TEST_SUITE_P(
    AddressBookAdds, AddressBookAdd,
    ::testing::Values(AddCase{"single", {}, "a@x", true, {"a@x"}, "a@x\r\n"},
                      AddCase{"appendsToEntries", {"a"}, "b c", true, {"a", "b", "c"}, "a\r\nb\r\nc\r\n"},
                      AddCase{"twoBlanksGiveEmptyEntry", {}, "a  b", true, {"a", "", "b"}, "a\r\n\r\nb\r\n"},
                      AddCase{"blanksAtEndsDropped", {}, "   a b  ", true, {"a", "b"}, "a\r\nb\r\n"},
                      AddCase{"noDuplicateCheck", {"a"}, "a", true, {"a", "a"}, "a\r\na\r\n"},
                      AddCase{"tabsAreNoBlanks", {}, "\ta\tb\t", true, {"\ta\tb\t"}, "\ta\tb\t\r\n"},
                      AddCase{"onlyATab", {}, "\t", true, {"\t"}, "\t\r\n"},
                      AddCase{"emptyText", {"a"}, "", false, {"a"}, std::nullopt},
                      AddCase{"onlyBlanks", {"a"}, "   ", false, {"a"}, std::nullopt}),
    caseName);

TEST(AddressBookAddFails, UnwritableFileStillAddsInMemory)
{
    const std::string folder = makeTestFolder("qb-book");
    Entries entries{"a"};
    EXPECT_TRUE(mail::addAddresses(entries, "b", folder + "missing/email.list"));
    EXPECT_EQ(entries, (Entries{"a", "b"}));
    EXPECT_FALSE(fs::exists(folder + "missing"));
    fs::remove_all(folder);
}

// Deleting the selection.

struct DeleteCase {
    const char* name;
    Entries before;
    std::vector<bool> selected;
    Entries after;
    std::string file;
};

class AddressBookDelete : public BookFolder, public ::testing::TestWithParam<DeleteCase> { };

TEST_P(AddressBookDelete, EntriesAndFile)
{
    EXPECT_EQ(mail::deleteSelected(GetParam().before, GetParam().selected, path), GetParam().after);
    EXPECT_EQ(platform::readWholeFile(path), GetParam().file);
    EXPECT_EQ(modeOf(path), 0600);
}

INSTANTIATE_TEST_SUITE_P(
    AddressBookDeletes, AddressBookDelete,
    ::testing::Values(DeleteCase{"middle", {"a", "b", "c"}, {false, true, false}, {"a", "c"}, "a\r\nc\r\n"},
                      DeleteCase{"firstAndLast", {"a", "b", "c"}, {true, false, true}, {"b"}, "b\r\n"},
                      DeleteCase{"noneSelected", {"a", "b"}, {false, false}, {"a", "b"}, "a\r\nb\r\n"},
                      DeleteCase{"all", {"a", "b"}, {true, true}, {}, ""},
                      DeleteCase{"blankInsideSplits", {"a b", "c"}, {false, true}, {"a", "b"}, "a\r\nb\r\n"},
                      DeleteCase{"emptyAtEndsDropped",
                                 {"", "a", "", "b", ""},
                                 {false, false, false, false, false},
                                 {"a", "", "b"},
                                 "a\r\n\r\nb\r\n"},
                      DeleteCase{"onlyEmptyLeft", {"", "x"}, {false, true}, {}, ""},
                      DeleteCase{"shortSelectionKeepsTheRest", {"a", "b", "c"}, {true}, {"b", "c"}, "b\r\nc\r\n"},
                      DeleteCase{"emptyBook", {}, {}, {}, ""}),
    caseName);

class AddressBookFiles : public BookFolder, public ::testing::Test { };

TEST_F(AddressBookFiles, AddThenDeleteOnDisk)
{
    Entries entries = mail::readAddressBook(path);
    ASSERT_TRUE(mail::addAddresses(entries, "b@y c@z", path));
    EXPECT_EQ(platform::readWholeFile(path), "older@example.com\r\nb@y\r\nc@z\r\n");
    entries = mail::deleteSelected(entries, {true, false, false}, path);
    EXPECT_EQ(entries, (Entries{"b@y", "c@z"}));
    EXPECT_EQ(platform::readWholeFile(path), "b@y\r\nc@z\r\n");
    EXPECT_EQ(mail::readAddressBook(path), entries);
}

TEST_F(AddressBookFiles, DeletingEveryEntryLeavesAnEmptyFile)
{
    ASSERT_TRUE(mail::writeAddressBook(path, {"a@x", "b@y", "c@z"}));
    const Entries entries = mail::readAddressBook(path);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_TRUE(mail::deleteSelected(entries, {true, true, true}, path).empty());
    EXPECT_EQ(platform::regularFileSize(path), 0);
    EXPECT_EQ(modeOf(path), 0600);
    EXPECT_TRUE(mail::readAddressBook(path).empty());
}

// Copying the selection into the recipient field.

struct CopyCase {
    const char* name;
    std::string text;
    Entries before;
    std::vector<bool> selected;
    std::string result;
    Entries after;
};

class AddressBookCopy : public ::testing::TestWithParam<CopyCase> { };

TEST_P(AddressBookCopy, TextAndRemainingEntries)
{
    Entries entries = GetParam().before;
    EXPECT_EQ(mail::copySelected(GetParam().text, entries, GetParam().selected), GetParam().result);
    EXPECT_EQ(entries, GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(
    AddressBookCopies, AddressBookCopy,
    ::testing::Values(CopyCase{"firstAndLast", "x@y", {"a", "b", "c"}, {true, false, true}, "x@y a c ", {"b"}},
                      CopyCase{"emptyText", "", {"a", "b"}, {false, true}, "b ", {"a"}},
                      CopyCase{"textEndsInBlank", "x@y ", {"a"}, {true}, "x@y a ", {}},
                      CopyCase{"nothingSelectedStillSeparates", "x@y", {"a"}, {false}, "x@y ", {"a"}},
                      CopyCase{"emptyTextNothingSelected", "", {"a"}, {false}, "", {"a"}},
                      CopyCase{"tabIsNoBlank", "x\t", {"a"}, {true}, "x\t a ", {}},
                      CopyCase{"shortSelection", "", {"a", "b"}, {true}, "a ", {"b"}},
                      CopyCase{"emptyEntry", "", {"", "b"}, {true, true}, " b ", {}},
                      CopyCase{"duplicatesBothCopied", "", {"a", "a", "b"}, {true, true, false}, "a a ", {"b"}}),
    caseName);

} // namespace

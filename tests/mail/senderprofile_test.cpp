#include "mail/senderprofile.h"

#include "platform/files.h"
#include "testfolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace std::string_literals;

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

std::vector<std::string> namesIn(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void putFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

const mail::SenderProfile ann{"Ann Lee", "ann@example.com", "mail.example.com", "ann", "s3cret", "465"};
const std::string annBytes = "Ann Lee\r\nann@example.com\r\nmail.example.com\r\nann\r\ns3cret\r\n465\r\n";
const mail::SenderProfile annWithoutPassword{"Ann Lee", "ann@example.com", "mail.example.com", "ann", "", ""};

class ProfileFolder {
protected:
    ProfileFolder()
        : folder(makeTestFolder("qb-profile"))
    {
    }
    ~ProfileFolder() { fs::remove_all(folder); }
    std::string folder;
};

// The file name for a profile name.

struct FileNameCase {
    const char* name;
    std::string profile;
    std::string file;
};

class ProfileFileName : public ::testing::TestWithParam<FileNameCase> { };

TEST_P(ProfileFileName, UnderSmtpWithTheExtension)
{
    EXPECT_EQ(mail::profileFile(GetParam().profile), GetParam().file);
}

INSTANTIATE_TEST_SUITE_P(ProfileFileNames, ProfileFileName,
                         ::testing::Values(FileNameCase{"plain", "Home", "smtp/Home.smtp"},
                                           FileNameCase{"withBlank", "my mail", "smtp/my mail.smtp"},
                                           FileNameCase{"empty", "", "smtp/.smtp"},
                                           FileNameCase{"extensionAlready", "a.smtp", "smtp/a.smtp.smtp"}),
                         caseName);

// Reading the six lines.

struct ReadCase {
    const char* name;
    std::string bytes;
    mail::SenderProfile profile;
};

class ProfileRead : public ProfileFolder, public ::testing::TestWithParam<ReadCase> { };

TEST_P(ProfileRead, Fields)
{
    const std::string path = folder + "Home.smtp";
    putFile(path, GetParam().bytes);
    const std::optional<mail::SenderProfile> profile = mail::readProfile(path);
    ASSERT_TRUE(profile.has_value());
    EXPECT_EQ(*profile, GetParam().profile);
}

INSTANTIATE_TEST_SUITE_P(
    ProfileReads, ProfileRead,
    ::testing::Values(
        ReadCase{"sixCrLfLines", annBytes, ann},
        ReadCase{"fourLinesLeavePasswordAndPortEmpty", "Ann Lee\r\nann@example.com\r\nmail.example.com\r\nann\r\n",
                 annWithoutPassword},
        ReadCase{"lfOnlyReadsTheSame", "Ann Lee\nann@example.com\nmail.example.com\nann\n", annWithoutPassword},
        ReadCase{"loneCr", "Ann Lee\rann@example.com\rmail.example.com\rann\rs3cret\r465\r", ann},
        ReadCase{"noEndAfterLastLine", "Ann Lee\r\nann@example.com\r\nmail.example.com\r\nann\r\ns3cret\r\n465", ann},
        ReadCase{"mixedEnds",
                 "Ann Lee\r\nann@example.com\nmail.example.com\rann\r\n\r\n587",
                 {"Ann Lee", "ann@example.com", "mail.example.com", "ann", "", "587"}},
        ReadCase{"crThenCrLfIsTwoEnds", "a\r\r\nb", {"a", "", "b", "", "", ""}},
        ReadCase{"nulEndsALine",
                 "Ann Lee\0ann@example.com\r\nmail\0\0ann\r\n"s,
                 {"Ann Lee", "ann@example.com", "mail", "", "ann", ""}},
        ReadCase{"linesAfterTheSixthIgnored", annBytes + "seventh\r\neighth\r\n", ann},
        ReadCase{"emptyLinesInside",
                 "\r\n\r\nsmtp.example.com\r\n\r\n\r\n25\r\n",
                 {"", "", "smtp.example.com", "", "", "25"}},
        ReadCase{"blanksAndTabsKept", " Ann \r\n\tx\t\r\n", {" Ann ", "\tx\t", "", "", "", ""}},
        ReadCase{"emptyFile", "", {}}),
    caseName);

TEST(ProfileReadFails, MissingFileOrFolder)
{
    const std::string folder = makeTestFolder("qb-profile");
    fs::create_directory(folder + "Folder.smtp");
    EXPECT_FALSE(mail::readProfile(folder + "Missing.smtp").has_value());
    EXPECT_FALSE(mail::readProfile(folder + "Folder.smtp").has_value());
    fs::remove_all(folder);
}

// Writing the six lines.

struct WriteCase {
    const char* name;
    mail::SenderProfile profile;
    std::string bytes;
};

class ProfileWrite : public ProfileFolder, public ::testing::TestWithParam<WriteCase> { };

TEST_P(ProfileWrite, ExactBytesAndReadBack)
{
    const std::string path = folder + "Home.smtp";
    ASSERT_TRUE(mail::writeProfile(path, GetParam().profile));
    EXPECT_EQ(platform::readWholeFile(path), GetParam().bytes);
    EXPECT_EQ(mail::readProfile(path), GetParam().profile);
}

INSTANTIATE_TEST_SUITE_P(
    ProfileWrites, ProfileWrite,
    ::testing::Values(
        WriteCase{"allFields", ann, annBytes},
        WriteCase{"emptyPasswordAndPort", annWithoutPassword,
                  "Ann Lee\r\nann@example.com\r\nmail.example.com\r\nann\r\n\r\n\r\n"},
        WriteCase{"allEmpty", {}, "\r\n\r\n\r\n\r\n\r\n\r\n"},
        WriteCase{"onlyPort", {"", "", "", "", "", "25"}, "\r\n\r\n\r\n\r\n\r\n25\r\n"},
        WriteCase{"blanksKept", {" a ", "b c", "", "", "p w", " 587"}, " a \r\nb c\r\n\r\n\r\np w\r\n 587\r\n"}),
    caseName);

class ProfileFiles : public ProfileFolder, public ::testing::Test { };

TEST_F(ProfileFiles, HomeIsSixCrLfLinesOwnerOnlyNoSibling)
{
    fs::create_directory(folder + "smtp");
    const std::string path = folder + mail::profileFile("Home");
    ASSERT_TRUE(mail::writeProfile(path, ann));
    EXPECT_EQ(platform::readWholeFile(path), annBytes);
    EXPECT_EQ(modeOf(path), 0600);
    EXPECT_EQ(namesIn(folder + "smtp"), std::vector<std::string>{"Home.smtp"});
}

TEST_F(ProfileFiles, ReplacedFileBecomesOwnerOnly)
{
    const std::string path = folder + "Home.smtp";
    putFile(path, "old\r\nold\r\n");
    ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
    ASSERT_TRUE(mail::writeProfile(path, ann));
    EXPECT_EQ(platform::readWholeFile(path), annBytes);
    EXPECT_EQ(modeOf(path), 0600);
    EXPECT_EQ(namesIn(folder), std::vector<std::string>{"Home.smtp"});
}

TEST_F(ProfileFiles, MissingFolderFails)
{
    EXPECT_FALSE(mail::writeProfile(folder + "smtp/Home.smtp", ann));
    EXPECT_FALSE(fs::exists(folder + "smtp"));
    EXPECT_TRUE(namesIn(folder).empty());
}

TEST_F(ProfileFiles, FolderInTheWayFailsWithoutSibling)
{
    fs::create_directory(folder + "Home.smtp");
    EXPECT_FALSE(mail::writeProfile(folder + "Home.smtp", ann));
    EXPECT_TRUE(platform::isDirectory(folder + "Home.smtp"));
    EXPECT_EQ(namesIn(folder), std::vector<std::string>{"Home.smtp"});
}

TEST_F(ProfileFiles, ListsProfileNamesInByteOrder)
{
    EXPECT_TRUE(mail::profileList(folder).empty()); // no smtp folder yet
    fs::create_directory(folder + "smtp");
    putFile(folder + "smtp/work.smtp", "");
    putFile(folder + "smtp/Home.smtp", "");
    putFile(folder + "smtp/email.list", "");
    fs::create_directory(folder + "smtp/folder.smtp");
    EXPECT_EQ(mail::profileList(folder), (std::vector<std::string>{"Home", "work"}));
}

// The private writer keeps 0600 whatever the umask: a strict one would take the write bit away, a loose one
// would let others read the password.

struct UmaskCase {
    const char* name;
    mode_t umask;
};

class ProfileModeUnderUmask : public ProfileFolder, public ::testing::TestWithParam<UmaskCase> { };

TEST_P(ProfileModeUnderUmask, NewAndReplacedFilesAre0600)
{
    const std::string path = folder + "Home.smtp";
    const mode_t saved = ::umask(GetParam().umask);
    const bool createdNew = mail::writeProfile(path, ann);
    const int newMode = modeOf(path);
    const bool replaced = mail::writePrivateFileAtomically(path, "x");
    ::umask(saved);
    EXPECT_TRUE(createdNew);
    EXPECT_EQ(newMode, 0600);
    EXPECT_TRUE(replaced);
    EXPECT_EQ(modeOf(path), 0600);
    EXPECT_EQ(platform::readWholeFile(path), "x");
}

INSTANTIATE_TEST_SUITE_P(ProfileModes, ProfileModeUnderUmask,
                         ::testing::Values(UmaskCase{"none", 0}, UmaskCase{"usual", 022}, UmaskCase{"private", 077},
                                           UmaskCase{"noOwnerWrite", 0277}),
                         caseName);

struct BytesCase {
    const char* name;
    std::string bytes;
};

class ProfilePrivateWriter : public ProfileFolder, public ::testing::TestWithParam<BytesCase> { };

TEST_P(ProfilePrivateWriter, ExactBytesOverAnOlderFile)
{
    const std::string path = folder + "data";
    putFile(path, "older content that is longer than some of the new ones");
    ASSERT_TRUE(mail::writePrivateFileAtomically(path, GetParam().bytes));
    EXPECT_EQ(platform::readWholeFile(path), GetParam().bytes);
    EXPECT_EQ(namesIn(folder), std::vector<std::string>{"data"});
}

std::string patterned(size_t size)
{
    std::string text(size, ' ');
    for (size_t i = 0; i < size; ++i)
        text[i] = char('a' + i % 26);
    return text;
}

INSTANTIATE_TEST_SUITE_P(ProfilePrivateWrites, ProfilePrivateWriter,
                         ::testing::Values(BytesCase{"empty", ""}, BytesCase{"binary", "a\0b\r\n\xff"s},
                                           BytesCase{"large", patterned(300000)}),
                         caseName);

// The port field as a number.

struct PortCase {
    const char* name;
    std::string text;
    int port;
};

class PortNumberOf : public ::testing::TestWithParam<PortCase> { };

TEST_P(PortNumberOf, LeadingNumber)
{
    EXPECT_EQ(mail::portNumber(GetParam().text), GetParam().port);
}

INSTANTIATE_TEST_SUITE_P(PortNumbers, PortNumberOf,
                         ::testing::Values(PortCase{"plain", "587", 587}, PortCase{"trailingText", "465 abc", 465},
                                           PortCase{"noDigits", "abc", 0}, PortCase{"blanksTabsAndPlus", " \t+25", 25},
                                           PortCase{"negative", "-1", -1}, PortCase{"empty", "", 0},
                                           PortCase{"tabs", "\t\t993", 993}, PortCase{"trailingBlank", " 25 ", 25},
                                           PortCase{"newlineNotSkipped", "\n25", 0}, PortCase{"signOnly", "+", 0},
                                           PortCase{"minusOnly", "-", 0}, PortCase{"twoSigns", "+-5", 0},
                                           PortCase{"blankAfterSign", "- 5", 0}, PortCase{"stopsAtLetter", "12a34", 12},
                                           PortCase{"leadingZeros", "007", 7}, PortCase{"hexNotRead", "0x1F", 0},
                                           PortCase{"exponentNotRead", "1e3", 1}, PortCase{"zero", "0", 0},
                                           PortCase{"intMax", "2147483647", 2147483647},
                                           PortCase{"justOverIntMax", "2147483648", 2147483647},
                                           PortCase{"intMin", "-2147483648", INT_MIN},
                                           PortCase{"justUnderIntMin", "-2147483649", INT_MIN},
                                           PortCase{"hugePositive", "+99999999999999999999999999999999", 2147483647},
                                           PortCase{"hugeNegative", "-99999999999999999999999999999999", INT_MIN}),
                         caseName);

} // namespace

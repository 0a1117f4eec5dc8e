#include "platform/programfolder.h"

#include "environmentvalue.h"
#include "platform/settings.h"
#include "shell/programstate.h"
#include "testfolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

namespace fs = std::filesystem;

namespace {

void writeFile(const std::string& path, const std::string& bytes)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// A prefix with the program in bin/, as the install rules lay it out.
class ProgramFolders : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = makeTestFolder("qb-folders");
        bin = root + "prefix/bin/";
        fs::create_directories(bin);
    }
    void TearDown() override
    {
        platform::suppliedFolder().clear();
        fs::remove_all(root);
    }
    std::string root;
    std::string bin;
};

struct LocateCase {
    const char* name;
    bool marker;
    std::optional<std::string> dataHome; // below root when relative to it; "" and "rel" kept as they are
    std::optional<std::string> home;
    const char* userFolder; // below root; "" for none
};

class Locate : public ProgramFolders, public ::testing::WithParamInterface<LocateCase> { };

TEST_P(Locate, PortableBesideTheProgramElseTheXdgDataFolder)
{
    const LocateCase& c = GetParam();
    if (c.marker)
        writeFile(bin + platform::portableMarker, "");
    auto underRoot = [&](const std::optional<std::string>& v) -> std::optional<std::string> {
        if (!v || v->empty() || (*v)[0] != '/')
            return v;
        return root.substr(0, root.size() - 1) + *v;
    };
    EnvironmentValue dataHome("XDG_DATA_HOME", underRoot(c.dataHome));
    EnvironmentValue home("HOME", underRoot(c.home));

    const platform::ProgramFolders folders = platform::locateProgramFolders(bin);
    EXPECT_EQ(folders.portable, c.marker);
    EXPECT_EQ(folders.userFolder, *c.userFolder ? root + c.userFolder : std::string());
    if (c.marker) {
        EXPECT_EQ(folders.suppliedFolder, bin);
        EXPECT_EQ(folders.libraryFolder, bin);
    } else {
        EXPECT_EQ(folders.suppliedFolder, root + "prefix/" QB_INSTALL_DATA_DIR "/");
        EXPECT_EQ(folders.libraryFolder, root + "prefix/" QB_INSTALL_LIBRARY_DIR "/");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, Locate,
    ::testing::Values(LocateCase{"portable", true, "/data", "/home", "prefix/bin/"},
                      LocateCase{"portableWithoutHome", true, std::nullopt, std::nullopt, "prefix/bin/"},
                      LocateCase{"dataHomeSet", false, "/data", "/home", "data/quillobrand/"},
                      LocateCase{"dataHomeTrailingSlashes", false, "/data//", "/home", "data/quillobrand/"},
                      LocateCase{"dataHomeUnset", false, std::nullopt, "/home", "home/.local/share/quillobrand/"},
                      LocateCase{"dataHomeEmpty", false, "", "/home", "home/.local/share/quillobrand/"},
                      LocateCase{"dataHomeRelativeIsIgnored", false, "rel", "/home", "home/.local/share/quillobrand/"},
                      LocateCase{"noHomeAtAll", false, std::nullopt, std::nullopt, ""},
                      LocateCase{"relativeHomeIsNone", false, std::nullopt, "rel", ""}),
    [](const auto& info) { return std::string(info.param.name); });

enum class Where { User, Supplied };

struct SuppliedCase {
    const char* name;
    bool userCopy;
    bool suppliedCopy;
    bool installed;
    Where expected;
};

class SuppliedPath : public ProgramFolders, public ::testing::WithParamInterface<SuppliedCase> { };

TEST_P(SuppliedPath, TheUsersCopyWinsElseTheInstalls)
{
    const SuppliedCase& c = GetParam();
    const std::string user = root + "user/";
    const std::string supplied = root + "prefix/share/quillobrand/";
    if (c.userCopy)
        writeFile(user + "citydata/Major Cities.city", "mine\r\n");
    if (c.suppliedCopy)
        writeFile(supplied + "citydata/Major Cities.city", "supplied\r\n");
    platform::suppliedFolder() = c.installed ? supplied : std::string();
    const std::string path = platform::suppliedFilePath(user, "citydata/Major Cities.city");
    EXPECT_EQ(path, (c.expected == Where::User ? user : supplied) + "citydata/Major Cities.city");
}

INSTANTIATE_TEST_SUITE_P(Table, SuppliedPath,
                         ::testing::Values(SuppliedCase{"onlySupplied", false, true, true, Where::Supplied},
                                           SuppliedCase{"usersCopyWins", true, true, true, Where::User},
                                           SuppliedCase{"onlyUsers", true, false, true, Where::User},
                                           SuppliedCase{"neitherGivesTheUsersPath", false, false, true, Where::User},
                                           SuppliedCase{"portableReadsBesideTheUser", false, true, false, Where::User}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProgramFolders, SettingsFileIsSuppliedToo)
{
    const std::string user = root + "user/";
    const std::string supplied = root + "prefix/share/quillobrand/";
    writeFile(supplied + "settings.ini", "[Settings]\nsiteDomain = supplied.example\n");
    platform::suppliedFolder() = supplied;
    EXPECT_EQ(platform::loadSettings(user).siteDomain, "supplied.example");
    writeFile(user + "settings.ini", "[Settings]\nsiteDomain = own.example\n");
    EXPECT_EQ(platform::loadSettings(user).siteDomain, "own.example");
}

std::set<std::string> entriesUnder(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        names.insert(fs::relative(entry.path(), folder).string());
    return names;
}

TEST_F(ProgramFolders, AnInstalledStartMakesTheUsersFoldersOwnerOnlyAndCopiesNothing)
{
    writeFile(root + "prefix/share/quillobrand/CategoryTree.dat", "tree");
    platform::ProgramFolders folders;
    folders.userFolder = root + "home/.local/share/quillobrand/";
    folders.suppliedFolder = root + "prefix/share/quillobrand/";
    ASSERT_TRUE(shell::useProgramFolders(folders));
    EXPECT_EQ(shell::programFolder, folders.userFolder);
    EXPECT_EQ(platform::suppliedFolder(), folders.suppliedFolder);
    EXPECT_EQ(modeOf(folders.userFolder), 0700);
    EXPECT_EQ(modeOf(root + "home/.local"), 0700) << "missing base folders are made as XDG has them";
    const std::set<std::string> made = entriesUnder(folders.userFolder);
    EXPECT_EQ(made, (std::set<std::string>{"citydata", "savedsearch", "savedpages", "smtp", "sent", "seen", "watch"}));
    for (const std::string& name : made)
        EXPECT_EQ(modeOf(folders.userFolder + name), 0700) << name;
    EXPECT_EQ(shell::suppliedFile("CategoryTree.dat"), folders.suppliedFolder + "CategoryTree.dat");

    ASSERT_TRUE(shell::useProgramFolders(folders)) << "a second start finds them there";
}

TEST_F(ProgramFolders, PortableMakesNothingAndReadsBesideTheProgram)
{
    platform::suppliedFolder() = "/left/over/";
    platform::ProgramFolders folders;
    folders.portable = true;
    folders.userFolder = folders.suppliedFolder = folders.libraryFolder = bin;
    ASSERT_TRUE(shell::useProgramFolders(folders));
    EXPECT_EQ(shell::programFolder, bin);
    EXPECT_TRUE(platform::suppliedFolder().empty());
    EXPECT_TRUE(entriesUnder(bin).empty());
}

TEST_F(ProgramFolders, NoUsableUserFolderRefusesTheStart)
{
    shell::programFolder = "/before/";
    platform::ProgramFolders folders;
    EXPECT_FALSE(shell::useProgramFolders(folders)) << "no home folder";
    writeFile(root + "file", "not a folder");
    folders.userFolder = root + "file/quillobrand/";
    EXPECT_FALSE(shell::useProgramFolders(folders)) << "a file in the way";
    EXPECT_EQ(shell::programFolder, "/before/");
}

} // namespace

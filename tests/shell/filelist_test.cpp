#include "shell/filelist.h"

#include "testfolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

class FileList : public ::testing::Test {
protected:
    void SetUp() override { folder = makeTestFolder("qb-filelist"); }
    void TearDown() override { fs::remove_all(folder); }
    void touch(const std::string& name) { std::ofstream(folder / name) << "x"; }
    std::vector<std::string> list(const std::string& extension)
    {
        return shell::listDataFiles(folder.string() + "/", extension);
    }
    fs::path folder;
};

TEST_F(FileList, NamesWithEveryExtensionRemovedInByteOrder)
{
    touch("old.html.html");
    touch("b.html");
    touch("Zebra.html");
    touch("a.html.notes.html");
    touch("notes.txt");
    touch(".html");
    touch("Upper.HTML");
    fs::create_directory(folder / "x.html");
    EXPECT_EQ(list(".html"), (std::vector<std::string>{"", "Zebra", "a.notes", "b", "old"}));
}

TEST_F(FileList, EmptyOrMissingFolderGivesNothing)
{
    EXPECT_TRUE(list(".city").empty());
    EXPECT_TRUE(shell::listDataFiles((folder / "missing/").string(), ".city").empty());
}

TEST_F(FileList, NamesWithBlanksAndSymlinksToFiles)
{
    touch("all cities.city");
    touch("Major Cities.city");
    fs::create_symlink(folder / "all cities.city", folder / "linked.city");
    fs::create_directory(folder / "real");
    fs::create_directory_symlink(folder / "real", folder / "folderlink.city");
    EXPECT_EQ(list(".city"), (std::vector<std::string>{"Major Cities", "all cities", "linked"}));
}

// The user's lists and the install's: one item per name, in byte order, whichever folder holds it.
TEST(MergedFileList, OneItemPerNameFromEveryFolder)
{
    const fs::path user = makeTestFolder("qb-user");
    const fs::path supplied = makeTestFolder("qb-supplied");
    for (const char* name : {"Major Cities.city", "East.city", "notes.txt"})
        std::ofstream(user / name) << "x";
    for (const char* name : {"Major Cities.city", "all cities.city", "West.city"})
        std::ofstream(supplied / name) << "x";
    EXPECT_EQ(shell::listDataFiles({user.string(), supplied.string(), (supplied / "missing/").string()}, ".city"),
              (std::vector<std::string>{"East", "Major Cities", "West", "all cities"}));
    fs::remove_all(user);
    fs::remove_all(supplied);
}

} // namespace

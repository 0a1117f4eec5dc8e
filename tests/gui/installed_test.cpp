// The program installed under a prefix: its supplied files read from the install's data folder, the user's files
// kept in the XDG data folder, the user's copy of a supplied area list shown in place of the supplied one.

#include "shellfixture.h"

#include "environmentvalue.h"
#include "platform/programfolder.h"
#include "search/arealist.h"
#include "search/builder.h"
#include "search/categorytree.h"
#include "shell/mainwindow.h"
#include "shell/programstate.h"
#include "shell/toolbar.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QIcon>
#include <QImage>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::vector<std::string> itemsOf(QComboBox* chooser)
{
    std::vector<std::string> items;
    for (int i = 0; i < chooser->count(); ++i)
        items.push_back(chooser->itemText(i).toStdString());
    return items;
}

// Every path under the folder with its size and change time: anything written there shows.
std::map<std::string, std::pair<std::uintmax_t, fs::file_time_type>> snapshot(const std::string& folder)
{
    std::map<std::string, std::pair<std::uintmax_t, fs::file_time_type>> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const std::uintmax_t size = entry.is_regular_file() ? entry.file_size() : 0;
        files[entry.path().string()] = {size, fs::last_write_time(entry.path())};
    }
    return files;
}

class Installed : public ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        prefix = folder + "prefix";
        const std::string install
            = "\"" QB_CMAKE "\" --install \"" QB_BUILD_DIR "\" --prefix \"" + prefix + "\" >/dev/null";
        ASSERT_EQ(std::system(install.c_str()), 0) << install;
        home = std::make_unique<EnvironmentValue>("HOME", folder + "home");
        dataHome = std::make_unique<EnvironmentValue>("XDG_DATA_HOME", std::nullopt);
        folders = platform::locateProgramFolders(prefix + "/bin/");
        ASSERT_FALSE(folders.portable);
        ASSERT_TRUE(shell::useProgramFolders(folders));
        userFolder = folder + "home/.local/share/quillobrand/";
        ASSERT_EQ(shell::programFolder, userFolder);
        supplied = prefix + "/share/quillobrand/";
        ASSERT_EQ(folders.suppliedFolder, supplied);
    }
    void TearDown() override
    {
        ShellTest::TearDown();
        platform::suppliedFolder().clear();
        dataHome.reset();
        home.reset();
    }
    // Opens the search builder from the main window's button, runs act on it and closes it.
    void withBuilder(std::function<void(QWidget*)> act)
    {
        EXPECT_TRUE(withModalWindow("searchBuilder", [] { shell::toolbar.searchBuilder->click(); }, act));
    }

    std::string prefix;
    std::string supplied;
    std::string userFolder;
    platform::ProgramFolders folders;
    std::unique_ptr<EnvironmentValue> home;
    std::unique_ptr<EnvironmentValue> dataHome;
};

// The codes of a city list's lines, which show each city's name beside its code.
std::vector<std::string> codesOf(const QListWidget* list)
{
    std::vector<std::string> codes;
    for (int row = 0; row < list->count(); ++row)
        codes.push_back(search::cityCodeOf(list->item(row)));
    return codes;
}

// The names of the area lists in the folder and of extra ones, in the order of their file names.
std::vector<std::string> listNames(const std::string& folder, std::vector<std::string> files)
{
    for (const auto& entry : fs::directory_iterator(folder))
        files.push_back(entry.path().filename().string());
    std::sort(files.begin(), files.end());
    files.erase(std::unique(files.begin(), files.end()), files.end());
    for (std::string& file : files)
        file.erase(file.size() - 5);
    return files;
}

TEST_F(Installed, FindsTheSuppliedFilesAndListsTheUsersAreasBesideThem)
{
    writeFile(userFolder + "citydata/East.city", "boston\r\n");
    startShell();
    EXPECT_FALSE(shell::toolbar.back->icon().isNull()) << "the toolbar pictures come from the data folder";
    ASSERT_FALSE(shell::trayPicture().isNull());
    EXPECT_EQ(
        QApplication::windowIcon().pixmap(shell::trayPicture().size()).toImage().convertToFormat(QImage::Format_RGB32),
        shell::trayPicture().toImage().convertToFormat(QImage::Format_RGB32))
        << "the window shows the tray's picture";
    EXPECT_EQ(::access(shell::suppliedFile("Help/Help").c_str(), X_OK), 0) << shell::suppliedFile("Help/Help");
    EXPECT_EQ(shell::suppliedFile("Help/Help"), supplied + "Help/Help");
    EXPECT_TRUE(fs::exists(folders.libraryFolder + "cryptlib32.so"));

    const auto categories = search::readCategoryFile(supplied + "CategoryTree.dat");
    const auto mainLines
        = std::count_if(categories.begin(), categories.end(), [](const auto& c) { return c.depth == 0; });
    ASSERT_GT(mainLines, 0);
    const auto allCities = search::readAreaList(supplied + "citydata/all cities.city");
    ASSERT_TRUE(allCities && !allCities->empty());
    withBuilder([&](QWidget* w) {
        EXPECT_EQ(child<QTreeWidget>(w, "categoryTree")->topLevelItemCount(), mainLines);
        EXPECT_EQ(codesOf(child<QListWidget>(w, "cityList")), *allCities);
        // The user's list among the supplied ones, in the order of their file names.
        const std::vector<std::string> lists = listNames(supplied + "citydata", {"East.city"});
        for (const char* name : {"areaChooser", "sourceAreaChooser", "targetAreaChooser"})
            EXPECT_EQ(itemsOf(child<QComboBox>(w, name)), lists) << name;
        EXPECT_EQ(child<QComboBox>(w, "areaChooser")->currentText(), "Major Cities");
    });
}

TEST_F(Installed, AnEditedMajorCitiesIsTheUsersAndIsShownInPlaceOfTheSuppliedOne)
{
    const std::string suppliedList = supplied + search::areaListFile("Major Cities");
    const auto suppliedCities = search::readAreaList(suppliedList);
    ASSERT_TRUE(suppliedCities && suppliedCities->size() > 1);
    const auto prefixBefore = snapshot(prefix);
    startShell();

    auto chooseMajorCities = [](QWidget* w) {
        child<QTabWidget>(w, "builderTabs")->setCurrentIndex(1);
        auto* target = child<QComboBox>(w, "targetAreaChooser");
        target->setCurrentText("Major Cities");
        emit target->activated(target->currentIndex());
    };
    std::vector<std::string> edited(suppliedCities->begin() + 1, suppliedCities->end());
    edited.push_back("mytown");
    withBuilder([&](QWidget* w) {
        chooseMajorCities(w);
        auto* editor = child<QListWidget>(w, "areaListEditor");
        ASSERT_EQ(codesOf(editor), *suppliedCities);
        delete editor->takeItem(0);
        editor->addItem("mytown");
        child<QAbstractButton>(w, "areaSaveButton")->click();
    });
    EXPECT_EQ(search::readAreaList(userFolder + search::areaListFile("Major Cities")), edited);
    EXPECT_EQ(search::readAreaList(suppliedList), suppliedCities) << "the supplied list stays as it was";

    withBuilder([&](QWidget* w) {
        EXPECT_EQ(itemsOf(child<QComboBox>(w, "areaChooser")), listNames(supplied + "citydata", {}))
            << "one item for the two copies";
        chooseMajorCities(w);
        EXPECT_EQ(codesOf(child<QListWidget>(w, "areaListEditor")), edited);
    });
    shell::programConfig.trayMode = 1;
    shell::requestClose();
    EXPECT_TRUE(fs::exists(userFolder + "Quillobrand.cfg")) << "the settings are the user's";
    EXPECT_TRUE(snapshot(prefix) == prefixBefore) << "nothing is written under the install's prefix";
}

} // namespace

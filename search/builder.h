#pragma once
// The search builder window's controls and state, shared by the files that handle its parts: the window and
// the run, the area editor, the saved-search dialogs.

#include "search/categorytree.h"
#include "search/searchdefinition.h"

#include <QDialog>

#include <map>
#include <string>
#include <vector>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace search {

// The window itself: a close request leaves the builder, except during a run, when it is kept for the run to see
// between two cities.
class BuilderDialog : public QDialog {
public:
    using QDialog::QDialog;
    bool running = false;
    bool closeRequestedDuringRun = false;

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;
};

struct Builder {
    BuilderDialog* window = nullptr;
    QPushButton* startSearch = nullptr;
    QLabel* currentSearchCaption = nullptr;
    QLabel* currentSearchLabel = nullptr;
    QTabWidget* tabs = nullptr;

    // Search Editor tab.
    QTreeWidget* categoryTree = nullptr;
    QPushButton* savedSearches = nullptr;
    QLabel* areaCaption = nullptr;
    QComboBox* areaChooser = nullptr;
    QLabel* wordsCaption = nullptr;
    QLineEdit* wordsField = nullptr;
    QRadioButton* titleOnly = nullptr;
    QRadioButton* entirePost = nullptr;
    QCheckBox* hasPicture = nullptr;
    QRadioButton* pay = nullptr;
    QRadioButton* noPay = nullptr;
    QRadioButton* allPay = nullptr;
    QLabel* priceCaption = nullptr;
    QLineEdit* priceFrom = nullptr;
    QLabel* priceToCaption = nullptr;
    QLineEdit* priceTo = nullptr;
    QCheckBox* telecommute = nullptr;
    QCheckBox* contract = nullptr;
    QCheckBox* internship = nullptr;
    QCheckBox* partTime = nullptr;
    QCheckBox* nonProfit = nullptr;
    QLabel* rentCaption = nullptr;
    QLineEdit* rentFrom = nullptr;
    QLabel* rentToCaption = nullptr;
    QLineEdit* rentTo = nullptr;
    QCheckBox* catsOk = nullptr;
    QCheckBox* dogsOk = nullptr;
    QLabel* bedroomsCaption = nullptr;
    QLineEdit* bedrooms = nullptr;
    QLabel* ageCaption = nullptr;
    QLineEdit* ageFrom = nullptr;
    QLabel* ageToCaption = nullptr;
    QLineEdit* ageTo = nullptr;
    QPushButton* searchSave = nullptr;
    QPushButton* searchExit = nullptr;
    QLabel* statusLine = nullptr;
    QProgressBar* progressBar = nullptr;
    QButtonGroup* searchTypeGroup = nullptr;
    QButtonGroup* payGroup = nullptr;

    // Area Editor tab.
    QLabel* cityListCaption = nullptr;
    QLineEdit* cityFilter = nullptr;
    QListWidget* cityList = nullptr;
    QComboBox* sourceChooser = nullptr;
    QLabel* areaListCaption = nullptr;
    QListWidget* areaListEditor = nullptr;
    QComboBox* targetChooser = nullptr;
    QPushButton* newArea = nullptr;
    QPushButton* deleteArea = nullptr;
    QPushButton* copyRight = nullptr;
    QPushButton* copyLeft = nullptr;
    QPushButton* areaSave = nullptr;
    QPushButton* areaExit = nullptr;

    // State while the window is open.
    std::string currentSearchName;
    std::string categoryCode;
    std::string mainCode;
    int currentTreeItem = 0;
    std::vector<CategoryEntry> categoryTable;
    std::vector<QTreeWidgetItem*> treeItems; // tree line per table position
    std::string cityListName; // names last loaded into the two list views
    std::string areaListEditorName;
    std::map<std::string, std::string> areaPlaces; // the site's area names by code; empty: codes alone

    // The 24 option controls, in the order of the window's table.
    std::vector<QWidget*> optionControls() const;
};

// Window parts (builderwindow.cpp).
void hideAllOptions(Builder& b);
void showOptionsFor(Builder& b, const std::string& mainCode);
int selectCurrentCategory(Builder& b);
std::string mainCodeOf(Builder& b, int position);
void chooseCategory(Builder& b, QTreeWidgetItem* clicked);
void clearTreeSelectionMark(Builder& b);
// Turns an option on or off; unlike a click, turning one off leaves its group with none on.
void setOption(QRadioButton* option, QButtonGroup* group, bool on);
// Selects the first entry equal to name, letter case ignored; no such entry keeps the selection, an empty name
// clears it.
void setChooserText(QComboBox* chooser, const std::string& name);
std::string chooserText(const QComboBox* chooser);

// Saved searches (searchdialogs.cpp).
SearchDefinition searchFromControls(const Builder& b);
void saveSearch(Builder& b, const std::string& name);
void loadSearch(Builder& b, const std::string& name);
void saveSearchDialog(Builder& b, const std::string& currentName);
std::string savedSearchesDialog(Builder& b, const std::string& currentName);
void onSearchSaveButton(Builder& b);
void onSavedSearchesButton(Builder& b);

// Area editor (areaeditor.cpp).
void refillAreaChoosers(std::initializer_list<QComboBox*> choosers);
// Each line a city: its code with its place beside it when the site's list names it; the code is the item's data.
void fillCityListFromFile(QListWidget* list, const std::string& path, const std::map<std::string, std::string>& places);
void loadListFromAreaFile(QComboBox* chooser, QListWidget* list, std::string& rememberedName,
                          const std::map<std::string, std::string>& places);
void moveSelectedCities(QListWidget* source, QListWidget* destination);
// The city code of a line (its data, else its text).
std::string cityCodeOf(const QListWidgetItem* item);
// Hides the lines whose code and place both lack the text (any letter case), unselecting them; none for empty text.
void filterCityList(QListWidget* list, const QString& text);
std::string newAreaDialog(QWidget* parent, const std::string& initialName);
void onNewArea(Builder& b);
void onDeleteArea(Builder& b);
void onSaveArea(Builder& b);

} // namespace search

#include "mail/emailwindow.h"

#include "mail/addressbook.h"
#include "mail/cryptlib/cryptlib.h"
#include "mail/mailproviders.h"
#include "mail/mailtext.h"
#include "mail/message.h"
#include "mail/securitylibrary.h"
#include "mail/senderprofile.h"
#include "mail/smtpsession.h"
#include "mail/tlstransport.h"
#include "platform/files.h"
#include "platform/messagebox.h"
#include "platform/settings.h"
#include "platform/textcodec.h"
#include "shell/mainwindow.h"
#include "shell/pagetitle.h"
#include "shell/programstate.h"
#include "shell/widgethelpers.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>

namespace mail {

namespace {

using shell::caption;
using shell::place;

std::string textOf(const QLineEdit* field)
{
    return platform::fromWidgetText(field->text());
}

// While a send waits, no click, key or close request reaches a window: the modal protocol holds while the windows
// go on painting.
class InputHeldOff : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::InputMethod:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::Drop:
            return true;
        case QEvent::Close:
            event->ignore();
            return true;
        default:
            return false;
        }
    }
};

// The transport's wait hook: the time goes by in an event loop that paints and runs timers but leaves the system's
// input events where they are.
void paintWhileWaiting(int milliseconds)
{
    if (milliseconds <= 0) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        return;
    }
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

struct EmailWindow {
    QDialog* window = nullptr;
    QLabel* profileLabel = nullptr;
    QComboBox* profileBox = nullptr;
    QTabWidget* tabs = nullptr;
    // Email Page tab.
    QLineEdit* nameDisplay = nullptr;
    QLineEdit* emailDisplay = nullptr;
    QLineEdit* recipients = nullptr;
    QListWidget* addressList = nullptr;
    QPushButton* copy = nullptr;
    QPushButton* add = nullptr;
    QPushButton* remove = nullptr;
    QLineEdit* subject = nullptr;
    QPlainTextEdit* message = nullptr;
    QPushButton* send = nullptr;
    QPushButton* pageExit = nullptr;
    // Email Setup tab.
    QLineEdit* nameField = nullptr;
    QLineEdit* emailField = nullptr;
    QLineEdit* serverField = nullptr;
    QLineEdit* userField = nullptr;
    QLineEdit* passwordField = nullptr;
    QLineEdit* portField = nullptr;
    QCheckBox* defaultBox = nullptr;
    QPushButton* newProfile = nullptr;
    QPushButton* sendTest = nullptr;
    QLabel* providerHint = nullptr;
    QPushButton* save = nullptr;
    QPushButton* setupExit = nullptr;

    int openingTab = emailPageTab;
    int defaultProfile = 0;
    int loadedPosition = -1; // the entry whose profile the fields were last loaded from
    std::vector<std::string> addressBook;
    std::vector<MailProvider> providers;

    std::string addressBookPath() const { return shell::programFolder + addressBookFile(); }

    void showAddressBook()
    {
        addressList->clear();
        for (const std::string& entry : addressBook)
            addressList->addItem(platform::toWidgetText(entry));
    }
    std::vector<bool> selectedEntries() const
    {
        std::vector<bool> selected;
        for (int row = 0; row < addressList->count(); ++row)
            selected.push_back(addressList->item(row)->isSelected());
        return selected;
    }
    void showSender()
    {
        nameDisplay->setText(nameField->text());
        emailDisplay->setText(emailField->text());
    }
    void loadProfile(const std::string& profileName)
    {
        const auto profile = readProfile(shell::programFolder + profileFile(profileName));
        if (!profile)
            return;
        const std::pair<QLineEdit*, const std::string*> fields[] = {
            {nameField, &profile->senderName}, {emailField, &profile->senderEmail}, {serverField, &profile->smtpServer},
            {userField, &profile->userName},   {passwordField, &profile->password}, {portField, &profile->smtpPort},
        };
        for (const auto& [field, value] : fields)
            field->setText(platform::toWidgetText(*value));
    }
    void fillProfileBox()
    {
        profileBox->clear();
        for (const std::string& name : profileList(shell::programFolder))
            profileBox->addItem(platform::toWidgetText(name));
        profileBox->setCurrentIndex(-1);
    }
    void followTab()
    {
        profileLabel->setText(tabs->currentIndex() == emailSetupTab ? "Profile Name" : "Select Profile");
    }
};

void createWindowControls(EmailWindow& e)
{
    e.profileLabel = caption(e.window, "profileLabel", "", 265, 5, 70);
    e.profileBox = place(new QComboBox(e.window), "profileBox", 230, 25, 145, 20);
    e.profileBox->setEditable(true);
    e.profileBox->setInsertPolicy(QComboBox::NoInsert);
    // The box keeps exactly what is typed: a new profile's name must not be completed into an existing one, nor
    // must Enter or leaving the box pick the entry whose name was typed (that would load it over the typed fields,
    // and Save would then write the other profile). Only a pick from the list, by mouse or keys, chooses one.
    e.profileBox->setCompleter(nullptr);
    QObject::disconnect(e.profileBox->lineEdit(), SIGNAL(editingFinished()), e.profileBox, nullptr);
    QObject::disconnect(e.profileBox->lineEdit(), SIGNAL(returnPressed()), e.profileBox, nullptr);
    e.profileLabel->setBuddy(e.profileBox);
    e.tabs = place(new QTabWidget(e.window), "emailTabs", 10, 50, 365, 315);
}

void createEmailPage(EmailWindow& e, QWidget* page)
{
    caption(page, "nameCaption", "Your Name", 10, 10, 165);
    e.nameDisplay = place(new QLineEdit(page), "nameDisplay", 10, 25, 165, 20);
    caption(page, "emailCaption", "Your Email", 10, 50, 165);
    e.emailDisplay = place(new QLineEdit(page), "emailDisplay", 10, 65, 165, 20);
    for (QLineEdit* display : {e.nameDisplay, e.emailDisplay}) {
        display->setReadOnly(true);
        display->setStyleSheet("background: white");
    }
    caption(page, "recipientCaption", "To Email", 10, 90, 165)
        ->setBuddy(e.recipients = place(new QLineEdit(page), "recipientField", 10, 105, 165, 20));
    e.addressList = place(new QListWidget(page), "addressList", 185, 10, 165, 90);
    e.addressList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    e.addressList->setAccessibleName("Address book");
    e.copy = place(new QPushButton("<< Copy", page), "copyButton", 185, 105, 52, 20);
    e.add = place(new QPushButton("Add", page), "addButton", 242, 105, 52, 20);
    e.remove = place(new QPushButton("Delete", page), "deleteButton", 299, 105, 52, 20);
    caption(page, "subjectCaption", "Subject", 10, 130, 50)
        ->setBuddy(e.subject = place(new QLineEdit(page), "subjectField", 10, 145, 340, 20));
    e.message = place(new QPlainTextEdit(page), "messageField", 10, 170, 340, 80);
    e.message->setAccessibleName("Message");
    e.send = shell::makeDialogButton(page, "sendButton", "Send", 135, 260);
    e.pageExit = shell::makeDialogButton(page, "pageExitButton", "Exit", 180, 260);
}

void createSetupPage(EmailWindow& e, QWidget* page)
{
    const struct {
        QLineEdit** field;
        const char* fieldName;
        const char* captionName;
        const char* text;
        int y;
        int captionWidth;
    } rows[] = {
        {&e.nameField, "nameField", "nameFieldCaption", "Name (Your Name)", 10, 175},
        {&e.emailField, "emailField", "emailFieldCaption", "Email (Your Email)", 35, 170},
        {&e.serverField, "serverField", "serverCaption", "Outbound Server", 60, 170},
        {&e.userField, "userField", "userCaption", "Username", 85, 170},
        {&e.passwordField, "passwordField", "passwordCaption", "Password", 110, 60},
    };
    for (const auto& row : rows) {
        *row.field = place(new QLineEdit(page), row.fieldName, 10, row.y, 165, 20);
        caption(page, row.captionName, row.text, 180, row.y, row.captionWidth)->setBuddy(*row.field);
    }
    e.passwordField->setEchoMode(QLineEdit::Password);
    e.portField = place(new QLineEdit(page), "portField", 125, 135, 50, 20);
    caption(page, "portCaption", "PortNum", 180, 135, 46)->setBuddy(e.portField);
    e.defaultBox = place(new QCheckBox("Make Default Profile", page), "defaultBox", 162, 160, 130, 20);
    e.newProfile = place(new QPushButton("New Profile", page), "newProfileButton", 135, 185, 85, 20);
    e.newProfile->setAutoDefault(false);
    e.sendTest = place(new QPushButton("Send Test", page), "sendTestButton", 225, 185, 85, 20);
    e.sendTest->setAutoDefault(false);
    // The free room between the buttons: what the provider of the address typed wants as its password.
    e.providerHint = place(new QLabel(page), "providerHint", 10, 210, 340, 45);
    e.providerHint->setWordWrap(true);
    e.providerHint->setTextFormat(Qt::PlainText); // the table's words, never markup
    e.providerHint->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    e.save = shell::makeDialogButton(page, "saveButton", "Save", 135, 260);
    e.setupExit = shell::makeDialogButton(page, "setupExitButton", "Exit", 180, 260);
}

void attachToolTips(EmailWindow& e)
{
    const std::pair<QWidget*, const char*> tips[] = {
        {e.profileBox, "Select an email profile to send from"},
        {e.recipients, "Seperate each email address by 1 space"},
        {e.message, "Your message here"},
        {e.send, "Send email"},
        {e.addressList, "Click to select, CTRL + Click for multi select"},
        {e.copy, "Copy selected emails"},
        {e.add, "Add an email address"},
        {e.remove, "Delete selected emails"},
        {e.defaultBox, "Use this Profile for default email"},
        {e.newProfile, "Start a New Profile"},
        {e.sendTest, "Send a test mail to your own address"},
        {e.save, "Save Profile"},
    };
    for (const auto& [control, tip] : tips)
        control->setToolTip(tip);
}

void addEmailsDialog(EmailWindow& e)
{
    // The window is disabled before its dialog exists: disabling a parent disables the windows it owns.
    e.window->setEnabled(false);
    QDialog dialog(e.window, shell::dialogFlags);
    dialog.setObjectName("addEmailsDialog");
    dialog.setWindowTitle("Add Emails");
    auto* hint = caption(&dialog, "hint", "Seperate Each Email Address By 1 Space", 10, 10, 200);
    hint->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    auto* input = place(new QLineEdit(&dialog), "inputField", 10, 30, 200, 20);
    hint->setBuddy(input);
    QPushButton* ok = shell::makeDialogButton(&dialog, "okButton", "Ok", 60, 60);
    QPushButton* exit = shell::makeDialogButton(&dialog, "exitButton", "Exit", 105, 60);
    QObject::connect(ok, &QPushButton::clicked, &dialog, [&] {
        addAddresses(e.addressBook, platform::fromWidgetText(input->text()), e.addressBookPath());
        e.showAddressBook();
        dialog.accept();
    });
    QObject::connect(exit, &QPushButton::clicked, &dialog, &QDialog::reject);
    shell::showFixedCentred(dialog, 220, 90);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.show();
    input->setFocus();
    dialog.exec();
    e.window->setEnabled(true);
}

void onDelete(EmailWindow& e)
{
    const std::vector<bool> selected = e.selectedEntries();
    if (std::find(selected.begin(), selected.end(), true) == selected.end())
        return;
    if (!platform::askYesNo("Delete Emails", "Delete Selected Emails?"))
        return;
    e.addressBook = deleteSelected(e.addressBook, selected, e.addressBookPath());
    e.showAddressBook();
}

void onCopy(EmailWindow& e)
{
    const std::string text
        = copySelected(platform::fromWidgetText(e.recipients->text()), e.addressBook, e.selectedEntries());
    e.recipients->setText(platform::toWidgetText(text));
    e.showAddressBook();
}

void onProfileChosen(EmailWindow& e, int position)
{
    // Picking the entry already chosen is no change: the fields keep what the user typed since.
    if (position < 0 || position == e.loadedPosition)
        return;
    e.loadedPosition = position;
    e.loadProfile(platform::fromWidgetText(e.profileBox->currentText()));
    e.showSender();
    e.defaultBox->setChecked(position == e.defaultProfile);
    e.providerHint->clear();
}

void onDefaultBoxClicked(EmailWindow& e)
{
    e.defaultProfile = 0;
    if (e.defaultBox->isChecked())
        e.defaultProfile = e.profileBox->currentIndex();
}

void onNewProfile(EmailWindow& e)
{
    e.profileBox->setCurrentIndex(-1);
    e.loadedPosition = -1;
    e.profileBox->clearEditText();
    for (QLineEdit* field : {e.nameField, e.emailField, e.serverField, e.userField, e.passwordField, e.portField})
        field->clear();
    e.showSender();
    e.defaultBox->setChecked(false);
    e.providerHint->clear();
}

// Leaving the e-mail field with the server still empty: the provider table fills what is empty and says what the
// password must be.
void onEmailFieldLeft(EmailWindow& e)
{
    if (!e.serverField->text().isEmpty())
        return;
    const std::string address = textOf(e.emailField);
    const MailProvider* provider = providerForAddress(e.providers, address);
    if (!provider) {
        e.providerHint->clear();
        return;
    }
    const SetupFields filled
        = fillFromProvider(*provider, address, {textOf(e.serverField), textOf(e.portField), textOf(e.userField)});
    e.serverField->setText(platform::toWidgetText(filled.smtpServer));
    e.portField->setText(platform::toWidgetText(filled.smtpPort));
    e.userField->setText(platform::toWidgetText(filled.userName));
    e.providerHint->setText(QString::fromStdString(provider->hint));
}

// A short mail from the profile as the fields show it, to its own address, without the page.
void onSendTest(EmailWindow& e)
{
    const std::string address = textOf(e.emailField);
    if (address.empty())
        return;
    const std::string server = textOf(e.serverField);
    const int port = portNumber(textOf(e.portField));
    const std::string body = "This test mail was sent by Quillobrand through " + server + ", port "
        + std::to_string(port) + ", over " + (securityForPort(port) == Security::startTls ? "STARTTLS" : "implicit TLS")
        + ".\r\n";
    // A start and an end of its own: the window's start stays for its Send.
    if (securityLibrary().init() != 0) {
        platform::showMessageBox(shell::programName,
                                 "E-mail is not available: the security library could not be started.",
                                 platform::BoxIcon::Error);
        return;
    }
    const std::string profileName = platform::fromWidgetText(e.profileBox->currentText());
    std::string errorText(255, ' ');
    const int result = sendFromWindow(profileName, address, address, "Quillobrand test mail", body, server, port,
                                      textOf(e.userField), textOf(e.passwordField), errorText);
    securityLibrary().end();
    showSendResult(result, errorText, {profileName, server, address});
}

void onSaveProfile(EmailWindow& e)
{
    const std::string profileName = platform::fromWidgetText(e.profileBox->currentText());
    const SenderProfile profile{textOf(e.nameField), textOf(e.emailField),    textOf(e.serverField),
                                textOf(e.userField), textOf(e.passwordField), textOf(e.portField)};
    if (!platform::isAcceptableFileName(profileName)
        || !writeProfile(shell::programFolder + profileFile(profileName), profile))
        return;
    e.showSender();
    e.fillProfileBox();
    e.loadedPosition = -1;
    e.profileBox->setEditText(platform::toWidgetText(profileName));
    platform::showMessageBox(shell::programName, "Mail Options Saved", platform::BoxIcon::None);
    if (e.openingTab == emailSetupTab) {
        e.window->reject();
        return;
    }
    e.tabs->setCurrentIndex(emailPageTab);
    e.followTab();
}

void onSend(EmailWindow& e)
{
    const std::string allowed = shell::allowedNameChars + " ";
    const std::string footerName = sanitizeName(textOf(e.nameDisplay), allowed);
    const std::string sender = textOf(e.emailDisplay);
    std::string recipients = textOf(e.recipients);
    const size_t first = recipients.find_first_not_of(' ');
    recipients = first == std::string::npos ? std::string() : recipients.substr(first);
    recipients.erase(recipients.find_last_not_of(' ') + 1);
    const std::string subject = textOf(e.subject);
    const std::string body = platform::fromWidgetText(e.message->toPlainText())
        + buildMailFooter(footerName, platform::settings().softwarePageUrl);
    if (recipients.empty())
        return;

    // The page always goes along: a copy that can't be written stops the send, and the window keeps what was typed.
    // An older copy of the same name is kept aside, to come back if this send fails.
    const std::string sentCopy = shell::programFolder + "sent/" + sentCopyFileName(subject);
    const std::string page = shell::mainBrowser ? shell::mainBrowser->documentSource() : std::string();
    const std::optional<std::string> olderCopy
        = platform::regularFileSize(sentCopy) >= 0 ? platform::readWholeFile(sentCopy) : std::nullopt;
    if (!platform::writeFileAtomically(sentCopy, page)) {
        platform::showMessageBox(shell::programName,
                                 std::string("The page could not be saved for sending: ") + std::strerror(errno),
                                 platform::BoxIcon::Error);
        return;
    }
    addAddresses(e.addressBook, recipients, e.addressBookPath());
    e.showAddressBook();
    for (char& c : recipients)
        if (c == ' ')
            c = ',';
    shell::attachmentList.push_back(sentCopy);
    const std::string profileName = platform::fromWidgetText(e.profileBox->currentText());
    const std::string server = textOf(e.serverField);
    std::string errorText(255, ' ');
    const int result
        = sendFromWindow(profileName, sender, recipients, subject, body, server, portNumber(textOf(e.portField)),
                         textOf(e.userField), textOf(e.passwordField), errorText);
    shell::attachmentList.clear();
    // Nothing went out, so no copy says it did. A mail the server may have taken without saying so keeps its copy.
    if (result != 0 && result != messageNotConfirmed) {
        std::error_code ignored;
        if (olderCopy)
            platform::writeFileAtomically(sentCopy, *olderCopy);
        else
            std::filesystem::remove(sentCopy, ignored);
    }
    showSendResult(result, errorText, {profileName, server, sender});
    if (result == 0)
        securityLibrary().end();
    // A failed send leaves the window open with everything the user typed, to try again.
    else if (restartSecurityLibrary())
        return;
    e.window->accept();
}

void connectEvents(EmailWindow& e)
{
    QObject::connect(e.tabs, &QTabWidget::currentChanged, e.window, [&e] { e.followTab(); });
    QObject::connect(e.profileBox, &QComboBox::activated, e.window,
                     [&e](int position) { onProfileChosen(e, position); });
    QObject::connect(e.defaultBox, &QCheckBox::clicked, e.window, [&e] { onDefaultBoxClicked(e); });
    QObject::connect(e.newProfile, &QPushButton::clicked, e.window, [&e] { onNewProfile(e); });
    QObject::connect(e.sendTest, &QPushButton::clicked, e.window, [&e] { onSendTest(e); });
    QObject::connect(e.emailField, &QLineEdit::editingFinished, e.window, [&e] { onEmailFieldLeft(e); });
    QObject::connect(e.save, &QPushButton::clicked, e.window, [&e] { onSaveProfile(e); });
    QObject::connect(e.add, &QPushButton::clicked, e.window, [&e] { addEmailsDialog(e); });
    QObject::connect(e.remove, &QPushButton::clicked, e.window, [&e] { onDelete(e); });
    QObject::connect(e.copy, &QPushButton::clicked, e.window, [&e] { onCopy(e); });
    QObject::connect(e.send, &QPushButton::clicked, e.window, [&e] { onSend(e); });
    for (QPushButton* exit : {e.pageExit, e.setupExit})
        QObject::connect(exit, &QPushButton::clicked, e.window, &QDialog::reject);
}

} // namespace

QString proposedSubject(const std::string& pageSource)
{
    const std::string title = shell::pageTitleFromSource(pageSource);
    return platform::decodeFromCharset(title, platform::documentCharset(pageSource)).simplified();
}

int sendFromWindow(const std::string& profileName, const std::string& senderEmail, const std::string& recipients,
                   const std::string& subject, const std::string& bodyText, const std::string& smtpServer, int smtpPort,
                   const std::string& userName, const std::string& password, std::string& errorText)
{
    InputHeldOff heldOff;
    qApp->installEventFilter(&heldOff);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    setWaitHook(paintWhileWaiting);
    int result;
    {
        const PinnedFingerprint pin(readPin(shell::programFolder + pinFile(profileName), smtpServer));
        result
            = sendMail(senderEmail, recipients, subject, bodyText, smtpServer, smtpPort, userName, password, errorText);
    }
    setWaitHook(nullptr);
    // Clicks and keys the system held back meanwhile are let through now into the filter, so that none lands on
    // the result's box.
    QCoreApplication::processEvents();
    QApplication::restoreOverrideCursor();
    qApp->removeEventFilter(&heldOff);
    return result;
}

namespace {

// Shows the refused certificate and pins it for the profile on Yes.
void offerToTrust(const ServerCertificate& certificate, const SentWith& sent)
{
    const std::string question = "Trust this certificate for the profile \"" + sent.profileName + "\"?\n\n"
        + "Server: " + sent.smtpServer + "\n" + "Subject: " + certificate.subject + "\n"
        + "Issuer: " + certificate.issuer + "\n" + "Valid from " + certificate.validFrom + " to " + certificate.validTo
        + "\n" + "SHA-256 fingerprint: " + fingerprintText(certificate.fingerprint) + "\n\n"
        + "Trust it only for a server you know, such as a mail bridge on this computer. The profile then accepts "
          "this certificate, and no other, whoever issued it.";
    if (!platform::askYesNo(shell::programName, question))
        return;
    if (!writePin(shell::programFolder + pinFile(sent.profileName), sent.smtpServer, certificate.fingerprint))
        platform::showMessageBox(shell::programName,
                                 std::string("The certificate could not be kept for the profile: ")
                                     + std::strerror(errno),
                                 platform::BoxIcon::Error);
}

} // namespace

void showSendResult(int result, const std::string& errorText, const SentWith& sent)
{
    if (result == 0) {
        platform::showMessageBox(shell::programName, "Mail Sent OK", platform::BoxIcon::None);
        return;
    }
    std::string text = sendErrorText(result, errorText);
    if (isLogInRefusal(result, errorText))
        text += "\n"
            + logInAdvice(readMailProviders(shell::suppliedFile(mailProvidersFile)), sent.senderEmail,
                          sent.smtpServer);
    // Only a certificate that pinning would let through, and only for a profile whose pin can be kept.
    const std::optional<ServerCertificate>& refused = refusedCertificate();
    if (result != CRYPT_ERROR_INVALID || !refused || !refused->pinnable
        || !platform::isAcceptableFileName(sent.profileName)) {
        platform::showMessageBox(shell::programName, text, platform::BoxIcon::Error);
        return;
    }
    const ServerCertificate certificate = *refused;
    if (platform::showMessageBoxWithButton(shell::programName, text, platform::BoxIcon::Error,
                                           "Trust This Certificate\u2026"))
        offerToTrust(certificate, sent);
}

bool restartSecurityLibrary()
{
    SecurityLibrary& library = securityLibrary();
    library.end();
    return library.init() == 0;
}

bool startSecurityLibrary()
{
    // Without a usable security library no mail can go out; saying so beats ending the program unsaved.
    SecurityLibrary& library = securityLibrary();
    if (!library.complete()) {
        platform::showMessageBox(shell::programName,
                                 "E-mail is not available: the security library could not be loaded.",
                                 platform::BoxIcon::Error);
        return false;
    }
    if (library.init() != 0) {
        platform::showMessageBox(shell::programName,
                                 "E-mail is not available: the security library could not be started.",
                                 platform::BoxIcon::Error);
        return false;
    }
    return true;
}

int emailWindow(int openingTab, int defaultProfile, int expertMode)
{
    if (!startSecurityLibrary())
        return defaultProfile;

    QDialog window(shell::mainWindow, shell::dialogFlags);
    window.setObjectName("emailWindow");
    window.setWindowTitle("Quillobrand - Email To Friend");
    EmailWindow e;
    e.window = &window;
    e.openingTab = openingTab;
    e.defaultProfile = defaultProfile;
    createWindowControls(e);
    auto* page = new QWidget;
    page->setObjectName("emailPage");
    auto* setup = new QWidget;
    setup->setObjectName("emailSetupPage");
    e.tabs->addTab(page, "Email Page");
    e.tabs->addTab(setup, "Email Setup");
    createEmailPage(e, page);
    createSetupPage(e, setup);

    e.providers = readMailProviders(shell::suppliedFile(mailProvidersFile));
    e.addressBook = readAddressBook(e.addressBookPath());
    e.showAddressBook();
    e.fillProfileBox();
    if (defaultProfile >= 0 && defaultProfile < e.profileBox->count())
        e.profileBox->setCurrentIndex(defaultProfile);
    e.loadedPosition = e.profileBox->currentIndex();
    e.defaultBox->setChecked(true);
    e.loadProfile(
        platform::fromWidgetText(e.profileBox->currentIndex() >= 0 ? e.profileBox->currentText() : QString()));
    e.tabs->setCurrentIndex(openingTab == emailSetupTab ? emailSetupTab : emailPageTab);
    e.followTab();
    e.showSender();
    e.subject->setText(proposedSubject(shell::mainBrowser ? shell::mainBrowser->documentSource() : std::string()));
    if (expertMode == 0)
        attachToolTips(e);
    connectEvents(e);

    shell::showFixedCentred(window, 385, 375);
    // The user types first where the tab in front asks for it: the recipients, or a profile's name.
    if (openingTab == emailSetupTab)
        e.profileBox->setFocus();
    else
        e.recipients->setFocus();
    window.exec();
    return e.defaultProfile;
}

} // namespace mail

#include "mail/replywindow.h"

#include "mail/emailwindow.h"

#include "mail/mailtext.h"
#include "mail/message.h"
#include "mail/securitylibrary.h"
#include "mail/senderprofile.h"
#include "mail/smtpsession.h"
#include "platform/messagebox.h"
#include "platform/settings.h"
#include "platform/textcodec.h"
#include "shell/mainwindow.h"
#include "shell/pagetitle.h"
#include "shell/programstate.h"
#include "shell/widgethelpers.h"

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <optional>
#include <string>
#include <vector>

namespace mail {

namespace {

QLabel* makeCaption(QDialog* dialog, const char* objectName, const char* text, int x, int y, int width)
{
    auto* caption = new QLabel(text, dialog);
    caption->setObjectName(objectName);
    caption->setGeometry(x, y, width, 20);
    return caption;
}

QLineEdit* makeDisplay(QDialog* dialog, const char* objectName, const std::string& text, int y)
{
    auto* display = new QLineEdit(platform::toWidgetText(text), dialog);
    display->setObjectName(objectName);
    display->setGeometry(40, y, 200, 20);
    display->setReadOnly(true);
    display->setStyleSheet("background: white");
    return display;
}

} // namespace

int replyToAdWindow(int defaultProfile, int expertMode)
{
    std::string errorText(255, ' ');
    if (!startSecurityLibrary())
        return defaultProfile;
    const std::string source = shell::mainBrowser ? shell::mainBrowser->documentSource() : std::string();
    const std::string replyAddress = findReplyAddress(source);
    if (replyAddress.empty()) {
        platform::showMessageBox(shell::programName, noReplyAddressText, platform::BoxIcon::Information);
        return defaultProfile;
    }

    // Empty, port 0, until a profile file has been read: a send then fails at the server and says so.
    SenderProfile sender;
    std::string senderProfile; // the name of the profile the values came from, whose pin they go with
    int smtpPort = 0;

    QDialog dialog(shell::mainWindow, shell::dialogFlags);
    dialog.setObjectName("replyWindow");
    dialog.setWindowTitle("Quillobrand - Reply To Ad");
    makeCaption(&dialog, "fromCaption", "From:", 10, 10, 30);
    QLineEdit* fromDisplay = makeDisplay(&dialog, "fromDisplay", "", 10);
    makeCaption(&dialog, "toCaption", "To:", 10, 35, 30);
    makeDisplay(&dialog, "toDisplay", replyAddress, 35);
    QLabel* subjectCaption = makeCaption(&dialog, "subjectCaption", "Subject:", 10, 60, 50);
    auto* subjectField = new QLineEdit(proposedSubject(source), &dialog);
    subjectField->setObjectName("subjectField");
    subjectField->setGeometry(10, 75, 385, 20);
    subjectCaption->setBuddy(subjectField);
    QLabel* profileLabel = makeCaption(&dialog, "profileLabel", "Select Profile", 285, 5, 70);
    auto* profileBox = new QComboBox(&dialog);
    profileBox->setObjectName("profileBox");
    profileBox->setGeometry(250, 25, 145, 20);
    profileBox->setEditable(false);
    profileLabel->setBuddy(profileBox);
    auto* messageField = new QPlainTextEdit(&dialog);
    messageField->setObjectName("messageField");
    messageField->setGeometry(10, 100, 385, 105);
    QPushButton* send = shell::makeDialogButton(&dialog, "sendButton", "Send", 160, 220);
    QPushButton* exit = shell::makeDialogButton(&dialog, "exitButton", "Exit", 205, 220);

    // A file that can't be read leaves the values of the last one that could.
    auto readSender = [&](const std::string& profileName) {
        const std::optional<SenderProfile> read = readProfile(shell::programFolder + profileFile(profileName));
        if (!read)
            return;
        sender = *read;
        senderProfile = profileName;
        smtpPort = portNumber(sender.smtpPort);
        fromDisplay->setText(platform::toWidgetText(sender.senderEmail));
    };

    const std::vector<std::string> profiles = profileList(shell::programFolder);
    for (const std::string& name : profiles)
        profileBox->addItem(platform::toWidgetText(name));
    const bool defaultListed = defaultProfile >= 0 && size_t(defaultProfile) < profiles.size();
    profileBox->setCurrentIndex(defaultListed ? defaultProfile : -1);
    // As in the e-mail window: a default beyond the list names no profile, which is the file ".smtp".
    readSender(defaultListed ? profiles[size_t(defaultProfile)] : std::string());
    // Connected only now: filling the box moves its selection by itself.
    QObject::connect(profileBox, &QComboBox::currentIndexChanged, &dialog,
                     [&] { readSender(platform::fromWidgetText(profileBox->currentText())); });

    QObject::connect(send, &QPushButton::clicked, &dialog, [&] {
        if (!platform::askYesNo("Quillobrand Confirm Send", "Send this email?"))
            return;
        const std::string subject = platform::fromWidgetText(subjectField->text());
        // The name as the profile holds it: the sender typed it, so it needs no filtering here.
        const std::string body = platform::fromWidgetText(messageField->toPlainText())
            + buildMailFooter(sender.senderName, platform::settings().softwarePageUrl);
        const int result = sendFromWindow(senderProfile, sender.senderEmail, replyAddress, subject, body,
                                          sender.smtpServer, smtpPort, sender.userName, sender.password, errorText);
        showSendResult(result, errorText, {senderProfile, sender.smtpServer, sender.senderEmail});
        if (result == 0)
            securityLibrary().end();
        // A failed send leaves the window open with the message typed, to try again.
        else if (restartSecurityLibrary())
            return;
        dialog.accept();
    });
    QObject::connect(exit, &QPushButton::clicked, &dialog, &QDialog::reject);

    if (expertMode == 0) {
        profileBox->setToolTip("Select an email profile to send from");
        messageField->setToolTip("Your message here");
        send->setToolTip("Send reply email");
    }
    shell::showFixedCentred(dialog, 405, 250);
    messageField->setFocus(); // the message is what the user writes here
    dialog.exec();
    return defaultProfile;
}

} // namespace mail

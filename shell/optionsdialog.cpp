#include "shell/optionsdialog.h"

#include "shell/mainwindow.h"
#include "shell/programstate.h"
#include "shell/toolbar.h"
#include "shell/widgethelpers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

namespace shell {

static QFrame* makeRaisedPanel(QWidget* parent, const char* objectName, int x, int y)
{
    auto* frame = new QFrame(parent);
    frame->setObjectName(objectName);
    frame->setFrameStyle(QFrame::Panel | QFrame::Raised);
    frame->setGeometry(x, y, 365, 65);
    return frame;
}

void runOptionsDialog()
{
    QDialog dialog(mainWindow, dialogFlags);
    dialog.setObjectName("optionsDialog");
    dialog.setWindowTitle("Quillobrand Options");

    QFrame* trayFrame = makeRaisedPanel(&dialog, "trayFrame", 10, 10);
    auto* trayQuestion = new QLabel("Send Quillobrand to system tray on program exit?", trayFrame);
    trayQuestion->setObjectName("trayQuestion");
    trayQuestion->setGeometry(10, 10, 345, 20);
    auto* trayChoice = new QComboBox(trayFrame);
    trayChoice->setObjectName("trayChoice");
    trayChoice->setGeometry(30, 30, 75, 20);
    trayChoice->addItems({"Always", "Never", "Ask"});
    const int trayMode = programConfig.trayMode;
    trayChoice->setCurrentIndex(trayMode >= 0 && trayMode <= 2 ? trayMode : -1);
    trayQuestion->setBuddy(trayChoice);

    QFrame* expertFrame = makeRaisedPanel(&dialog, "expertFrame", 10, 80);
    auto* expertNote = new QLabel("Check Expert Mode to turn off tool tips.", expertFrame);
    expertNote->setObjectName("expertNote");
    expertNote->setGeometry(10, 10, 345, 20);
    auto* expertBox = new QCheckBox("Expert Mode", expertFrame);
    expertBox->setObjectName("expertBox");
    expertBox->setGeometry(30, 30, 100, 20);
    expertBox->setChecked(programConfig.expertMode != 0);

    auto* save = new QPushButton("Save", &dialog);
    save->setObjectName("saveButton");
    save->setGeometry(150, 345, 40, 20);
    auto* exit = new QPushButton("Exit", &dialog);
    exit->setObjectName("exitButton");
    exit->setGeometry(195, 345, 40, 20);

    QObject::connect(save, &QPushButton::clicked, &dialog, [&] {
        programConfig.trayMode = trayChoice->currentIndex();
        programConfig.expertMode = expertBox->isChecked() ? 1 : 0;
        applyToolTips(programConfig.expertMode);
        dialog.accept();
    });
    QObject::connect(exit, &QPushButton::clicked, &dialog, &QDialog::reject);

    showFixedCentred(dialog, 385, 375);
    dialog.exec();
}

} // namespace shell

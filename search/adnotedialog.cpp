#include "search/adnotedialog.h"

#include "search/adstore.h"

#include "shell/widgethelpers.h"

#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>

#include <algorithm>

namespace search {

bool runAdNoteDialog(QWidget* parent, const std::string& adTitle, std::string& note)
{
    QDialog dialog(parent, shell::dialogFlags);
    dialog.setObjectName("adNoteDialog");
    dialog.setWindowTitle("Ad Note");
    auto* title = shell::place(new QLabel(&dialog), "adTitleLabel", 10, 10, 340, 20);
    // The title is the site's text: shown as text, never as rich text.
    title->setTextFormat(Qt::PlainText);
    title->setText(title->fontMetrics().elidedText(QString::fromStdString(adTitle), Qt::ElideRight, 340));
    title->setToolTip(QString::fromStdString(adTitle));
    auto* field = shell::place(new QPlainTextEdit(&dialog), "noteField", 10, 35, 340, 120);
    field->setAccessibleName("Note");
    field->setTabChangesFocus(true);
    field->setPlainText(QString::fromStdString(note));
    // Kept to the store's limit as the user types or pastes: a longer note would be cut silently on saving.
    QObject::connect(field, &QPlainTextEdit::textChanged, &dialog, [field] {
        const QString text = field->toPlainText();
        if (static_cast<size_t>(text.toUcs4().size()) <= maximumNoteCharacters)
            return;
        QString kept;
        size_t characters = 0;
        for (int at = 0; at < text.size() && characters < maximumNoteCharacters; ++at, ++characters) {
            kept += text[at];
            if (text[at].isHighSurrogate() && at + 1 < text.size())
                kept += text[++at];
        }
        QTextCursor cursor = field->textCursor();
        const int position = std::min(cursor.position(), static_cast<int>(kept.size()));
        const QSignalBlocker blocker(field);
        field->setPlainText(kept);
        cursor = field->textCursor();
        cursor.setPosition(position);
        field->setTextCursor(cursor);
    });
    QPushButton* save = shell::makeDialogButton(&dialog, "saveButton", "Save", 265, 165);
    QPushButton* cancel = shell::makeDialogButton(&dialog, "cancelButton", "Cancel", 310, 165);
    QObject::connect(save, &QPushButton::clicked, &dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
    shell::showFixedCentred(dialog, 360, 195);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.show();
    field->setFocus();
    if (dialog.exec() != QDialog::Accepted)
        return false;
    note = field->toPlainText().toStdString();
    return true;
}

} // namespace search

#pragma once
// The small modal dialog in which the user writes the note of an ad.

#include <string>

class QWidget;

namespace search {

// Shows the note of the ad titled adTitle (plain text) for editing, at most maximumNoteCharacters long. True when
// the user pressed Save (note then holds the new text, possibly empty); false for Cancel or the close box (note is
// left as it was).
bool runAdNoteDialog(QWidget* parent, const std::string& adTitle, std::string& note);

} // namespace search

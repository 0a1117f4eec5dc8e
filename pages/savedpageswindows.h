#pragma once
// The two saved-page windows of the main window's "Save This Page" and "Saved Pages" buttons.

namespace pages {

// Keeps the page shown in the main browser under a name the user chooses (proposed: the page's title).
void savePageDialog();
// Shows a saved page again in the main browser, or deletes saved pages.
void savedPagesDialog();

} // namespace pages

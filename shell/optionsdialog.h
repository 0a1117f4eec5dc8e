#pragma once

namespace shell {

// The "Quillobrand Options" window: what a close request does and Expert Mode. Save changes the settings in
// memory and the tool tips at once; Exit and the close box change nothing.
void runOptionsDialog();

} // namespace shell

#pragma once
// The tool's user dialogs on Qt: messages and questions through the modal seam,
// then as real message boxes; the busy pointer; events; the windows' title.

namespace zelmar::ui {

// Installs them for the layers without widgets (comm, support, the support
// library). Every program and test main with a QApplication calls it once at
// start-up; calling it again changes nothing.
void installUserDialogs();

}  // namespace zelmar::ui

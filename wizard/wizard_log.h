// What the wizard writes to the detailed log ("-LOG="): each page shown,
// each button pressed, and the choices the pages store in variables. Every
// function does nothing while the log is off.
#ifndef WIZARD_WIZARD_LOG_H_
#define WIZARD_WIZARD_LOG_H_

#include <windows.h>

#include "wizard/page_sequence.h"

namespace wizard {

void LogPageShown(Page page);

// A click that the page `page` acts on (the id of WM_COMMAND): the control's
// text and id.
void LogButton(HWND page, int id);

// The choices stored so far, before a phase runs with them: the folders and
// who the installation is for, keeping the settings, the finishing options.
// Variables the script does not define are left out.
void LogStoredChoices();

}  // namespace wizard

#endif  // WIZARD_WIZARD_LOG_H_

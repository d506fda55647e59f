#include "wizard/wizard_log.h"

#include "engine/detail_log.h"
#include "engine/variables.h"

namespace wizard {

namespace {

// By Page.
constexpr const char* kPageNames[kPageCount] = {
    "Welcome",  "Licence",           "Directory",    "Installing",
    "Finished", "Uninstall welcome", "Uninstalling", "Uninstall finished",
};

// The variables the pages store the user's choices in.
constexpr const char* kChoices[] = {
    "#INSTALLPATH#", "#CUSTOMPATH#", "#FORWHO#",  "#CUSTOMLOC#", "#INDIVIDUAL#",
    "#KEEPCFG#",     "#EXECUTE#",    "#README#",  "#DESKTOP#",   "#STARTMENU#",
};

}  // namespace

void LogPageShown(Page page) {
  const int index = static_cast<int>(page);
  if (index >= 0 && index < kPageCount) engine::LogLine("Wizard: page %s", kPageNames[index]);
}

void LogButton(HWND page, int id) {
  if (!engine::DetailLogOn()) return;
  // Enter, Esc and the close box arrive with the ids of the buttons they
  // stand for, also on pages without such a button: their text stays empty.
  char label[128] = "";
  GetDlgItemTextA(page, id, label, sizeof(label));
  engine::LogLine("Wizard: \"%s\" (%d) pressed", label, id);
}

void LogStoredChoices() {
  if (!engine::DetailLogOn()) return;
  for (const char* name : kChoices) {
    if (engine::FindVariable(name) >= 0) {
      engine::LogLine("Wizard: choice %s = %s", name, engine::GetVariableText(name));
    }
  }
}

}  // namespace wizard

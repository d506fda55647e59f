#include "wizard/wizard_log.h"

#include "engine/detail_log.h"
#include "engine/variables.h"

namespace wizard {

namespace {

// By Page.
constexpr const char* kPageNames[kPageCount] = {
    "Welcome",    "Licence agreement",  "Installation directory", "Installing",
    "Finished",   "Uninstall: Welcome", "Uninstalling",           "Uninstall: Finished",
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
  char label[128] = "";
  HWND control = GetDlgItem(page, id);
  if (control != nullptr) GetWindowTextA(control, label, sizeof(label));
  const LONG_PTR type = control != nullptr ? GetWindowLongPtrA(control, GWL_STYLE) & BS_TYPEMASK : 0;
  const bool toggles = type == BS_AUTOCHECKBOX || type == BS_CHECKBOX ||
                       type == BS_AUTORADIOBUTTON || type == BS_RADIOBUTTON;
  // Enter, Esc and the close box arrive with the ids of the buttons they
  // stand for, also on pages without such a button.
  engine::LogLine("Wizard: \"%s\" (%d) pressed%s", control != nullptr ? label : "(keyboard or close box)",
                  id,
                  !toggles ? ""
                  : SendMessageA(control, BM_GETCHECK, 0, 0) == BST_CHECKED ? ", now on"
                                                                            : ", now off");
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

#include "wizard/page_sequence.h"

namespace wizard {

int PageTemplate(Page page) {
  switch (page) {
    case Page::kWelcome: return 104;
    case Page::kLicense: return 105;
    case Page::kDirectory: return 109;
    case Page::kInstalling: return 110;
    case Page::kFinished: return 111;
    case Page::kUninstallWelcome: return 114;
    case Page::kUninstalling: return 115;
    case Page::kUninstallFinished: return 117;
    case Page::kNone: break;
  }
  return 0;
}

Page FirstPage(bool uninstall_mode) {
  return uninstall_mode ? Page::kUninstallWelcome : Page::kWelcome;
}

Page NextPage(Page page, bool ask_path) {
  switch (page) {
    case Page::kWelcome: return Page::kLicense;
    case Page::kLicense: return ask_path ? Page::kDirectory : Page::kInstalling;
    case Page::kDirectory: return Page::kInstalling;
    case Page::kInstalling: return Page::kFinished;
    case Page::kUninstallWelcome: return Page::kUninstalling;
    case Page::kUninstalling: return Page::kUninstallFinished;
    case Page::kFinished:
    case Page::kUninstallFinished:
    case Page::kNone: break;
  }
  return Page::kNone;
}

Page PreviousPage(Page page) {
  switch (page) {
    case Page::kLicense: return Page::kWelcome;
    case Page::kDirectory: return Page::kLicense;
    default: break;
  }
  return Page::kNone;
}

}  // namespace wizard

// The licence agreement page (105): the text of the TEXT resource 120, or of
// the file or payload that "#EULA#" names.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "archive/payload.h"
#include "engine/messages.h"
#include "engine/result_codes.h"
#include "engine/variables.h"
#include "wizard/control_ids.h"
#include "wizard/page_common.h"
#include "wizard/page_texts.h"
#include "wizard/pages.h"
#include "wizard/wizard_state.h"

namespace wizard {

namespace {

constexpr int kLicenseResourceId = 120;
constexpr char kLicenseResourceType[] = "TEXT";

LinkRecord g_link;

// Owns a block from the payload code.
class PayloadBlock {
 public:
  explicit PayloadBlock(void* block) : block_(static_cast<char*>(block)) {}
  ~PayloadBlock() {
    if (block_ != nullptr) archive::FreePayloadBlock(block_);
  }
  PayloadBlock(const PayloadBlock&) = delete;
  PayloadBlock& operator=(const PayloadBlock&) = delete;
  char* get() const { return block_; }

 private:
  char* block_;
};

// The licence text as a NUL-terminated block, or null.
void* LoadLicenseText() {
  char name[engine::kVariableValueSize];
  engine::FindVariable("#EULA#", name, sizeof(name));
  if (name[0] != '\0') return archive::LoadFileOrPayload(name, nullptr, 1);

  HMODULE module = Wizard().instance;
  HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(kLicenseResourceId), kLicenseResourceType);
  if (resource == nullptr) return nullptr;
  const DWORD size = SizeofResource(module, resource);
  const void* bytes = LockResource(LoadResource(module, resource));
  if (size == 0 || bytes == nullptr) return nullptr;
  // Allocated as the payload code allocates, so that one release fits both.
  char* block = static_cast<char*>(std::malloc(size + 1));
  if (block == nullptr) return nullptr;
  std::memcpy(block, bytes, size);
  block[size] = '\0';
  return block;
}

// Shows the text with CR LF line ends, as the edit control needs them.
bool ShowLicenseText(HWND page, const char* text) {
  const size_t length = CrLfLength(text);
  char* shown = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, length + 1));
  if (shown == nullptr) return false;
  CopyWithCrLf(text, shown);
  SetDlgItemTextA(page, kLicenseText, shown);
  HeapFree(GetProcessHeap(), 0, shown);
  return true;
}

void Init(HWND page) {
  bool shown = false;
  if (engine::FindVariable("#EULA#") >= 0) {
    PayloadBlock text(LoadLicenseText());
    shown = text.get() != nullptr && ShowLicenseText(page, text.get());
  }
  if (!shown) {
    engine::ShowResultMessage(page, engine::kResultStartupFailed);
    EndWizardFailed(engine::kResultStartupFailed);
    return;
  }
  SetFocus(page);
}

}  // namespace

INT_PTR CALLBACK LicensePageProc(HWND page, UINT message, WPARAM wparam, LPARAM lparam) {
  INT_PTR result = FALSE;
  if (HandleSharedPageMessage(page, message, wparam, lparam, &result)) return result;
  switch (message) {
    case WM_INITDIALOG:
      InitPage(page, &g_link);
      Init(page);
      return FALSE;  // the focus is set
    case WM_COMMAND:
      if (!IsLiveCommand(page, wparam)) return TRUE;
      switch (LOWORD(wparam)) {
        case kButtonNext:
          SwitchToPage(page, NextPage(Page::kLicense, engine::FindVariable("#ASKPATH#") >= 0));
          break;
        case kButtonCancel:
          if (ConfirmCancel(page)) EndWizardCancelled();
          break;
        case kButtonBack:
          SwitchToPage(page, PreviousPage(Page::kLicense));
          break;
        default:
          break;
      }
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace wizard

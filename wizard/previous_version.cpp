#include "wizard/previous_version.h"

#include <cstring>

#include "engine/fixed_string.h"
#include "engine/run_state.h"
#include "engine/variables.h"
#include "platform/desktop_user.h"
#include "platform/registry_view.h"
#include "platform/setup_info_record.h"
#include "platform/system_queries.h"
#include "platform/win32_handles.h"

namespace wizard {

namespace {

using engine::kPathSize;

constexpr DWORD kPollMilliseconds = 200;

// "#UPGMSG1#" holds "<version> <note>" until the first check reads it and
// leaves only the note; the version read then serves every later check.
bool g_note_read = false;
VersionPair g_note_version = {0, 0};

bool RegisteredUninstaller(const char* name) {
  char key_name[kPathSize];
  if (!UninstallKeyName(name, key_name)) return false;
  platform::UniqueHkey key;
  return RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_name, 0, KEY_READ | platform::kDefaultRegistryView,
                       key.put()) == ERROR_SUCCESS;
}

// Reads "UninstallString" into `command` (261 bytes at least). False when
// there is none, or it holds more than 259 characters.
bool ReadUninstallCommand(const char* name, char* command) {
  char key_name[kPathSize];
  if (!UninstallKeyName(name, key_name)) return false;
  platform::UniqueHkey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_name, 0, KEY_READ | platform::kDefaultRegistryView,
                    key.put()) != ERROR_SUCCESS) {
    return false;
  }
  DWORD type = 0;
  DWORD size = kPathSize;
  if (RegQueryValueExA(key.get(), "UninstallString", nullptr, &type,
                       reinterpret_cast<BYTE*>(command), &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return false;
  }
  command[size < kPathSize ? size : kPathSize] = '\0';  // a value without its NUL
  return std::strlen(command) < kPathSize;
}

}  // namespace

bool UninstallKeyName(const char* name, char* key) {
  return text::FormatBounded(key, kPathSize,
                             "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\%s", name);
}

PreviousVersionAnswer CheckPreviousVersion() {
  PreviousVersionFacts facts = {};
  char value[engine::kVariableValueSize];
  if (engine::FindVariable("#UPGMSG1#", value, sizeof(value)) >= 0) {
    facts.has_note_version = true;
    if (!g_note_read) {
      g_note_read = true;
      g_note_version = ParseVersionPair(value);
      if (const char* note = UpgradeNoteText(value)) engine::SetVariable("#UPGMSG1#", note);
    }
    facts.note_version = g_note_version;
  }
  if (engine::FindVariable("#REMOVE#", value, sizeof(value)) >= 0) {
    facts.has_remove_version = true;
    facts.remove_version = ParseVersionPair(value);
  }
  if (!facts.has_note_version && !facts.has_remove_version) return DecidePreviousVersion(facts);

  char name[kPathSize];
  if (engine::FindVariable("#REMAPP#", name, sizeof(name)) < 0) {
    text::CopyBounded(name, sizeof(name), engine::GetVariableText("#PROGRAM#"));
    engine::SetVariable("#REMAPP#", name);
  }
  facts.registered = RegisteredUninstaller(name);
  uint8_t record[setup_info::kRecordSize] = {};
  facts.record_found = platform::ReadSetupInfo(name, record);
  if (facts.record_found) {
    facts.installed.major = setup_info::ReadInt16(record, setup_info::kMajorVersionOffset);
    facts.installed.minor = setup_info::ReadInt16(record, setup_info::kMinorVersionOffset);
  }
  return DecidePreviousVersion(facts);
}

void ResetPreviousVersionCheckForTesting() {
  g_note_read = false;
  g_note_version = {0, 0};
}

void QuoteUninstallCommand(char* command, size_t size) {
  if (command[0] == '"' || std::strchr(command, ' ') == nullptr) return;
  const DWORD attributes = GetFileAttributesA(command);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return;
  const size_t length = std::strlen(command);
  if (length + 3 > size) return;
  std::memmove(command + 1, command, length);
  command[0] = '"';
  command[length + 1] = '"';
  command[length + 2] = '\0';
}

int RunPreviousUninstaller(const char* name) {
  char command[kPathSize + 2];
  if (!ReadUninstallCommand(name, command)) return -1;
  QuoteUninstallCommand(command, sizeof(command));

  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr,
                      nullptr, &startup, &process)) {
    return -2;
  }
  platform::UniqueKernelHandle process_handle(process.hProcess);
  platform::UniqueKernelHandle thread_handle(process.hThread);
  DWORD exit_code = STILL_ACTIVE;
  while (GetExitCodeProcess(process_handle.get(), &exit_code) && exit_code == STILL_ACTIVE) {
    platform::PumpMessages();
    Sleep(kPollMilliseconds);
  }
  return static_cast<int>(exit_code);
}

void RemovePreviousVersion(HWND frame) {
  char name[kPathSize];
  text::CopyBounded(name, sizeof(name), engine::GetVariableText("#REMAPP#"));
  ShowWindow(frame, SW_HIDE);
  RunPreviousUninstaller(name);
  ShowWindow(frame, SW_SHOW);
  SetForegroundWindow(frame);
}

}  // namespace wizard

#include "startup/builtin_variables.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdint>
#include <cstring>

#include "engine/fixed_string.h"
#include "engine/host.h"
#include "engine/run_state.h"
#include "engine/string_ids.h"
#include "engine/variables.h"
#include "platform/desktop_user.h"
#include "platform/registry_view.h"
#include "platform/setup_info_record.h"
#include "platform/system_queries.h"
#include "platform/win32_handles.h"

namespace startup {

using engine::AppendBackslash;
using engine::FindVariable;
using engine::GetVariableNumber;
using engine::GetVariableText;
using engine::Run;
using engine::SetVariable;
using engine::StripTrailingBackslashes;
using engine::kPathSize;
using engine::kVariableValueSize;

namespace {

constexpr char kMakerFolder[] = "Corvanta";
constexpr char kMakerSiteText[] = "www.corvanta.com";
constexpr char kMakerSiteLink[] = "https://www.corvanta.com";

char g_hyperlink_text[kPathSize] = "";
char g_hyperlink_target[kVariableValueSize] = "";

void SetNumber(const char* name, int value) {
  char text[16];
  text::FormatBounded(text, sizeof(text), "%d", value);
  SetVariable(name, text);
}

void SetFolder(const char* name, int csidl) {
  char path[kPathSize];
  platform::GetSpecialFolder(csidl, path);
  StripTrailingBackslashes(path);
  SetVariable(name, path);
}

// The Program Files folder, or the system's "ProgramFilesDir" value when the
// shell cannot tell.
void ProgramFilesFolder(char* path /* 260 bytes */) {
  platform::GetSpecialFolder(CSIDL_PROGRAM_FILES, path);
  if (path[0] != '\0') return;
  HKEY raw = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", 0,
                      nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS | platform::kDefaultRegistryView,
                      nullptr, &raw,
                      nullptr) != ERROR_SUCCESS) {
    return;
  }
  platform::UniqueHkey key(raw);
  DWORD size = kPathSize - 1;
  DWORD type = 0;
  if (RegQueryValueExA(key.get(), "ProgramFilesDir", nullptr, &type,
                       reinterpret_cast<BYTE*>(path), &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    path[0] = '\0';
    return;
  }
  path[size < kPathSize ? size : kPathSize - 1] = '\0';
}

// The configuration folder a first installation will get: the one the
// setup information record about to be written will give, derived from the
// choices made so far ("#CUSTOMLOC#", "#INDIVIDUAL#", "#CUSTOMPATH#").
void FirstInstallConfigPath(const char* program, char* path /* 260 bytes */) {
  path[0] = '\0';
  uint8_t choices[setup_info::kRecordSize] = {};
  setup_info::WriteInt16(choices, setup_info::kLocationOffset,
                         static_cast<int16_t>(GetVariableNumber("#CUSTOMLOC#")));
  setup_info::WriteInt16(choices, setup_info::kIndividualOffset,
                         static_cast<int16_t>(GetVariableNumber("#INDIVIDUAL#")));
  setup_info::WriteText(choices, setup_info::kCustomPathOffset, GetVariableText("#CUSTOMPATH#"));
  platform::ScopedDesktopUser desktop_user(true);
  platform::DeriveConfigPath(choices, program, path);
}

}  // namespace

void FillBuiltinVariablesStage0() {
  const engine::RunState& run = Run();
  char text[kVariableValueSize];
  host::LoadEngineString(run.uninstall_mode ? engine::kStrModeUninstall : engine::kStrModeSetup, text,
                         sizeof(text));
  SetVariable("#SETUPMODE#", text);
  SetVariable("#CRLF#", "\r\n");
  SetVariable("#EULA#", "");
  SetNumber("#OS#", run.os_version_code);
  SetVariable("#64#", run.is_64bit_system ? "1" : "0");

  char path[kPathSize];
  UINT n = GetWindowsDirectoryA(path, kPathSize);
  if (n == 0 || n >= kPathSize) path[0] = '\0';
  StripTrailingBackslashes(path);
  SetVariable("#WINDOWSDIR#", path);
  n = GetSystemDirectoryA(path, kPathSize);
  if (n == 0 || n >= kPathSize) path[0] = '\0';
  StripTrailingBackslashes(path);
  text::AppendBounded(path, sizeof(path), "\\Drivers");
  SetVariable("#DRIVERSDIR#", path);

  // The desktop user's own folders, read as that user.
  platform::ScopedDesktopUser desktop_user(true);
  struct Folder {
    const char* user;
    const char* chosen;
    const char* all;
    int user_csidl;
    int all_csidl;
  } const folders[] = {
      {"#STARTUPDIRUSR#", "#STARTUPDIR#", "#STARTUPDIRALL#", CSIDL_STARTUP,
       CSIDL_COMMON_STARTUP},
      {"#STARTMENUUSR#", "#STARTMENUDIR#", "#STARTMENUALL#", CSIDL_PROGRAMS,
       CSIDL_COMMON_PROGRAMS},
      {"#DESKTOPDIRUSR#", "#DESKTOPDIR#", "#DESKTOPDIRALL#", CSIDL_DESKTOPDIRECTORY,
       CSIDL_COMMON_DESKTOPDIRECTORY},
  };
  for (const Folder& f : folders) {
    SetFolder(f.user, f.user_csidl);
    SetFolder(f.chosen, run.all_users ? f.all_csidl : f.user_csidl);
    SetFolder(f.all, f.all_csidl);
  }
}

void FillBuiltinVariablesStage1() {
  const char* program_value = GetVariableText("#PROGRAM#");
  char program[kVariableValueSize];
  text::CopyBounded(program, sizeof(program), program_value);

  uint8_t record[setup_info::kRecordSize] = {};
  const bool found = platform::ReadSetupInfo(program, record);
  // A record that was read but rejected (another format) must not leak into
  // the variables: without a record every field counts as zero.
  if (!found) std::memset(record, 0, sizeof(record));
  using setup_info::ReadInt16;

  char text[kVariableValueSize];
  text::FormatBounded(text, sizeof(text), "%d.%d",
                      ReadInt16(record, setup_info::kMajorVersionOffset),
                      ReadInt16(record, setup_info::kMinorVersionOffset));
  SetVariable("#CURVER#", text);

  if (found) {
    SetNumber("#FORWHO#", ReadInt16(record, setup_info::kForWhomOffset));
    SetNumber("#CUSTOMLOC#", ReadInt16(record, setup_info::kLocationOffset));
    SetNumber("#INDIVIDUAL#", ReadInt16(record, setup_info::kIndividualOffset));
    if (ReadInt16(record, setup_info::kForWhomOffset) == 1) {
      SetVariable("#STARTUPDIR#", GetVariableText("#STARTUPDIRALL#"));
      SetVariable("#STARTMENUDIR#", GetVariableText("#STARTMENUALL#"));
      SetVariable("#DESKTOPDIR#", GetVariableText("#DESKTOPDIRALL#"));
    }
  } else {
    SetVariable("#FORWHO#", "1");
    SetVariable("#CUSTOMLOC#", "0");
    SetVariable("#INDIVIDUAL#", "0");
  }

  char path[kPathSize];
  if (FindVariable("#INSTALLPATH#") < 0) {
    if (found) {
      setup_info::ReadText(record, setup_info::kInstallPathOffset, path);
    } else {
      ProgramFilesFolder(path);
      AppendBackslash(path);
      text::AppendBounded(path, sizeof(path), program);
    }
    SetVariable("#INSTALLPATH#", path);
  }

  // The finish page's options: the record's, or on a first installation 1
  // without and 0 with a given custom path.
  int options = 0;
  if (FindVariable("#CUSTOMPATH#") < 0) {
    if (found) {
      setup_info::ReadText(record, setup_info::kCustomPathOffset, path);
    } else {
      char appdata[kPathSize];
      platform::GetSpecialFolder(CSIDL_APPDATA, appdata);
      text::FormatBounded(path, sizeof(path), "%s\\%s\\%s", appdata, kMakerFolder, program);
      options = 1;
    }
    SetVariable("#CUSTOMPATH#", path);
  } else {
    SetVariable("#FORWHO#", "0");
    SetVariable("#CUSTOMLOC#", "1");
    SetVariable("#INDIVIDUAL#", "0");
  }

  char config[kPathSize] = "";
  if (found) {
    platform::GetConfigPath(program, config);
  } else {
    FirstInstallConfigPath(program, config);
  }
  SetVariable("#CONFIGPATH#", config);

  struct Option {
    const char* name;
    size_t offset;
  } const option_fields[] = {
      {"#SELEXECUTE#", setup_info::kLaunchOptionOffset},
      {"#SELREADME#", setup_info::kManualOptionOffset},
      {"#SELDESKTOP#", setup_info::kDesktopOptionOffset},
      {"#SELSTARTMENU#", setup_info::kStartMenuOptionOffset},
  };
  for (const Option& o : option_fields) {
    SetNumber(o.name, found ? ReadInt16(record, o.offset) : options);
  }

  text::CopyBounded(g_hyperlink_text, sizeof(g_hyperlink_text),
                    FindVariable("#URLTEXT#") >= 0 ? GetVariableText("#URLTEXT#") : kMakerSiteText);
  text::CopyBounded(g_hyperlink_target, sizeof(g_hyperlink_target),
                    FindVariable("#URLLINK#") >= 0 ? GetVariableText("#URLLINK#") : kMakerSiteLink);
}

const char* HyperlinkText() { return g_hyperlink_text; }

const char* HyperlinkTarget() { return g_hyperlink_target; }

}  // namespace startup

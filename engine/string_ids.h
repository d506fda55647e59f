// Ids of the engine's string table (texts in engine/strings.inc).
#ifndef ENGINE_STRING_IDS_H_
#define ENGINE_STRING_IDS_H_

namespace engine {

enum StringId : int {
  kStrCancelQuestion = 1000,
  kStrCriticalError = 1001,
  kStrTaskSchedulerError = 1002,
  kStrNotEnoughSpace = 1003,
  kStrConfigFolderInaccessible = 1004,
  kStrInstallFolderNotCreated = 1005,
  kStrDirectoryNotRemoved = 1006,
  kStrPreviousVersion = 1007,
  kStrInitFilesFailed = 1008,
  kStrNeedAdministrator = 1009,
  kStrRestartPrompt = 1011,
  kStrProgramRunning = 1013,
  kStrFileNotCopied = 1015,
  kStrShortcutFailed = 1018,
  kStrRegistryWriteFailed = 1022,
  kStrFileNotExtracted = 1023,
  kStrReadmeNotShown = 1024,
  kStrModeSetup = 1026,
  kStrModeUninstall = 1027,
  kStrFinishedSuccessfully = 1030,
  kStrFailed = 1032,
  kStrConfigFolderNotCreated = 1033,
  kStrDirectoryNotCreated = 1035,
  kStrKeepSettingsWarning = 1037,
  kStrAbsolutePathNeeded = 1039,
  kStrNo64BitSupport = 1043,
  kStrScriptError = 1045,
  kStrUnsupportedSystem = 1052,
};

// The text defined for `id` in engine/strings.inc, or null when the table has
// no such id. This is the definition itself; the Windows engine reads its
// texts from its resources, which are generated from the same definition.
const char* DefinedStringText(int id);

// Number of defined strings, and the i-th id, for tests that walk the table.
int DefinedStringCount();
int DefinedStringIdAt(int index);

}  // namespace engine

#endif  // ENGINE_STRING_IDS_H_

// Engine result codes: every failure in the engine is one of these small
// integers; 0 is success. The numbers are fixed (scripts, logs and exit codes
// carry them) and are never reused.
#ifndef ENGINE_RESULT_CODES_H_
#define ENGINE_RESULT_CODES_H_

namespace engine {

enum ResultCode : int {
  kResultSuccess = 0,
  // Generic failure: the script could not be loaded (start-up), or the service
  // control manager could not be opened (StopService).
  kResultFailure = 1,
  // A script keyword whose command this build of the engine does not carry.
  kResultCommandUnavailable = 2,
  kResultMissingArguments = 3,
  kResultSetFailed = 4,
  kResultCloseProgramFailed = 6,
  kResultCreateFolderFailed = 7,
  kResultCopyFailed = 8,
  kResultShortcutFailed = 9,
  kResultRegValSzFailed = 11,
  kResultRegValDwFailed = 12,
  kResultStartupFailed = 13,
  kResultThreadFailed = 14,
  kResultPreviousVersion = 15,
  kResultNotAdministrator = 16,
  kResultPayloadMissing = 17,
  kResultRemoveAtRestart = 20,
  kResultDeleteRegKeyFailed = 21,
  kResultDeleteRegValFailed = 22,
  kResultPatchFailed = 24,
  kResultCannotStartProgram = 27,
  kResultNoPhase = 28,
  kResultScriptError = 29,
  kResultFileInUse = 31,
  kResultInitFilesFailed = 32,
  kResultTaskScheduler = 33,
  kResultConfigFolderInaccessible = 34,
  kResultExtractToMemoryFailed = 35,
};

// Message-box styles and replies: the Windows values, spelled out here so
// that the portable core needs no <windows.h>.
enum MessageStyle : unsigned {
  kStyleOk = 0x00,
  kStyleYesNoCancel = 0x03,
  kStyleRetryCancel = 0x05,
  kStyleIconError = 0x10,
  kStyleIconWarning = 0x30,
};

enum MessageReply : int {
  kReplyOk = 1,
  kReplyCancel = 2,
  kReplyRetry = 4,
  kReplyYes = 6,
  kReplyNo = 7,
};

// How a phase treats a command's result code.
enum class ResultSeverity : unsigned char {
  // Stops the phase (Setup mode) or is remembered (Uninstall mode).
  kFailure,
  // Shown once where a window can show it, then cleared: the phase goes on.
  // Without a window, or in Uninstall mode, it is cleared at once.
  kWarning,
  // Not a failure at all: the phase goes on and nothing is shown (a folder
  // left for removal at the next restart).
  kDeferred,
};

struct ResultMessage {
  int string_id;
  unsigned style;  // buttons only; the error icon is added when shown
  ResultSeverity severity = ResultSeverity::kFailure;
};

// The string and buttons that show `code`, and how a phase treats it. Codes
// without their own row are failures shown with string 1001 and OK.
ResultMessage LookupResultMessage(int code);

}  // namespace engine

#endif  // ENGINE_RESULT_CODES_H_

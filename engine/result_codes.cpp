#include "engine/result_codes.h"

#include "engine/string_ids.h"

namespace engine {

namespace {

// Rows are kept narrow: codes and styles fit a byte, string ids a short.
struct ResultRow {
  unsigned char code;
  unsigned char style;
  ResultSeverity severity;
  unsigned short string_id;
};

constexpr ResultSeverity kFailure = ResultSeverity::kFailure;
constexpr ResultSeverity kWarning = ResultSeverity::kWarning;
constexpr ResultSeverity kDeferred = ResultSeverity::kDeferred;

constexpr ResultRow kResultTable[] = {
    {kResultMissingArguments, kStyleOk, kFailure, kStrCriticalError},
    {kResultSetFailed, kStyleOk, kFailure, kStrCriticalError},
    {kResultCloseProgramFailed, kStyleRetryCancel, kFailure, kStrProgramRunning},
    {kResultCreateFolderFailed, kStyleRetryCancel, kFailure, kStrDirectoryNotCreated},
    {kResultCopyFailed, kStyleRetryCancel, kFailure, kStrFileNotCopied},
    {kResultShortcutFailed, kStyleOk, kFailure, kStrShortcutFailed},
    {kResultRegValSzFailed, kStyleOk, kFailure, kStrRegistryWriteFailed},
    {kResultRegValDwFailed, kStyleOk, kFailure, kStrCriticalError},
    {kResultStartupFailed, kStyleOk, kFailure, kStrCriticalError},
    {kResultThreadFailed, kStyleOk, kFailure, kStrCriticalError},
    {kResultPreviousVersion, kStyleYesNoCancel, kFailure, kStrPreviousVersion},
    {kResultNotAdministrator, kStyleOk, kFailure, kStrNeedAdministrator},
    {kResultPayloadMissing, kStyleOk, kFailure, kStrCriticalError},
    {kResultRemoveAtRestart, kStyleOk, kDeferred, kStrCriticalError},
    {kResultDeleteRegKeyFailed, kStyleOk, kFailure, kStrCriticalError},
    {kResultDeleteRegValFailed, kStyleOk, kFailure, kStrCriticalError},
    {kResultPatchFailed, kStyleRetryCancel, kFailure, kStrFileNotCopied},
    {kResultCannotStartProgram, kStyleOk, kFailure, kStrCriticalError},
    {kResultNoPhase, kStyleOk, kFailure, kStrCriticalError},
    {kResultScriptError, kStyleOk, kFailure, kStrScriptError},
    {kResultFileInUse, kStyleOk, kFailure, kStrCriticalError},
    {kResultInitFilesFailed, kStyleOk, kFailure, kStrInitFilesFailed},
    {kResultTaskScheduler, kStyleOk, kWarning, kStrTaskSchedulerError},
    {kResultConfigFolderInaccessible, kStyleYesNoCancel, kFailure, kStrConfigFolderInaccessible},
    {kResultExtractToMemoryFailed, kStyleOk, kFailure, kStrFileNotExtracted},
};

}  // namespace

ResultMessage LookupResultMessage(int code) {
  for (const ResultRow& row : kResultTable) {
    if (row.code == code) return {row.string_id, row.style, row.severity};
  }
  return {kStrCriticalError, kStyleOk};
}

}  // namespace engine

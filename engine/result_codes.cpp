#include "engine/result_codes.h"

#include "engine/string_ids.h"

namespace engine {

namespace {

struct ResultRow {
  int code;
  ResultMessage message;
};

constexpr ResultRow kResultTable[] = {
    {kResultMissingArguments, {kStrCriticalError, kStyleOk}},
    {kResultSetFailed, {kStrCriticalError, kStyleOk}},
    {kResultCloseProgramFailed, {kStrProgramRunning, kStyleRetryCancel}},
    {kResultCreateFolderFailed, {kStrDirectoryNotCreated, kStyleRetryCancel}},
    {kResultCopyFailed, {kStrFileNotCopied, kStyleRetryCancel}},
    {kResultShortcutFailed, {kStrShortcutFailed, kStyleOk}},
    {kResultRegValSzFailed, {kStrRegistryWriteFailed, kStyleOk}},
    {kResultRegValDwFailed, {kStrCriticalError, kStyleOk}},
    {kResultStartupFailed, {kStrCriticalError, kStyleOk}},
    {kResultThreadFailed, {kStrCriticalError, kStyleOk}},
    {kResultPreviousVersion, {kStrPreviousVersion, kStyleYesNoCancel}},
    {kResultNotAdministrator, {kStrNeedAdministrator, kStyleOk}},
    {kResultPayloadMissing, {kStrCriticalError, kStyleOk}},
    {kResultRemoveAtRestart, {kStrCriticalError, kStyleOk}},
    {kResultDeleteRegKeyFailed, {kStrCriticalError, kStyleOk}},
    {kResultDeleteRegValFailed, {kStrCriticalError, kStyleOk}},
    {kResultPatchFailed, {kStrFileNotCopied, kStyleRetryCancel}},
    {kResultCannotStartProgram, {kStrCriticalError, kStyleOk}},
    {kResultNoPhase, {kStrCriticalError, kStyleOk}},
    {kResultScriptError, {kStrScriptError, kStyleOk}},
    {kResultFileInUse, {kStrCriticalError, kStyleOk}},
    {kResultInitFilesFailed, {kStrInitFilesFailed, kStyleOk}},
    {kResultTaskScheduler, {kStrTaskSchedulerError, kStyleOk}},
    {kResultConfigFolderInaccessible, {kStrConfigFolderInaccessible, kStyleYesNoCancel}},
    {kResultExtractToMemoryFailed, {kStrFileNotExtracted, kStyleOk}},
};

}  // namespace

ResultMessage LookupResultMessage(int code) {
  for (const ResultRow& row : kResultTable) {
    if (row.code == code) return row.message;
  }
  return {kStrCriticalError, kStyleOk};
}

}  // namespace engine

// The command table, If's operators and the engine's own variables: the
// data that the packer checks scripts against.
#include "engine/script_syntax.h"

namespace engine {

namespace {

constexpr unsigned char Counts(int low, int high) {
  unsigned char bits = 0;
  for (int n = low; n <= high; ++n) bits = static_cast<unsigned char>(bits | (1u << n));
  return bits;
}
constexpr unsigned char Count(int n) { return Counts(n, n); }

const char* const kCopyFileOptions[] = {kOptionRebootIfLocked, kOptionSilent, nullptr};
const char* const kRunOptions[] = {kOptionElevated, nullptr};
const char* const kCallOptions[] = {kOptionSilent, nullptr};
const char* const kViewOptions[] = {kOptionView64, nullptr};

constexpr ArgumentRole T = kRoleText;

// In keyword slot order (script_parser.h).
const CommandSyntax kSyntax[] = {
    /* Set */ {Count(2), {kRoleVariableName, T}, nullptr},
    /* CloseProgram */ {Count(1), {T}, nullptr},
    /* CreateDir */ {Count(1), {T}, nullptr},
    /* CopyFile */ {Counts(2, 3), {kRoleSourceName, T, kRoleOption}, kCopyFileOptions},
    /* CreateLink */ {Counts(2, 4), {T, T, T, T}, nullptr},
    /* ChangeNotify */ {Count(1), {T}, nullptr},
    /* CreateRegValSz */
    {Counts(4, 5), {kRoleRegistryRoot, T, T, T, kRoleOption}, kViewOptions},
    /* CreateRegValDW */
    {Counts(4, 5), {kRoleRegistryRoot, T, T, kRoleNumber, kRoleOption}, kViewOptions},
    /* CreateSetupInfo */ {Count(2), {T, T}, nullptr},
    /* DeleteFile */ {Counts(1, 2), {T, kRoleIgnored}, nullptr},
    /* RemoveDir */ {Count(1), {T}, nullptr},
    /* DeleteRegKey */ {Counts(2, 3), {kRoleRegistryRoot, T, kRoleOption}, kViewOptions},
    /* DeleteRegVal */ {Counts(3, 4), {kRoleRegistryRoot, T, T, kRoleOption}, kViewOptions},
    /* PatchFile */ {Count(3), {kRoleSourceName, kRoleSourceName, T}, nullptr},
    /* If */ {Count(3) | Count(5), {T, kRoleOperator, T, kRoleOperator, T}, nullptr},
    /* Else */ {Count(0), {}, nullptr},
    /* Endif */ {Count(0), {}, nullptr},
    /* StopService */ {Count(1), {T}, nullptr},
    /* PhaseBegin */ {Count(1), {kRolePhaseNumber}, nullptr},
    /* PhaseEnd */ {Counts(0, 1), {kRolePhaseNumber}, nullptr},
    /* Run */ {Counts(1, 3), {T, T, kRoleOption}, kRunOptions},
    /* Call */ {Counts(1, 5), {T, T, T, T, kRoleOption}, kCallOptions},
    /* Error */ {Count(1), {T}, nullptr},
    /* Status */ {Count(1), {T}, nullptr},
    /* Status2 */ {Count(1), {T}, nullptr},
    /* LogonTrigger */ {Counts(1, 3), {T, T, T}, nullptr},
};
static_assert(sizeof(kSyntax) / sizeof(kSyntax[0]) == kKeywordCount, "one entry per keyword slot");

const CommandSyntax kNoArguments = {Count(0), {}, nullptr};

const char* const kOperators[kComparisonOperatorCount] = {"=", "==", "!", "!=",
                                                          "<", "<=", ">", ">="};

const char* const kEngineVariables[] = {
    // Start-up, before the script is loaded.
    "#SETUPMODE#", "#CRLF#", "#EULA#", "#OS#", "#64#", "#WINDOWSDIR#", "#DRIVERSDIR#",
    "#STARTUPDIRUSR#", "#STARTUPDIR#", "#STARTUPDIRALL#", "#STARTMENUUSR#", "#STARTMENUDIR#",
    "#STARTMENUALL#", "#DESKTOPDIRUSR#", "#DESKTOPDIR#", "#DESKTOPDIRALL#",
    // Start-up, after phase 0 (and "-INSTALL=", "-DATA=" on the command line).
    "#CURVER#", "#FORWHO#", "#CUSTOMLOC#", "#INDIVIDUAL#", "#INSTALLPATH#", "#CUSTOMPATH#",
    "#CONFIGPATH#", "#SELEXECUTE#", "#SELREADME#", "#SELDESKTOP#", "#SELSTARTMENU#",
    // Commands (Error, Call, LogonTrigger, CreateSetupInfo) and the wizard.
    "#LASTERROR#", "#EXECUTE#", "#README#", "#DESKTOP#", "#STARTMENU#", "#INSTALLSIZE#",
    "#KEEPCFG#",
};

}  // namespace

const CommandSyntax& CommandSyntaxOf(int keyword) {
  return (keyword >= 0 && keyword < kKeywordCount) ? kSyntax[keyword] : kNoArguments;
}

int MinArgumentCount(int keyword) {
  const unsigned bits = CommandSyntaxOf(keyword).argument_counts;
  for (int n = 0; n < 8; ++n)
    if ((bits >> n) & 1) return n;
  return 0;
}

int MaxArgumentCount(int keyword) {
  const unsigned bits = CommandSyntaxOf(keyword).argument_counts;
  for (int n = 7; n >= 0; --n)
    if ((bits >> n) & 1) return n;
  return 0;
}

const char* ComparisonOperator(int index) {
  return (index >= 0 && index < kComparisonOperatorCount) ? kOperators[index] : "";
}

int EngineVariableCount() {
  return static_cast<int>(sizeof(kEngineVariables) / sizeof(kEngineVariables[0]));
}

const char* EngineVariable(int index) {
  return (index >= 0 && index < EngineVariableCount()) ? kEngineVariables[index] : "";
}

}  // namespace engine

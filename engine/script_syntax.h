// What each script command accepts: how many arguments, what each argument
// holds, the option words, the registry root names and the comparison
// operators of If; and the variables that the engine defines itself.
//
// One table, indexed by the keyword slots of script_parser.h. The commands
// read their option words and root names from here, and the packer checks
// scripts against the same data before they are packed. Portable: no
// <windows.h>.
#ifndef ENGINE_SCRIPT_SYNTAX_H_
#define ENGINE_SCRIPT_SYNTAX_H_

#include "engine/script_parser.h"

namespace engine {

// What an argument holds.
enum ArgumentRole : unsigned char {
  kRoleText = 0,      // any text; variable references are expanded
  kRoleVariableName,  // Set's name: taken as written, never expanded
  kRoleSourceName,    // a file on disk, else the payload of that name
  kRoleOption,        // one of the command's option words, or empty
  kRoleRegistryRoot,  // one of the registry root names below
  kRoleOperator,      // a comparison operator of If
  kRoleNumber,        // a decimal number (strtoul rules)
  kRolePhaseNumber,   // PhaseBegin's (and PhaseEnd's) decimal phase number
  kRoleIgnored,       // read and ignored
};

struct CommandSyntax {
  // Bit n set: the command takes exactly n arguments. Fewer than the lowest
  // count make the command fail with kResultMissingArguments (Run then does
  // nothing); arguments beyond the highest count are never read.
  unsigned char argument_counts;
  ArgumentRole roles[kMaxArguments];
  // The option words of the command's kRoleOption argument (null-terminated
  // list, compared without regard to case), or null.
  const char* const* options;
};

// The syntax of keyword slot `keyword` (0 to kKeywordCount - 1). For any
// other value, a syntax that takes no arguments.
const CommandSyntax& CommandSyntaxOf(int keyword);

// Lowest and highest argument count of a keyword.
int MinArgumentCount(int keyword);
int MaxArgumentCount(int keyword);
inline bool TakesArgumentCount(int keyword, int count) {
  return count >= 0 && count < 8 && (CommandSyntaxOf(keyword).argument_counts >> count) & 1;
}

// Option words.
inline constexpr char kOptionRebootIfLocked[] = "REBOOTIFLOCKED";  // CopyFile
inline constexpr char kOptionSilent[] = "SILENT";                  // CopyFile, Call
inline constexpr char kOptionElevated[] = "Elevated";              // Run
inline constexpr char kOptionView64[] = "x64";                     // registry commands

// Registry roots, in the order of the table of names.
enum RegistryRoot : int {
  kRegistryRootNone = -1,
  kRegistryRootCurrentUser = 0,
  kRegistryRootLocalMachine,
  kRegistryRootClassesRoot,
  kRegistryRootCount
};

// The root that `name` names ("LM" or "HKEY_LOCAL_MACHINE", any letter
// case), or kRegistryRootNone.
RegistryRoot FindRegistryRoot(const char* name);
// The short ("LM") and the long ("HKEY_LOCAL_MACHINE") name of a root.
const char* RegistryRootShortName(RegistryRoot root);
const char* RegistryRootLongName(RegistryRoot root);

// The comparison operators of If as the language writes them. The engine
// decides by the first character alone (and by a second "=" after "<" or
// ">"), so these are the spellings that mean what they say.
inline constexpr int kComparisonOperatorCount = 8;
const char* ComparisonOperator(int index);

// The variables that the engine defines itself, each with its "#" marks:
// start-up's built-in variables, the command line's, and those that commands
// and the wizard set. A script may read these without setting them.
int EngineVariableCount();
const char* EngineVariable(int index);

}  // namespace engine

#endif  // ENGINE_SCRIPT_SYNTAX_H_

// The installation script's lexical form and argument syntax.
//
// A script is one NUL-terminated 8-bit text. Only CR ends a line; LF and tab
// are white space. A command line is a keyword (any letter case) followed by
// white space and comma-separated arguments. Lines whose first word is not a
// keyword followed by white space are ignored: that is how comments and blank
// lines are written.
#ifndef ENGINE_SCRIPT_PARSER_H_
#define ENGINE_SCRIPT_PARSER_H_

#include <cstddef>

namespace engine {

// The keywords in table order; the index is the dispatch slot.
enum Keyword : int {
  kKeywordNone = -1,
  kKeywordSet = 0,
  kKeywordCloseProgram,
  kKeywordCreateDir,
  kKeywordCopyFile,
  kKeywordCreateLink,
  kKeywordChangeNotify,
  kKeywordCreateRegValSz,
  kKeywordCreateRegValDW,
  kKeywordCreateSetupInfo,
  kKeywordDeleteFile,
  kKeywordRemoveDir,
  kKeywordDeleteRegKey,
  kKeywordDeleteRegVal,
  kKeywordPatchFile,
  kKeywordIf,
  kKeywordElse,
  kKeywordEndif,
  kKeywordStopService,
  kKeywordPhaseBegin,
  kKeywordPhaseEnd,
  kKeywordRun,
  kKeywordCall,
  kKeywordError,
  kKeywordStatus,
  kKeywordStatus2,
  kKeywordLogonTrigger,
  kKeywordCount
};

// The keyword's text as the table holds it ("CreateRegValSz").
const char* KeywordName(int keyword);

struct ParsedCommand {
  int keyword;             // kKeywordNone when the line has none
  const char* line_start;  // first non-white character (the keyword)
  const char* args;        // first non-white character after the keyword
  const char* line_end;    // first CR or NUL after the keyword
};

// Parses the line at `pos`: white space is skipped first. At the end of the
// text the keyword is kKeywordNone and every pointer is at the end. Without a
// keyword, `args` is the line's first character and `line_end` the first CR
// or NUL after it. Note that `args` may lie beyond `line_end` when nothing
// follows the keyword on its line.
ParsedCommand ParseCommand(const char* pos);

// Argument buffers: five shared buffers of 520 bytes holding the current
// command's arguments.
inline constexpr int kMaxArguments = 5;
inline constexpr size_t kArgumentSize = 520;

enum ArgumentStatus : int {
  kArgumentRead = 0,
  kArgumentNone = 5,
};

// Reads one argument at `*cursor`, never past `end`, into `output` (520
// bytes; longer arguments are cut at 519 characters). Quotes group, "^" is
// stored as a double quote, an unquoted argument loses its trailing spaces,
// and one following comma is consumed. Returns kArgumentNone when only white
// space is left before `end`.
int ParseArgument(const char** cursor, const char* end, char* output);

// Clears the five argument buffers, reads up to `n` (at most 5) arguments
// from `start` to `line_end` and expands each in place. Returns the number
// read.
int GetArguments(int n, const char* start, const char* line_end);

// Argument buffer `i` (0 to 4), as the last GetArguments left it.
char* Argument(int i);

}  // namespace engine

#endif  // ENGINE_SCRIPT_PARSER_H_

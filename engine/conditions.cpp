// If, Else and Endif, and the condition stack they share with the
// interpreter.
#include <cstdlib>

#include "engine/conditions.h"
#include "engine/interpreter.h"
#include "engine/c_runtime.h"
#include "engine/fixed_string.h"
#include "engine/host.h"
#include "engine/result_codes.h"
#include "engine/script_parser.h"

namespace engine {

namespace {

constexpr int kActive = 1;
constexpr int kInactive = 2;
// Nesting beyond the stack is counted but not stored: such levels are
// inactive, and their Endif still pops. The counter itself is capped so it
// cannot overflow on a hostile script.
constexpr int kMaxCountedDepth = 1 << 20;

int g_stack[kConditionStackSize];
int g_depth = 0;

void Push(int entry) {
  if (g_depth >= kMaxCountedDepth) return;
  ++g_depth;
  if (g_depth < kConditionStackSize) g_stack[g_depth] = entry;
}

// One comparison; `known` is false for an operator the language does not know.
bool Compare(const char* a, const char* op, const char* b, bool* known) {
  *known = true;
  switch (op[0]) {
    // Texts compare as the system compares them without regard to case,
    // letters beyond ASCII included.
    case '!':
      return !host::TextEqualsIgnoreCase(a, b);
    case '=':
      return host::TextEqualsIgnoreCase(a, b);
    case '<': {
      double x = crt::ParseDouble(a), y = crt::ParseDouble(b);
      return op[1] == '=' ? x <= y : x < y;
    }
    case '>': {
      double x = crt::ParseDouble(a), y = crt::ParseDouble(b);
      return op[1] == '=' ? x >= y : x > y;
    }
    default:
      *known = false;
      return false;
  }
}

}  // namespace

bool BranchIsActive() {
  if (g_depth >= kConditionStackSize) return false;
  for (int i = 1; i <= g_depth; ++i) {
    if (g_stack[i] == kInactive) return false;
  }
  return true;
}

int ConditionDepth() { return g_depth; }

void ResetConditionsForTesting() {
  g_depth = 0;
  for (int& entry : g_stack) entry = 0;
}

int CommandIf(const char* args, const char* line_end) {
  int count = GetArguments(5, args, line_end);
  if (count != 3 && count != 5) return kResultMissingArguments;
  bool known = false;
  bool result = Compare(Argument(0), Argument(1), Argument(2), &known);
  if (count == 5) {
    // The second comparison is between the first and the fifth argument; an
    // unknown second operator leaves the first comparison's outcome.
    bool second = Compare(Argument(0), Argument(3), Argument(4), &known);
    if (known) result = result && second;
  }
  Push(result ? kActive : kInactive);
  return kResultSuccess;
}

int CommandElse(const char*, const char*) {
  if (g_depth > 0 && g_depth < kConditionStackSize) {
    g_stack[g_depth] = (g_stack[g_depth] == kActive) ? kInactive : kActive;
  }
  return kResultSuccess;
}

int CommandEndif(const char*, const char*) {
  if (g_depth > 0) {
    if (g_depth < kConditionStackSize) g_stack[g_depth] = 0;
    --g_depth;
  }
  return kResultSuccess;
}

}  // namespace engine

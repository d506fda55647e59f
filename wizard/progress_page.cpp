// The progress pages (110 Setup, 115 Uninstall): phase 1 runs on a worker
// thread while the page serves the engine messages. When the phase ends the
// page moves on to the finish page. When the user gives up after a failed
// command, or cancels, the worker is stopped and waited for, phase 3 undoes
// what was done, and the wizard ends.
#include <windows.h>
#include <commctrl.h>

#include "engine/engine_window.h"
#include "engine/interpreter.h"
#include "engine/messages.h"
#include "engine/result_codes.h"
#include "engine/run_state.h"
#include "wizard/control_ids.h"
#include "wizard/page_common.h"
#include "wizard/pages.h"
#include "wizard/wizard_log.h"
#include "wizard/wizard_state.h"

namespace wizard {

namespace {

// Posted to the page after the user gave up on a failed command: the worker
// has been told to end; the page waits for it and cleans up.
constexpr UINT kGaveUpMessage = WM_APP + 16;

enum class Stage {
  kRunning,     // phase 1 runs on the worker thread
  kAsking,      // the cancel question is open; phase 1 goes on meanwhile
  kStopping,    // the worker has been asked to stop; the page waits for it
  kCleaningUp,  // phase 3 runs in this thread
  kEnded,       // the page has handed over or the wizard has ended
};

struct ProgressState {
  Stage stage;
  bool completed;  // phase 1 ended while the cancel question was open
  bool gave_up;    // the user gave up on a failed command
  int failure;     // that command's result code
};

ProgressState g_progress;
LinkRecord g_link;

void ListenToEngine(HWND page) {
  Wizard().engine_window = engine::WindowEngineWindow(page);
  engine::SetEngineWindow(&Wizard().engine_window);
}

void StopListening() { engine::SetEngineWindow(nullptr); }

void MoveToFinishPage(HWND page) {
  SetDlgItemTextA(page, kStatusLine, "Finished");
  EnableItem(page, kButtonNext, true);
  SendMessageA(page, WM_COMMAND, MAKEWPARAM(kButtonNext, BN_CLICKED), 0);
}

// Ends the installation before its end: stops the worker at its next
// command (a program that Call waits for is ended too), waits for it while
// serving its messages, runs phase 3 and ends the wizard. Phase 3 starts
// with the stop request cleared, so its own programs run; its failures are
// not asked about (see OnCommandFailed). The cancel flag is set when the
// wizard ends, after phase 3.
void StopAndCleanUp(HWND page, WizardOutcome outcome) {
  g_progress.stage = Stage::kStopping;
  EnableItem(page, kButtonNext, false);
  EnableItem(page, kButtonCancel, false);
  engine::RequestPhaseStop();
  engine::WaitForPhaseThreadServingMessages();
  g_progress.stage = Stage::kCleaningUp;
  engine::StartPhase(3, false);
  g_progress.stage = Stage::kEnded;
  StopListening();
  EndWizard(outcome);
}

WizardOutcome GiveUpOutcome() { return {WizardEnd::kFailed, g_progress.failure}; }

void Init(HWND page) {
  g_progress = {Stage::kRunning, false, false, 0};
  SendDlgItemMessageA(page, kProgressBar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
  LogStoredChoices();
  ListenToEngine(page);
  if (engine::StartPhase(1, true) != engine::kResultSuccess) {
    g_progress.stage = Stage::kEnded;
    StopListening();
    engine::ShowResultMessage(page, engine::kResultThreadFailed);
    EndWizardFailed(engine::kResultThreadFailed);
  }
}

void OnCancel(HWND page) {
  if (g_progress.stage != Stage::kRunning) return;
  g_progress.stage = Stage::kAsking;
  const bool cancel = ConfirmCancel(page);
  g_progress.stage = Stage::kRunning;
  if (cancel) {
    StopAndCleanUp(page, g_progress.gave_up ? GiveUpOutcome() : WizardOutcome{WizardEnd::kCancelled, 0});
  } else if (g_progress.gave_up) {
    StopAndCleanUp(page, GiveUpOutcome());
  } else if (g_progress.completed) {
    MoveToFinishPage(page);
  }
}

LRESULT OnComplete(HWND page) {
  if (g_progress.stage == Stage::kAsking) {
    g_progress.completed = true;  // moves on once the question is answered
  } else if (g_progress.stage == Stage::kRunning) {
    MoveToFinishPage(page);
  }
  return 0;
}

// The reply to a failed command: 4 runs it again, 2 ends the worker, any
// other value goes on with the next command.
LRESULT OnCommandFailed(HWND page) {
  switch (g_progress.stage) {
    case Stage::kStopping:
    case Stage::kEnded:
      return engine::kFailureReplyEndPhase;
    case Stage::kCleaningUp:
      // Phase 3 goes on past its failures, without a question and without
      // starting phase 3 again.
      return engine::kReplyOk;
    case Stage::kRunning:
    case Stage::kAsking:
      break;
  }
  const int code = engine::ErrorState();
  const int answer = Wizard().uninstall_mode ? engine::kReplyCancel
                                             : engine::ShowResultMessage(page, code);
  if (engine::LookupResultMessage(code).severity == engine::ResultSeverity::kWarning) {
    // A warning: shown once, then the installation goes on.
    engine::SetErrorState(engine::kResultSuccess);
    return engine::kReplyOk;
  }
  if (answer == engine::kReplyRetry) return engine::kFailureReplyRetry;
  if (answer != engine::kReplyOk && answer != engine::kReplyCancel && answer != engine::kReplyNo) {
    return answer;  // the command is passed over
  }
  // Given up: the worker ends with this reply; the page waits for it and
  // cleans up once this message has been answered.
  if (!g_progress.gave_up) {
    g_progress.gave_up = true;
    g_progress.failure = code;
    if (g_progress.stage == Stage::kRunning) PostMessageA(page, kGaveUpMessage, 0, 0);
  }
  return engine::kFailureReplyEndPhase;
}

INT_PTR Reply(HWND page, LRESULT reply) {
  if (IsWindow(page)) SetWindowLongPtrA(page, DWLP_MSGRESULT, reply);
  return TRUE;
}

}  // namespace

INT_PTR CALLBACK ProgressPageProc(HWND page, UINT message, WPARAM wparam, LPARAM lparam) {
  INT_PTR result = FALSE;
  if (HandleSharedPageMessage(page, message, wparam, lparam, &result)) return result;
  switch (message) {
    case WM_INITDIALOG:
      InitPage(page, &g_link);
      Init(page);
      return TRUE;
    case engine::kMessageStatus: {
      // Painted at once: phase 3 runs in this thread and serves no messages.
      if (HWND line = GetDlgItem(page, wparam == 0 ? kStatusLine : kSecondStatusLine)) {
        SetWindowTextA(line, reinterpret_cast<const char*>(lparam));
        UpdateWindow(line);
      }
      return Reply(page, 0);
    }
    case engine::kMessageProgress:
      SendDlgItemMessageA(page, kProgressBar, PBM_SETPOS, wparam, 0);
      UpdateWindow(GetDlgItem(page, kProgressBar));
      return Reply(page, 0);
    case engine::kMessageComplete:
      return Reply(page, OnComplete(page));
    case engine::kMessageCommandFailed:
      return Reply(page, OnCommandFailed(page));
    case kGaveUpMessage:
      if (g_progress.stage == Stage::kRunning && g_progress.gave_up) {
        StopAndCleanUp(page, GiveUpOutcome());
      }
      return TRUE;
    case WM_COMMAND:
      if (!IsLiveCommand(page, wparam)) return TRUE;
      switch (LOWORD(wparam)) {
        case kButtonNext:
          g_progress.stage = Stage::kEnded;
          StopListening();
          SwitchToPage(page, NextPage(Wizard().uninstall_mode ? Page::kUninstalling
                                                              : Page::kInstalling,
                                      false));
          break;
        case kButtonCancel:
          OnCancel(page);
          break;
        default:
          break;
      }
      return TRUE;
    case WM_DESTROY:
      // The engine never reports to a page that is gone.
      if (engine::CurrentEngineWindow() == &Wizard().engine_window) StopListening();
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace wizard

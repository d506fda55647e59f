// Drives a running engine's wizard from another process, as a person would:
// finds the frame (dialog 108) and the page it shows, reads what the controls
// show (text, visible, enabled, checked), types into edits, clicks buttons,
// presses keys, and reads and answers message boxes, keeping a record of each
// box's caption, text and buttons.
//
// Everything goes through window messages that Wine carries between
// processes. Clicks are posted (BM_CLICK) and followed by a sent WM_NULL: a
// sent message whose time-out expires before the target has taken it is
// dropped, a posted one never is. Controls that a person could not click
// (hidden or disabled) are refused.
//
// The driver's thread must be on the walk desktop (EnterWalkDesktop) before
// it looks for windows; processes started by EngineProcess run there too.
#ifndef TESTS_WIZARD_WALKS_DRIVER_WIZARD_DRIVER_H_
#define TESTS_WIZARD_WALKS_DRIVER_WIZARD_DRIVER_H_

#include <windows.h>

#include <string>
#include <vector>

#include "tests/wizard_walks/driver/page_measure.h"

namespace wizard_walks_test {

// Default wait for anything a walk expects to appear, in milliseconds.
constexpr DWORD kWaitMs = 30000;
// The exit code of a wizard that the driver ended because a wait ran out.
constexpr UINT kGaveUpExitCode = 0xDEAD;

// The walks' own desktop. Wine shows it as a virtual desktop of 1024 x 768
// that draws window captions, so screenshots show the frame's caption.
constexpr char kWalkDesktop[] = "CorvantaWizardWalks";
// Moves the calling thread onto the walk desktop, creating it if needed.
// Call once, before the thread has created any window or hook.
bool EnterWalkDesktop();

// A process under test, started on the walk desktop or attached by id.
// Terminated when the owner goes away while it still runs.
class EngineProcess {
 public:
  EngineProcess() = default;
  ~EngineProcess();
  EngineProcess(const EngineProcess&) = delete;
  EngineProcess& operator=(const EngineProcess&) = delete;

  // Starts `exe` with `arguments` in `folder`.
  bool Start(const std::string& exe, const std::string& arguments, const std::string& folder);
  // Follows a process that someone else started.
  bool Attach(DWORD process_id);

  DWORD id() const { return id_; }
  bool Running() const;
  // Waits for the end. False when it still runs after `timeout_ms`.
  bool WaitForExit(DWORD timeout_ms, DWORD* exit_code);

 private:
  HANDLE process_ = nullptr;
  DWORD id_ = 0;
};

struct MessageBoxSeen {
  HWND window = nullptr;
  std::string caption;
  std::string text;          // the static control 0xFFFF
  std::vector<int> buttons;  // ids of the buttons it shows (IDOK, IDCANCEL...), ascending
};

class WizardDriver {
 public:
  explicit WizardDriver(DWORD process_id);

  // Screenshots go to `folder` as NN-<name>.png, NN counting on from the
  // pictures already there.
  void SetScreenshotFolder(const std::string& folder) { screenshot_folder_ = folder; }

  // The frame: the process's top-level dialog that hosts pages (visible or
  // not), or null.
  HWND Frame() const;
  bool FrameVisible() const;
  std::string FrameCaption() const;

  // The page shown: the child dialog of the frame that has the visible style.
  HWND Page() const;
  std::string PageTitle() const;  // control 1002 of the page
  // Waits until the frame shows a page titled `title` while no message box
  // is open. Returns false at once when a box opens or the process ends.
  // When a wait of the driver's (for a page, a box, a box to close) runs
  // out, the driver says on stderr what it waited for and what the screen
  // shows, and ends the wizard's process at once (exit code kGaveUpExitCode):
  // the walk's later steps then fail at once instead of waiting in turn.
  bool WaitForPage(const std::string& title, DWORD timeout_ms = kWaitMs);
  // Like WaitForPage, and the page must be another window than `old_page`
  // (pages are created anew on every move).
  bool WaitForNewPage(const std::string& title, HWND old_page, DWORD timeout_ms = kWaitMs);

  // Controls of the current page.
  HWND Control(int id) const;
  bool Exists(int id) const { return Control(id) != nullptr; }
  bool Visible(int id) const;
  bool Enabled(int id) const;
  int Checked(int id) const;  // BM_GETCHECK; -1 when it cannot be read
  std::string Text(int id) const;
  int ProgressPosition(int id) const;  // PBM_GETPOS; -1 when it cannot be read
  // The selection of an edit (EM_GETSEL).
  bool Selection(int id, DWORD* start, DWORD* end) const;
  // Replaces the text of an edit, as a person who selects all and types.
  bool Type(int id, const std::string& text);
  // Clicks a button. Refused (false) when the control is missing, hidden or
  // disabled.
  bool Click(int id);
  // Clicks a check box or radio button until it shows `checked`.
  bool SetChecked(int id, bool checked);
  // A mouse click (button down, button up) on any visible, enabled control.
  bool ClickWithMouse(int id);
  // Presses and releases a key where the keyboard focus is, once it is on
  // the frame or one of its controls (not on a box that is closing).
  bool PressKey(UINT virtual_key);
  // The control id of the window that has the keyboard focus, 0 when none.
  int FocusedId() const;
  // Waits until control `id` has the keyboard focus. Keys and clicks are
  // posted, so their effect on the focus comes a little later.
  bool WaitForFocus(int id, DWORD timeout_ms = 5000) const;
  // Asks the frame to close, as the caption's close box does.
  bool CloseFrame();

  // Message boxes of the process.
  bool BoxOpen() const;
  // Waits for a box and reads it. False when none opens in time or the
  // process ends first.
  bool WaitForBox(MessageBoxSeen* box, DWORD timeout_ms = kWaitMs);
  // Clicks `button` of the box and waits until the box has gone.
  bool Answer(const MessageBoxSeen& box, int button);
  // Every box answered so far, in order.
  const std::vector<MessageBoxSeen>& answered() const { return answered_; }
  // Waits `ms` and reports whether a box opened in that time.
  bool BoxOpensWithin(DWORD ms);

  // Saves what the frame and (unless `with_boxes` is false) its open boxes
  // show. Returns the file's path, or "" when nothing could be saved.
  std::string Screenshot(const std::string& name, bool with_boxes = true);

  // Measures the current page from inside the engine (page_measure.h); with
  // `new_dpi` the frame first sees a DPI change to that value.
  PageMeasure Measure(int new_dpi = 0) const;

  // A description of what is on the screen, for failure messages.
  std::string Describe() const;

  // Sends WM_NULL to the frame and waits for the reply: the interface thread
  // has been through its message loop since.
  bool Sync() const;

  DWORD process_id() const { return process_id_; }

 private:
  std::vector<HWND> OpenBoxes() const;
  bool ProcessAlive() const;
  // Reports the wait for `what` that ran out and ends the process. False.
  bool GiveUp(const std::string& what);

  DWORD process_id_;
  std::string screenshot_folder_;
  std::vector<MessageBoxSeen> answered_;
};

// The process id of a visible wizard frame on the walk desktop whose caption
// is `caption`, or 0. For wizards that the engine starts itself.
DWORD FindFrameProcess(const std::string& caption);

// Sends `message` to a window of another process and waits for the reply.
// False when it could not be delivered within `timeout_ms`.
bool SendTo(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result,
            DWORD timeout_ms = 15000);
// The window's text, read with WM_GETTEXT (edits keep theirs to themselves).
std::string WindowTextOf(HWND window);

}  // namespace wizard_walks_test

#endif  // TESTS_WIZARD_WALKS_DRIVER_WIZARD_DRIVER_H_

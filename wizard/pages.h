// The page procedures, one per source file. Each is the dialog procedure of
// its pages; the frame's page table names them.
#ifndef WIZARD_PAGES_H_
#define WIZARD_PAGES_H_

#include <windows.h>

namespace wizard {

// Welcome pages of both modes (104, 114).
INT_PTR CALLBACK WelcomePageProc(HWND page, UINT message, WPARAM wparam, LPARAM lparam);
// Licence agreement (105).
INT_PTR CALLBACK LicensePageProc(HWND page, UINT message, WPARAM wparam, LPARAM lparam);
// Installation directory (109).
INT_PTR CALLBACK DirectoryPageProc(HWND page, UINT message, WPARAM wparam, LPARAM lparam);
// Progress pages of both modes (110, 115): phase 1 on the worker thread.
INT_PTR CALLBACK ProgressPageProc(HWND page, UINT message, WPARAM wparam, LPARAM lparam);
// Finish pages of both modes (111, 117): phase 2.
INT_PTR CALLBACK FinishPageProc(HWND page, UINT message, WPARAM wparam, LPARAM lparam);

}  // namespace wizard

#endif  // WIZARD_PAGES_H_

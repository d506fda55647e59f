// The order of the wizard's pages in both modes: which page comes first,
// where button 1 ("Next >", "Install", ...) and button 3 ("< Back") lead,
// and the dialog template of each page. Portable: no windows here.
#ifndef WIZARD_PAGE_SEQUENCE_H_
#define WIZARD_PAGE_SEQUENCE_H_

namespace wizard {

enum class Page : int {
  kNone = -1,  // no page: the wizard ends, or there is no way back
  kWelcome = 0,
  kLicense,
  kDirectory,
  kInstalling,
  kFinished,
  kUninstallWelcome,
  kUninstalling,
  kUninstallFinished,
};
inline constexpr int kPageCount = 8;

// The dialog template of the frame that hosts the pages.
inline constexpr int kFrameTemplate = 108;

// The dialog template of `page` (104, 105, 109, 110, 111, 114, 115, 117);
// 0 for kNone.
int PageTemplate(Page page);

// The welcome page of the mode.
Page FirstPage(bool uninstall_mode);

// Where button 1 leads. The licence page leads to the installation
// directory page only when the script defines "#ASKPATH#"; the finish pages
// lead nowhere (their button 1 ends the wizard).
Page NextPage(Page page, bool ask_path);

// Where button 3 leads; kNone where a page has no way back (the welcome
// pages, and the pages after the installation has started).
Page PreviousPage(Page page);

}  // namespace wizard

#endif  // WIZARD_PAGE_SEQUENCE_H_

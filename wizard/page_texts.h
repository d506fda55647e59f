// The text rules of the wizard's pages that need no window: the line breaks
// of the description and of the licence text, version pairs and the
// previous-version decision, and the installed size. Portable.
#ifndef WIZARD_PAGE_TEXTS_H_
#define WIZARD_PAGE_TEXTS_H_

#include <cstddef>
#include <cstdint>

namespace wizard {

// "#DESCR#" marks a line break with a backslash followed by the letter n:
// each such pair becomes one line feed, in place. A backslash followed by
// anything else stays.
void ConvertLineBreakMarks(char* text);

// A multi-line edit control breaks lines only at CR LF. Licence texts are
// often written with bare LF (or bare CR): the length of `text` with every
// line end made CR LF, and the copy itself (`out` holds that length plus a
// NUL).
size_t CrLfLength(const char* text);
void CopyWithCrLf(const char* text, char* out);

// A version "major.minor" read as "%d.%d" reads it: blanks, an optional sign
// and digits, then a dot and the second number. A part that cannot be read
// counts as 0; numbers beyond the int range are clamped.
struct VersionPair {
  int major;
  int minor;
};
VersionPair ParseVersionPair(const char* text);

// (a, b) is at most (c, d) when a < c, or a = c and b <= d.
bool VersionAtMost(VersionPair installed, VersionPair limit);

// The note of an "#UPGMSG1#" value ("2.0 Your settings are kept."): the text
// after the first space, or null when the value holds no space.
const char* UpgradeNoteText(const char* value);

// What the check for a previous version found.
struct PreviousVersionFacts {
  bool has_note_version;    // "#UPGMSG1#" is defined
  VersionPair note_version;
  bool has_remove_version;  // "#REMOVE#" is defined
  VersionPair remove_version;
  bool record_found;        // the stored setup information record was read
  VersionPair installed;    // its version
  bool registered;          // the system's uninstall entry exists
};

struct PreviousVersionAnswer {
  bool remove;  // the installed version must be removed first
  bool notify;  // the upgrade note must be shown
};

// With a stored record its version decides both answers; without one an
// uninstall registration alone asks for removal when "#REMOVE#" is defined
// (the registration of an installation that left no record) and never for
// the note.
PreviousVersionAnswer DecidePreviousVersion(const PreviousVersionFacts& facts);

// The decimal number of whole kilobytes (1024 bytes) in `bytes`, for
// "#INSTALLSIZE#". `out` of at least 21 bytes.
void FormatKilobytes(uint64_t bytes, char* out, size_t size);

}  // namespace wizard

#endif  // WIZARD_PAGE_TEXTS_H_

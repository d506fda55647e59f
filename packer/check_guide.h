// The checks of `dispack check`: what each one looks for, whether it is an
// error, and where the manual explains it. The manual's page of the packer,
// docs/packer.md, has one section per check, whose heading is the check's
// name; a test keeps the two in step.
#ifndef PACKER_CHECK_GUIDE_H_
#define PACKER_CHECK_GUIDE_H_

#include <string>
#include <vector>

#include "packer/diagnostics.h"

namespace packer {

struct CheckGuide {
  const char* name;     // "missing-payload", as findings name it
  bool error;           // its findings are errors, which stop a build
  bool allowable;       // `--allow` may turn its errors into warnings
  const char* summary;  // what it finds, in a sentence or two
};

// Every check, errors first.
const std::vector<CheckGuide>& CheckGuides();

// The check named `name`, or null.
const CheckGuide* FindCheckGuide(const std::string& name);

// Where the manual explains a check: "docs/packer.md#missing-payload".
std::string ManualSection(const std::string& check);

// What `dispack check --explain NAME` prints.
std::string ExplainCheck(const CheckGuide& guide);

// One line for each check among `items`, in order of first appearance,
// naming its manual section: "note: docs/packer.md#nul-byte explains [nul-byte]".
std::string FormatCheckReferences(const std::vector<Diagnostic>& items);

}  // namespace packer

#endif  // PACKER_CHECK_GUIDE_H_

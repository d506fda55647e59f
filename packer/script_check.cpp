#include "packer/script_check.h"

namespace packer {

std::string ScriptLineEndNote(const std::string& script_text) {
  const bool has_lf = script_text.find('\n') != std::string::npos;
  const bool has_cr = script_text.find('\r') != std::string::npos;
  if (!has_lf || has_cr) return "";
  return "its lines end with LF only, but the engine ends a script line only at CR, so the "
         "whole script would read as one line; save it with CR LF line ends";
}

}  // namespace packer

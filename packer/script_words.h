// Word-level helpers of the script check: variable references, near misses
// of command and variable names, and payload names written with variables.
#ifndef PACKER_SCRIPT_WORDS_H_
#define PACKER_SCRIPT_WORDS_H_

#include <cstddef>
#include <string>
#include <vector>

namespace packer {

// A variable reference "#NAME#" inside a text: offset of its first "#" and
// its length, both marks included.
struct VariableReference {
  size_t offset;
  size_t length;
};

// The references in `text`: a "#", one to 29 letters, digits or
// underscores, and a "#" (a variable name holds at most 31 characters with
// its marks). Other "#" signs (a colour "#FF0000", a lone "#") are text.
std::vector<VariableReference> FindVariableReferences(const std::string& text);
bool HasVariableReference(const std::string& text);

// Edit distance counting an exchange of two neighbouring letters as one
// step ("CopyFlie" is one step from "CopyFile"), without regard to ASCII case.
size_t EditDistance(const std::string& a, const std::string& b);

// The keyword slot nearest to `word` and its distance; with
// `argument_count` >= 0 only keywords that take that many arguments count.
int NearestKeyword(const std::string& word, int argument_count, size_t* distance);

// The command that a word written where a command belongs most likely
// means: a keyword that begins with the word ("Copy" -> CopyFile), else the
// nearest keyword that takes `argument_count` arguments, else the nearest.
int LikelyKeyword(const std::string& word, int argument_count);

// True when `name` matches `pattern`, in which every variable reference
// stands for any text; letter case is ignored, as payloads are looked up.
bool MatchesWithVariables(const std::string& pattern, const std::string& name);

// True for a payload name written plainly: no variable reference, no folder.
bool IsPlainPayloadName(const std::string& text);

}  // namespace packer

#endif  // PACKER_SCRIPT_WORDS_H_

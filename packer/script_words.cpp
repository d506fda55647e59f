#include "packer/script_words.h"

#include <algorithm>

#include "engine/script_parser.h"
#include "engine/script_syntax.h"

namespace packer {
namespace {

constexpr size_t kMaxReferenceName = 29;  // 31 characters with the two marks

bool IsNameCharacter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::vector<VariableReference> FindVariableReferences(const std::string& text) {
  std::vector<VariableReference> refs;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] != '#') {
      ++i;
      continue;
    }
    size_t j = i + 1;
    while (j < text.size() && IsNameCharacter(text[j]) && j - i <= kMaxReferenceName) ++j;
    if (j < text.size() && text[j] == '#' && j > i + 1) {
      refs.push_back(VariableReference{i, j + 1 - i});
      i = j + 1;
    } else {
      // Not a reference: this "#" may still close text and open the next one.
      i = (j < text.size() && text[j] == '#') ? j : i + 1;
    }
  }
  return refs;
}

bool HasVariableReference(const std::string& text) { return !FindVariableReferences(text).empty(); }

size_t EditDistance(const std::string& a, const std::string& b) {
  const size_t n = a.size(), m = b.size();
  std::vector<std::vector<size_t>> d(n + 1, std::vector<size_t>(m + 1));
  for (size_t i = 0; i <= n; ++i) d[i][0] = i;
  for (size_t j = 0; j <= m; ++j) d[0][j] = j;
  for (size_t i = 1; i <= n; ++i) {
    for (size_t j = 1; j <= m; ++j) {
      const size_t cost = Lower(a[i - 1]) == Lower(b[j - 1]) ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
      if (i > 1 && j > 1 && Lower(a[i - 1]) == Lower(b[j - 2]) &&
          Lower(a[i - 2]) == Lower(b[j - 1]))
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  }
  return d[n][m];
}

int NearestKeyword(const std::string& word, int argument_count, size_t* distance) {
  int best = engine::kKeywordNone;
  size_t best_distance = SIZE_MAX;
  for (int k = 0; k < engine::kKeywordCount; ++k) {
    if (argument_count >= 0 && !engine::TakesArgumentCount(k, argument_count)) continue;
    const size_t d = EditDistance(word, engine::KeywordName(k));
    if (d < best_distance) {
      best = k;
      best_distance = d;
    }
  }
  if (distance) *distance = best_distance;
  return best;
}

int LikelyKeyword(const std::string& word, int argument_count) {
  for (int k = 0; k < engine::kKeywordCount; ++k) {
    const std::string keyword = engine::KeywordName(k);
    if (word.size() < keyword.size() && EditDistance(keyword.substr(0, word.size()), word) == 0 &&
        engine::TakesArgumentCount(k, argument_count)) {
      return k;
    }
  }
  const int k = NearestKeyword(word, argument_count, nullptr);
  return k != engine::kKeywordNone ? k : NearestKeyword(word, -1, nullptr);
}

bool MatchesWithVariables(const std::string& pattern, const std::string& name) {
  // The pattern as characters and wildcards (-1), then the usual wildcard
  // match that backtracks only to the last wildcard: linear in practice,
  // and never worse than pattern length times name length.
  std::vector<int> tokens;
  const std::vector<VariableReference> refs = FindVariableReferences(pattern);
  size_t r = 0;
  for (size_t i = 0; i < pattern.size();) {
    if (r < refs.size() && refs[r].offset == i) {
      if (tokens.empty() || tokens.back() != -1) tokens.push_back(-1);
      i += refs[r++].length;
    } else {
      tokens.push_back(static_cast<unsigned char>(Lower(pattern[i++])));
    }
  }
  size_t t = 0, n = 0, star = SIZE_MAX, resume = 0;
  while (n < name.size()) {
    if (t < tokens.size() && tokens[t] == -1) {
      star = t++;
      resume = n;
    } else if (t < tokens.size() && tokens[t] == static_cast<unsigned char>(Lower(name[n]))) {
      ++t;
      ++n;
    } else if (star != SIZE_MAX) {
      t = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (t < tokens.size() && tokens[t] == -1) ++t;
  return t == tokens.size();
}

bool IsPlainPayloadName(const std::string& text) {
  return !HasVariableReference(text) && text.find_first_of("\\/:") == std::string::npos;
}

}  // namespace packer

#include "tests/docs/markdown.h"

#include <cctype>
#include <fstream>
#include <sstream>

namespace docs_test {

namespace {

std::string Trim(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(begin, end - begin);
}

std::vector<std::string> Cells(const std::string& line) {
  std::string inner = Trim(line);
  if (!inner.empty() && inner.front() == '|') inner.erase(0, 1);
  if (!inner.empty() && inner.back() == '|') inner.pop_back();
  std::vector<std::string> cells;
  for (const std::string& cell : SplitList(inner, '|')) cells.push_back(Trim(cell));
  return cells;
}

bool IsSeparatorRow(const std::string& line) {
  for (char c : line)
    if (c != '|' && c != '-' && c != ':' && c != ' ') return false;
  return true;
}

// Links "[text](target)" and images "![text](target)" outside code spans.
void CollectLinks(const std::string& line, int number, std::vector<Link>* links) {
  bool in_code = false;
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '`') in_code = !in_code;
    if (in_code || line[i] != ']' || i + 1 >= line.size() || line[i + 1] != '(') continue;
    const size_t close = line.find(')', i + 2);
    if (close == std::string::npos) continue;
    links->push_back(Link{line.substr(i + 2, close - i - 2), number});
  }
}

}  // namespace

std::vector<std::string> SplitList(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : text) {
    if (c == separator) {
      parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  parts.push_back(part);
  return parts;
}

std::string Slug(const std::string& heading) {
  std::string slug;
  for (unsigned char c : heading) {
    if (std::isalnum(c) || c == '-' || c == '_') {
      slug += static_cast<char>(std::tolower(c));
    } else if (c == ' ') {
      slug += '-';
    }
  }
  return slug;
}

std::vector<std::string> CodeSpans(const std::string& cell) {
  std::vector<std::string> spans;
  size_t start = cell.find('`');
  while (start != std::string::npos) {
    const size_t end = cell.find('`', start + 1);
    if (end == std::string::npos) break;
    spans.push_back(cell.substr(start + 1, end - start - 1));
    start = cell.find('`', end + 1);
  }
  if (spans.empty() && !cell.empty()) spans.push_back(cell);
  return spans;
}

std::map<std::string, std::string> InfoValues(const std::string& info) {
  std::map<std::string, std::string> values;
  std::istringstream words(info);
  std::string word;
  words >> word;  // the language
  while (words >> word) {
    const size_t eq = word.find('=');
    values[word.substr(0, eq)] = eq == std::string::npos ? "" : word.substr(eq + 1);
  }
  return values;
}

Page ReadPage(const std::string& path) {
  Page page;
  page.path = path;
  std::ifstream in(path);
  std::string line;
  std::string h2, h3;
  std::map<std::string, int> seen_anchors;
  // Indices, not pointers: the vectors grow.
  int open_block = -1;
  int open_table = -1;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.compare(0, 3, "```") == 0) {
      if (open_block >= 0) {
        open_block = -1;
      } else {
        page.blocks.push_back(CodeBlock{Trim(line.substr(3)), "", number, h2, h3});
        open_block = static_cast<int>(page.blocks.size()) - 1;
      }
      open_table = -1;
      continue;
    }
    if (open_block >= 0) {
      page.blocks[open_block].text += line + "\n";
      continue;
    }
    if (line.compare(0, 1, "|") == 0) {
      if (open_table < 0) {
        page.tables.push_back(Table{Cells(line), {}, number, h2, h3});
        open_table = static_cast<int>(page.tables.size()) - 1;
      } else if (!IsSeparatorRow(line)) {
        page.tables[open_table].rows.push_back(Cells(line));
      }
    } else {
      open_table = -1;
    }
    size_t level = 0;
    while (level < line.size() && line[level] == '#') ++level;
    if (level > 0 && level < line.size() && line[level] == ' ') {
      const std::string text = Trim(line.substr(level));
      std::string anchor = Slug(text);
      const int repeat = seen_anchors[anchor]++;
      if (repeat > 0) anchor += "-" + std::to_string(repeat);
      page.headings.push_back(Heading{static_cast<int>(level), text, anchor, number});
      page.anchors.insert(anchor);
      if (level == 2) h2 = text, h3.clear();
      if (level == 3) h3 = text;
      continue;
    }
    CollectLinks(line, number, &page.links);
  }
  return page;
}

}  // namespace docs_test

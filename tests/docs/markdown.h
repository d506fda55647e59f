// Just enough Markdown for the manual's tests: headings with the anchors a
// code host gives them, fenced code blocks with their info strings, tables,
// and links, each with the line it stands on.
#ifndef TESTS_DOCS_MARKDOWN_H_
#define TESTS_DOCS_MARKDOWN_H_

#include <map>
#include <set>
#include <string>
#include <vector>

namespace docs_test {

struct Heading {
  int level;         // 1 for "#", 2 for "##", ...
  std::string text;  // as written, without the "#" marks
  std::string anchor;
  int line;
};

struct CodeBlock {
  std::string info;  // the fence's info string: "dis payloads=a.exe"
  std::string text;  // the lines between the fences, each ended by "\n"
  int line;          // of the opening fence
  std::string h2, h3;  // the headings it stands under
};

struct Table {
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;
  int line;
  std::string h2, h3;
};

struct Link {
  std::string target;  // as written: "commands.md#copyfile"
  int line;
};

struct Page {
  std::string path;
  std::vector<Heading> headings;
  std::vector<CodeBlock> blocks;
  std::vector<Table> tables;
  std::vector<Link> links;  // links and images outside code
  std::set<std::string> anchors;
};

Page ReadPage(const std::string& path);

// The anchor a code host makes of a heading: lower case, punctuation
// dropped, blanks as "-".
std::string Slug(const std::string& heading);

// The texts between backticks in `cell`, or the cell itself without them.
std::vector<std::string> CodeSpans(const std::string& cell);

// "key=value" words of an info string after its first word.
std::map<std::string, std::string> InfoValues(const std::string& info);

std::vector<std::string> SplitList(const std::string& text, char separator);

}  // namespace docs_test

#endif  // TESTS_DOCS_MARKDOWN_H_

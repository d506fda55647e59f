// Reads a detailed log ("-LOG=") as its events: each line without its time
// and thread. Header only, for the Windows tests of every area.
#ifndef TESTS_SUPPORT_LOG_EVENTS_H_
#define TESTS_SUPPORT_LOG_EVENTS_H_

#include <regex>
#include <string>
#include <vector>

namespace test_support {

struct LogEvents {
  std::vector<std::string> events;  // in order, without "<ms> ms [<thread>] "
  std::vector<unsigned long> threads;  // the thread of each event
  bool whole = true;                   // every line has its prefix and ends in CR LF

  // The index of the first event at or after `from` that equals `event`
  // (or starts with it, with `prefix`); -1 when there is none.
  int Find(const std::string& event, size_t from = 0, bool prefix = false) const {
    for (size_t i = from; i < events.size(); ++i) {
      if (prefix ? events[i].rfind(event, 0) == 0 : events[i] == event) {
        return static_cast<int>(i);
      }
    }
    return -1;
  }
  bool Has(const std::string& event) const { return Find(event) >= 0; }
  bool HasPrefix(const std::string& start) const { return Find(start, 0, true) >= 0; }
  int Count(const std::string& event) const {
    int n = 0;
    for (const std::string& e : events) n += e == event;
    return n;
  }
};

inline LogEvents ReadLogEvents(const std::string& text) {
  LogEvents log;
  static const std::regex kPrefix(R"(^ *\d+ ms \[(\d+)\] )");
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    const std::string line = text.substr(start, end - start);
    std::smatch prefix;
    if (!std::regex_search(line, prefix, kPrefix)) {
      log.whole = false;
      log.events.push_back(line);
      log.threads.push_back(0);
    } else {
      log.events.push_back(prefix.suffix());
      log.threads.push_back(std::stoul(prefix[1].str()));
    }
  }
  if (start != text.size()) log.whole = false;
  return log;
}

// All events, one per line, for failure messages.
inline std::string Describe(const LogEvents& log) {
  std::string all;
  for (const std::string& e : log.events) all += e + "\n";
  return all;
}

}  // namespace test_support

#endif  // TESTS_SUPPORT_LOG_EVENTS_H_

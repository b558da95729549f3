// SPDX-License-Identifier: MIT
#include "writer_records.h"

#include <regex>
#include <set>
#include <sstream>
#include <string_view>

namespace {

// Record k of the thread whose variable is `name`, as the yenv catalog words it.
std::string record_text(const std::string &name, unsigned pad, uint64_t k) {
  const std::string value = std::string(pad, ' ') + std::to_string(k / kRecordsPerCall);
  switch (k % kRecordsPerCall) {
    case 0:
      return "setenv " + name + " to '" + value + "'";
    case 1:
      return "getenv " + name + " as unsigned 32 bit integer";
    default:
      return name + " value: '" + value + "'";
  }
}

struct Thread {
  std::string name;
  uint64_t records = 0;
};

}  // namespace

Tally tally(const std::string &decoded, unsigned pad) {
  Tally t;
  std::map<std::string, Thread> threads;  // by "PID/TID"
  std::set<std::string> started;          // processes by PID
  int shown = 0;
  auto problem = [&](const std::string &what) {
    if (shown++ < 10) t.problems += what + "\n";
  };
  std::istringstream in(decoded);
  for (std::string line; std::getline(in, line);) {
    // Fields: time, pid/tid, module, level, then the text.
    size_t at[4], from = 0;
    for (size_t &a : at) from = (a = line.find(' ', from)) + 1;
    if (at[3] == std::string::npos) {
      problem("not a record: " + line);
      continue;
    }
    const std::string who = line.substr(at[0] + 1, at[1] - at[0] - 1);
    const std::string_view kept(line.data() + at[1] + 1, at[3] - at[1] - 1);
    const std::string text = line.substr(at[3] + 1);
    const std::string pid = who.substr(0, who.find('/'));
    if (kept != "yenv L6") {
      problem("module and level: " + line);
    } else if (text == "yenv module initialed") {
      if (who != pid + "/" + pid || !started.insert(pid).second) problem("second start: " + line);
    } else {
      Thread &th = threads[who];
      // The first record names the variable: "setenv NAME ...".
      if (th.records == 0) th.name = text.substr(7, text.find(' ', 7) - 7);
      const std::string expected = record_text(th.name, pad, th.records);
      if (text != expected) {
        problem(who + " record " + std::to_string(th.records) + ": \"" + text + "\", expected \"" +
                expected + "\"");
      } else if (th.records++ == 0 && !t.records.emplace(th.name, 0).second) {
        problem("a second thread writes " + th.name + ": " + line);
      }
    }
  }
  for (const auto &[who, th] : threads) t.records[th.name] = th.records;
  if (shown > 10) t.problems += "and " + std::to_string(shown - 10) + " more\n";
  return t;
}

std::string lines_besides(const std::string &text, const char *notice) {
  const std::regex expected(notice);
  std::string rest;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (!std::regex_match(line, expected)) rest += line + "\n";
  return rest;
}

// SPDX-License-Identifier: MIT
// The trace stand-in's YTRACE_LEVEL forms, its record file (YTRACE_FILE), read
// back with the decoder's entry scanner, and forks while another thread traces.
// The stand-in reads both variables once per process, so all tracing happens in
// forked children, never in this process.
#include <gtest/gtest.h>
#include <pthread.h>
#include <stdio.h>
#include <string.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "ytrace.h"
#include "ytrace_capture.h"
#include "ytrace_decode.h"
#include "catalog_reader.h"
#include "ytrace_file_format.h"

namespace {

const unsigned char kIdentity[YTRACE_FILE_IDENTITY_SIZE] = {0xc5, 1, 2,  3,  4,  5,  6,  7,
                                                            8,    9, 10, 11, 12, 13, 14, 0xfe};

uint16_t registered(const char *name) {
  uint16_t id = 0;
  uint32_t word = 0;
  ytrace_module_init_fn(name, &id, &word);
  return id;
}

// In one piece, not a character at a time: record files run to megabytes.
std::string contents(const std::string &path) {
  std::ostringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return s.str();
}

pid_t spawn(const std::function<void()> &body) {
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) body(), _exit(0);
  return pid;
}

// Runs `body` in a forked child; returns what the child wrote on stderr, then the
// body's answer.
std::string in_child(const std::function<std::string()> &body) {
  char out[] = "/tmp/ytrace_env_test_XXXXXX";
  int fd = mkstemp(out), status = 0;
  waitpid(spawn([&body, fd] {
            std::string answer = (dup2(fd, 2), body());
            if (write(2, answer.data(), answer.size()) != ssize_t(answer.size())) _exit(1);
          }),
          &status, 0);
  std::string got = contents(out);
  close(fd), unlink(out);
  return status == 0 ? got : "child failed: " + got;
}

// The lines the trace decoder makes of a record file, with no catalogs loaded (so
// each record shows its raw fields), then "damaged" when it stops at damage.
std::vector<std::string> decoded(const std::string &bytes) {
  std::vector<std::string> lines;
  ytrace_decoder_s *d = ytrace_decoder_new(
      [](void *to, const char *line, size_t length) {
        static_cast<std::vector<std::string> *>(to)->emplace_back(line, length);
      },
      &lines);
  if ((ytrace_decoder_bytes(d, bytes.data(), bytes.size()) | ytrace_decoder_end(d)) != 0)
    lines.push_back("damaged");
  ytrace_decoder_free(d);
  return lines;
}

struct Entry {
  uint64_t time_of_day_us;
  uint32_t pid, tid;
  std::string text;  // "MODULE LLEVEL rec INDEX ARGS..." (tag:value), or "damaged"
};

// The records of the file YTRACE_FILE names, in the decoder's order.
std::vector<Entry> read_entries(const std::string &path) {
  const std::string raw = "[catalog " + ytcat::to_hex(kIdentity, sizeof kIdentity) + " index ";
  std::vector<Entry> entries;
  for (const std::string &line : decoded(contents(path))) {
    Entry e{0, 0, 0, line};
    unsigned h, m, s, us;
    int used = 0;
    if (sscanf(line.c_str(), "%2u:%2u:%2u.%6u %u/%u %n", &h, &m, &s, &us, &e.pid, &e.tid, &used) ==
        6) {
      e.time_of_day_us = ((h * 60 + m) * 60 + s) * 1000000ull + us;
      e.text = line.substr(size_t(used));
      if (size_t at = e.text.find(raw); at != e.text.npos) e.text.replace(at, raw.size(), "rec ");
      if (size_t at = e.text.find(": unknown catalog]"); at != e.text.npos) e.text.erase(at, 18);
    }
    entries.push_back(e);
  }
  return entries;
}

TEST(TraceLevels, EnvironmentSetsDefaultAndPerModuleLevels) {
  struct {
    const char *env;
    const char *kept;  // highest level kept by yenv, ycurs, another module, no module
  } cases[] = {
      {nullptr, "6 6 6 6"},
      {"7", "7 7 7 7"},
      {"yenv:7,ycurs:3", "7 3 6 6"},
      {"yenv:7,3", "7 3 3 3"},
      {"-1,ycurs:9", "-1 9 -1 -1"},
      {"yenv:2,yenv:8", "8 6 6 6"},
      {"x,7x,yenv:,:4,ycurs:3x,2 ,yenv:9999999999,,ycurs:+1,yenv:1", "1 6 6 6"},
  };
  for (const auto &c : cases) {
    std::string kept = in_child([&c] {
      c.env != nullptr ? setenv("YTRACE_LEVEL", c.env, 1) : unsetenv("YTRACE_LEVEL");
      std::string answer;
      for (uint16_t id :
           {registered("yenv"), registered("ycurs"), registered("yother"), uint16_t(0)}) {
        ytrace_capture_clear();
        for (uint32_t level = 0; level < 10; level++) __YTf_0(kIdentity, 0, id, level << 24);
        if (!answer.empty()) answer += ' ';
        answer += std::to_string(int(ytrace_capture_count()) - 1);
      }
      return answer;
    });
    EXPECT_EQ(kept, c.kept) << (c.env ? c.env : "(unset)");
  }
}

class TraceFile : public testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/ytrace_file_test_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    path = dir + "/trace";
    setenv("YTRACE_FILE", path.c_str(), 1);  // for the children
  }
  void TearDown() override {
    unsetenv("YTRACE_FILE");
    std::filesystem::remove_all(dir);
  }
  std::string dir, path;
};

// How many mappings of the file YTRACE_FILE names this process holds.
int mappings() {
  std::ifstream maps("/proc/self/maps");
  int n = 0;
  for (std::string line; std::getline(maps, line);)
    n += line.find(getenv("YTRACE_FILE")) != line.npos;
  return n;
}

// Registers, emits a few records (a short one after a long one, one from a second
// thread, one dropped by its level), then forks a child that emits one more and
// dies at once (as by abort() after a level-0 record, but harder: nothing runs
// after it). Answers how many mappings of the file it holds in the end.
std::string emit_a_few() {
  uint16_t id = registered("yfile");
  __YTf_41(kIdentity, 5, id, 2u << 24 | YTRACE_CONTINUATION, 7, std::string(5000, 'x').c_str());
  __YTf_114(kIdentity, 3, id, 6u << 24, "name", nullptr, 0x41);
  __YTf_15(kIdentity, 4, id, 7u << 24, "dropped", 1);
  std::thread([] { __YTf_15(kIdentity, 6, 0, 0, "", UINT64_MAX); }).join();
  waitpid(spawn([id] {
            __YTf_4(kIdentity, 7, id, 1u << 24, 9);
            kill(getpid(), SIGKILL);
          }),
          nullptr, 0);
  return std::to_string(mappings()) + " mappings; ";
}

TEST_F(TraceFile, HoldsKeptRecordsOfEachProcessAppendedRunAfterRun) {
  // The time of day in microseconds, as the decoder shows it.
  auto now = [] {
    timespec t;
    clock_gettime(CLOCK_REALTIME, &t);
    return uint64_t(t.tv_sec % 86400) * 1000000u + uint64_t(t.tv_nsec) / 1000;
  };
  uint64_t start = now();
  // The header's and the main thread's window: the other thread's went with it.
  EXPECT_EQ(in_child(emit_a_few) + in_child(emit_a_few), "2 mappings; 2 mappings; ");
  uint64_t end = now();

  std::map<uint32_t, char> letters;  // each process by a letter in order of appearance
  std::vector<std::string> got;
  for (const Entry &e : read_entries(path)) {
    char &letter = letters[e.pid];
    if (letter == 0) letter = char('A' + letters.size() - 1);
    got.push_back(letter + std::string(e.tid == e.pid ? " " : "+ ") + e.text);  // +: other thread
    if (start < end) {  // not across midnight
      EXPECT_TRUE(e.time_of_day_us >= start && e.time_of_day_us <= end) << got.back();
    }
  }
  std::vector<std::string> expected = {
      "A yfile L2 ... rec 5 4:7 1:\"" + std::string(YTRACE_FILE_STRING_MAX, 'x') + "\"",
      "A yfile L6 rec 3 1:\"name\" 1:\"(null)\" 4:65",
      "A+ 0 L0 rec 6 1:\"\" 5:18446744073709551615",
      "B yfile L1 rec 7 4:9",
  };
  for (size_t i = 0; i < 4; i++)
    expected.push_back(char(expected[i][0] + 2) + expected[i].substr(1));
  EXPECT_EQ(got, expected);
}

TEST_F(TraceFile, FileItCannotUseIsLeftAloneAndRecordsStillKept) {
  // YTRACE_FILE in the test's folder, and the file's contents before and after.
  for (auto [name, before] : {std::pair<const char *, std::string>{"/trace", "some text"},
                              {"/trace", std::string(16, '\0')},
                              {"/no/trace", ""},
                              {"/trace", std::string("YTRF\2\0\20\0", 8)}}) {  // older format
    std::string file = dir + name;
    std::ofstream(file) << before;
    std::string answer = in_child([&file] {
      setenv("YTRACE_FILE", file.c_str(), 1);
      errno = EDOM;
      registered("yfile");
      __YTf_4(kIdentity, 1, 0, 0, 1);
      return "kept " + std::to_string(ytrace_capture_count()) +
             (errno == EDOM ? ", errno kept" : "");
    });
    EXPECT_EQ(answer, "kept 1, errno kept") << file;
    EXPECT_EQ(contents(file), before) << file;
  }
}

// Records long enough for the file to outgrow the space first allocated for it,
// and each thread's window onto it, several times.
const int kThreads = 2, kRecords = 130;
const std::string kLong(YTRACE_FILE_STRING_MAX, 'r');

// Registers, then emits records from a few threads at once.
void race() {
  uint16_t id = registered("yrace");
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; t++)
    threads.emplace_back([id, t] {
      for (uint32_t i = 0; i < kRecords; i++)
        __YTf_114(kIdentity, t, id, 3u << 24, kLong.c_str(), kLong.c_str(), i);
    });
  for (auto &t : threads) t.join();
}

TEST_F(TraceFile, ProcessesStartingTogetherWriteOneHeaderAndWholeEntries) {
  const int kProcesses = 4;
  for (int round = 0; round < 6; round++) {
    std::filesystem::remove(path);
    // Every other round the file is there, empty, as mktemp leaves it.
    if (round % 2 == 1) std::ofstream{path};
    int gate[2];  // the children start when it closes
    ASSERT_EQ(pipe(gate), 0);
    std::set<uint32_t> children;
    for (int p = 0; p < kProcesses; p++)
      children.insert(spawn([&gate] {
        char c;
        if (close(gate[1]) == 0 && read(gate[0], &c, 1) == 0) race();
      }));
    close(gate[0]), close(gate[1]);
    while (wait(nullptr) > 0) {
    }

    // Each thread's records come whole and in order.
    std::map<std::pair<uint32_t, uint32_t>, int> next;
    int in_order = 0;
    std::vector<Entry> entries = read_entries(path);
    for (const Entry &e : entries) {
      std::string tail =
          "1:\"" + kLong + "\" 1:\"" + kLong + "\" 4:" + std::to_string(next[{e.pid, e.tid}]++);
      in_order += e.tid != e.pid && children.count(e.pid) == 1 &&
                  e.text.starts_with("yrace L3 rec ") && e.text.ends_with(tail);
    }
    EXPECT_EQ(entries.size(), size_t(kProcesses * kThreads * kRecords)) << round;
    EXPECT_EQ(in_order, kProcesses * kThreads * kRecords) << round;
  }
}

// ytrace-decode --follow started before the traced program has made the file,
// or while it is empty, prints its lines once it is written, and goes on until
// killed. Its command starts with the build's emulator, if any.
TEST_F(TraceFile, AFollowerWaitsForTheFileToBeMade) {
  std::vector<std::string> words;
  std::istringstream command(YTRACE_DECODE " --follow " + path + " --lib " YUTIL_LIBRARY);
  for (std::string w; command >> w;) words.push_back(w);
  const std::string out = dir + "/out", err = dir + "/err";
  for (bool empty_first : {false, true}) {
    std::filesystem::remove(path);
    if (empty_first) std::ofstream{path};
    pid_t follower = spawn([&] {
      std::vector<char *> argv;
      for (std::string &w : words) argv.push_back(w.data());
      argv.push_back(nullptr);
      if (freopen(out.c_str(), "w", stdout) && freopen(err.c_str(), "w", stderr))
        execvp(argv[0], argv.data());
    });
    usleep(500000);  // it looks for the file a few times
    EXPECT_EQ(in_child([] {
                __YTf_4(kIdentity, 7, registered("yfile"), 1u << 24, 9);
                __YTf_1(kIdentity, 8, 0, 2u << 24, "two");
                return "";
              }),
              "");
    const std::vector<std::string> want = decoded(contents(path));
    std::vector<std::string> lines;
    int status = 0;
    for (int waited = 0; lines.size() < want.size() && waited < 600; waited++) {
      if (waitpid(follower, &status, WNOHANG) != 0) break;
      usleep(50000);
      std::istringstream printed(contents(out));
      lines.clear();
      for (std::string line; std::getline(printed, line);) lines.push_back(line);
    }
    if (kill(follower, SIGTERM) == 0) waitpid(follower, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status))
        << "exit status " << WEXITSTATUS(status) << ": " << contents(err);
    EXPECT_EQ(lines, want) << (empty_first ? "made empty first" : "made by the program");
    EXPECT_EQ(want.size(), 2u);
  }
}

// Empty when `pid` exits with status 0 within five seconds (under valgrind it
// checks for leaks first); else what it did, and a child still running is killed.
std::string reaped(pid_t pid) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline)
      return kill(pid, SIGKILL), waitpid(pid, nullptr, 0), "still running after 5 s";
    usleep(1000);
  }
  std::string failed = "exit status ";
  return status == 0 ? "" : failed += std::to_string(status);
}

// Forks again and again while another thread spends much of its time holding the
// stand-in's lock: each child, which has no such thread to release it, registers,
// emits and finds its record kept.
TEST(TraceFork, ChildEmitsWhateverLockTheParentsOtherThreadHeld) {
  const int kForks = 20;
  std::string answer = in_child([] {
    // Not std::thread, whose state on the heap the children would leak.
    std::atomic<bool> stop{false};
    pthread_t holder;
    auto hold = [](void *flag) -> void * {
      while (!static_cast<std::atomic<bool> *>(flag)->load(std::memory_order_relaxed)) {
        registered("yhold");  // under the lock
        __YTf_11(kIdentity, 1, 0, 0, kLong.c_str(), kLong.c_str());
      }
      return nullptr;
    };
    if (pthread_create(&holder, nullptr, hold, &stop) != 0) return std::string("no thread");
    std::string failed;
    for (int i = 0; i < kForks && failed.empty(); i++) {
      failed = reaped(spawn([] {
        ytrace_capture_record_s r;
        __YTf_4(kIdentity, 2, registered("ychild"), 0, 1);
        _exit(ytrace_capture_get(ytrace_capture_count() - 1, &r) != 0 || r.message_index != 2);
      }));
      if (!failed.empty()) failed = "child " + std::to_string(i) + ": " + failed;
    }
    stop = true;
    pthread_join(holder, nullptr);
    return failed.empty() ? std::to_string(kForks) + " children emitted" : failed;
  });
  EXPECT_EQ(answer, std::to_string(kForks) + " children emitted");
}

}  // namespace

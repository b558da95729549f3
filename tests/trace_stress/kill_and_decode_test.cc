// SPDX-License-Identifier: MIT
// Writers killed at random while processes and threads fill one record file,
// with ytrace-decode following the file throughout: afterwards every record of
// the writers that lived is decoded once and in order, each killed thread's
// records are a gap-free prefix of its calls, and the follower printed what a
// decode of the finished file prints.
//
// The ordinary run takes seconds, a smaller one under an emulator (valgrind,
// qemu), where the decoder is many times slower. YUTIL_STRESS_LONG=1 selects the
// long run (20 rounds of 12 processes of 4 threads, 5000 calls each, 4 killed per
// round; the file grows past 8 MiB steps several times a round), some minutes:
// run the test program itself, or ctest with --timeout raised.
// YUTIL_STRESS_SEED=N makes a run's choices again (who dies, and when).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "programs.h"
#include "writer_records.h"

namespace {

using Clock = std::chrono::steady_clock;

// Built in steps: g++ 12 at -O3 takes "w" + std::to_string(p) for an overlapping copy.
std::string writer_name(size_t p) {
  std::string name(1, 'w');
  return name += std::to_string(p);
}
using std::chrono::milliseconds;

struct Size {
  int rounds, processes, threads;
  unsigned calls;
  int kills;
};
// Each surviving process pauses after each call for up to this long, chosen at
// random, so that the follower finds writers busy and idle, look after look. The
// doomed never pause: killed, they are most likely in the middle of an entry.
constexpr unsigned kLongestPauseUs = 500;
const Size kOrdinary{2, 4, 2, 3000, 2};
const Size kEmulated{1, 3, 2, 300, 1};
const Size kLong{20, 12, 4, 5000, 4};

// A process that is killed and reaped, whatever became of the test.
struct Started {
  pid_t pid = -1;
  ~Started() {
    if (pid > 0) kill(pid, SIGKILL), waitpid(pid, nullptr, 0);
  }
  int end(int signal) {
    int status = -1;
    if (signal != 0) kill(pid, signal);
    waitpid(pid, &status, 0);
    pid = -1;
    return status;
  }
};

// Reads the writer's word that all its threads write, from its standard output.
bool started(int said) {
  char word[8] = {};
  return read(said, word, 7) == 7 && std::string(word) == "started";
}

size_t line_count(const std::string &text) {
  return size_t(std::count(text.begin(), text.end(), '\n'));
}

class KillAndDecode : public testing::Test {
 protected:
  void round(const Size &size, Clock::duration kill_within, std::mt19937_64 &random);

  const TempDir temp;
  const std::string &dir = temp.path;
};

void KillAndDecode::round(const Size &size, Clock::duration kill_within, std::mt19937_64 &random) {
  const std::string file = dir + "/trace", followed = dir + "/follow.out";
  std::filesystem::remove(file);
  int out = open(followed.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  Started follower{launch(decode_command(file, true), out, dir + "/follow.err")};
  close(out);

  std::uniform_int_distribution<unsigned> pause_us(0, kLongestPauseUs);
  std::vector<bool> dies(size_t(size.processes));
  std::fill_n(dies.begin(), size.kills, true);
  std::shuffle(dies.begin(), dies.end(), random);
  std::vector<Started> writers(dies.size());
  std::vector<int> said(dies.size());  // the read end of each writer's standard output
  for (size_t p = 0; p < writers.size(); p++) {
    int pipe_ends[2];
    ASSERT_EQ(pipe(pipe_ends), 0);
    writers[p].pid =
        launch(writer_command(writer_name(p), size.threads, dies[p] ? 0 : size.calls, 0,
                              dies[p] ? 0 : pause_us(random)),
               pipe_ends[1], dir + "/writer" + std::to_string(p) + ".err", tracing_to(file));
    close(pipe_ends[1]);
    said[p] = pipe_ends[0];
  }
  // Each doomed writer dies at a random moment once all its threads write: until
  // killed, it has no last call.
  std::vector<std::pair<Clock::time_point, size_t>> deaths;
  std::uniform_int_distribution<Clock::rep> delay(0, kill_within.count());
  for (size_t p = 0; p < dies.size(); p++) {
    if (!dies[p]) continue;
    EXPECT_TRUE(started(said[p])) << "writer " << p;
    deaths.emplace_back(Clock::now() + Clock::duration(delay(random)), p);
  }
  std::sort(deaths.begin(), deaths.end());
  for (auto [when, p] : deaths) {
    std::this_thread::sleep_until(when);
    int status = writers[p].end(SIGKILL);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "writer " << p;
  }
  for (size_t p = 0; p < writers.size(); p++)
    if (writers[p].pid > 0) {
      EXPECT_EQ(writers[p].end(0), 0)
          << "writer " << p << ": " << contents(dir + "/writer" + std::to_string(p) + ".err");
    }
  // Open until now: a writer's "started" must not meet a closed pipe.
  for (int fd : said) close(fd);

  const Finished decoded = run(decode_command(file, false), dir);
  EXPECT_EQ(decoded.status, 0) << decoded.err;
  EXPECT_EQ(lines_besides(decoded.err, kUnfinishedNotice), "");
  const Tally t = tally(decoded.out, 0);
  EXPECT_EQ(t.problems, "");
  for (size_t p = 0; p < dies.size(); p++)
    for (int th = 0; th < size.threads && !dies[p]; th++) {
      const std::string name = writer_name(p) + "_t" + std::to_string(th);
      EXPECT_EQ(t.records.count(name) ? t.records.at(name) : 0, size.calls * kRecordsPerCall)
          << name;
    }

  // The follower has caught up when it shows as many lines as the decode, twice.
  const size_t want = line_count(decoded.out);
  std::string shown;
  for (auto give_up = Clock::now() + std::chrono::seconds(60); Clock::now() < give_up;) {
    std::this_thread::sleep_for(milliseconds(200));
    std::string now = contents(followed);
    bool steady = now.size() == shown.size();
    shown = std::move(now);
    if (steady && line_count(shown) == want) break;
  }
  int status = follower.end(SIGTERM);
  EXPECT_TRUE(WIFSIGNALED(status)) << "follower ended by itself: " << contents(dir + "/follow.err");
  if (shown != decoded.out) {
    auto a =
        std::mismatch(shown.begin(), shown.end(), decoded.out.begin(), decoded.out.end()).first;
    ADD_FAILURE() << "the follower printed " << line_count(shown) << " lines, the decode " << want
                  << "; they part at line " << line_count(std::string(shown.begin(), a)) + 1
                  << "\nfollower stderr: " << contents(dir + "/follow.err");
  }
}

TEST_F(KillAndDecode, EveryRecordOnceInOrderAndFollowerAgrees) {
  const Size &size = getenv("YUTIL_STRESS_LONG") ? kLong : emulated() ? kEmulated : kOrdinary;
  const char *seed_text = getenv("YUTIL_STRESS_SEED");
  const uint64_t seed = seed_text ? strtoull(seed_text, nullptr, 10) : std::random_device{}();
  SCOPED_TRACE("YUTIL_STRESS_SEED=" + std::to_string(seed));
  std::mt19937_64 random(seed);
  // The doomed die while the others write: within the time one writer takes alone
  // without pauses, for every two processes, since they share the two processors.
  int said[2];
  ASSERT_EQ(pipe(said), 0);
  Started alone{launch(writer_command("alone", size.threads, size.calls, 0, 0), said[1],
                       dir + "/alone.err", tracing_to(dir + "/alone"))};
  close(said[1]);
  ASSERT_TRUE(started(said[0]));
  const Clock::time_point start = Clock::now();
  ASSERT_EQ(alone.end(0), 0);
  close(said[0]);
  const Clock::duration kill_within = (Clock::now() - start) * size.processes / 2;
  for (int r = 0; r < size.rounds && !HasFailure(); r++) {
    SCOPED_TRACE("round " + std::to_string(r));
    round(size, kill_within, random);
  }
}

}  // namespace

// SPDX-License-Identifier: MIT
// A record file that cannot grow: the disk is full once it holds 8 MiB, the first
// step the file grows by. Library calls go on answering right, recording stops
// with each thread's records a gap-free prefix of its calls, and ytrace-decode
// reads the file whole and says that recording stopped early.
#include <errno.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "programs.h"
#include "writer_records.h"

namespace {

constexpr int kThreads = 4;
// Some 12 MiB of records, more than the disk takes, in long ones: few enough to
// decode under an emulator too.
constexpr unsigned kCalls = 1500, kPad = 1000;
constexpr long kDiskBytes = 8 << 20;

class FullDisk : public testing::Test {
 protected:
  // Writes `file` until the disk is full; what went wrong, or "".
  std::string fill(const std::string &file, const std::vector<std::string> &environment) {
    std::vector<std::string> env = tracing_to(file);
    env.insert(env.end(), environment.begin(), environment.end());
    const Finished w = run(writer_command("disk", kThreads, kCalls, kPad, 0), dir, env);
    if (w.status != 0) return "writer: status " + std::to_string(w.status) + ": " + w.err;
    const Finished d = run(decode_command(file, false), dir);
    if (d.status != 0) return "decode: status " + std::to_string(d.status) + ": " + d.err;
    if (lines_besides(d.err, kStoppedNotice) == d.err)
      return "decode did not say that recording stopped: " + d.err;
    const Tally t = tally(d.out, kPad);
    uint64_t kept = 0;
    for (const auto &[name, records] : t.records) kept += records;
    if (kept == 0 || kept == kThreads * kCalls * kRecordsPerCall)
      return "records kept: " + std::to_string(kept) + "\n" + t.problems;
    return t.problems + lines_besides(lines_besides(d.err, kStoppedNotice), kUnfinishedNotice);
  }

  const TempDir temp;
  const std::string &dir = temp.path;
};

TEST_F(FullDisk, SpaceRefusedByTheCLibrary) {
  EXPECT_EQ(fill(dir + "/trace", {"TRACED_WRITER_DISK_BYTES=" + std::to_string(kDiskBytes)}), "");
}

// A tmpfs of that size, mounted in a mount namespace of a child's own. Skipped
// where the child may not make one (not root, or in a container that forbids it).
TEST_F(FullDisk, RealTmpfs) {
  int answer[2];
  ASSERT_EQ(pipe(answer), 0);
  fflush(nullptr);
  pid_t child = fork();
  if (child == 0) {
    // Room for the file's first step, not for its second.
    const std::string disk = dir + "/disk", size = "size=" + std::to_string(kDiskBytes * 3 / 2);
    std::string said;
    if (unshare(CLONE_NEWNS) != 0 || mount("none", "/", "none", MS_REC | MS_PRIVATE, nullptr) ||
        mkdir(disk.c_str(), 0700) != 0 ||
        mount("ytrace-test", disk.c_str(), "tmpfs", 0, size.c_str()) != 0)
      said = std::string("skip: no tmpfs of our own: ") + strerror(errno);
    else
      said = fill(disk + "/trace", {});
    _exit(write(answer[1], said.data(), said.size()) == ssize_t(said.size()) ? 0 : 1);
  }
  close(answer[1]);
  std::string said;
  char buf[4096];
  for (ssize_t n; (n = read(answer[0], buf, sizeof buf)) > 0;) said.append(buf, size_t(n));
  close(answer[0]);
  int status = -1;
  waitpid(child, &status, 0);
  ASSERT_EQ(status, 0);
  if (said.starts_with("skip: ")) GTEST_SKIP() << said.substr(6);
  EXPECT_EQ(said, "");
}

}  // namespace

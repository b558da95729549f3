// SPDX-License-Identifier: MIT
// Runs a scenario of the terminal layer in a fresh child process: the end-of-input
// flag and the terminfo entry are process-wide, so no scenario may see another's.
#ifndef YUTIL_TESTS_TERMINAL_HARNESS_H
#define YUTIL_TESTS_TERMINAL_HARNESS_H

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "trace_records.h"
#include "ycurs.h"

using Notes = std::vector<std::string>;
enum class Input { pty, pipe, dev_null };

struct Stage {
  Input input = Input::pty;
  const char *term = "ytest";    // null: TERM unset
  bool private_terminfo = true;  // false: the system's database
  int trace_level = 6;           // highest "ycurs" level kept
  int exit_code = 0;             // how the scenario's process must end
};

// The child's view: descriptor 0 is the input, standard output is captured.
struct Scenario {
  int feed = -1;    // pty master or pipe write end
  int report = -1;  // where notes go
  void note(const std::string &line);
  void note_trace();                    // one note per kept record (see show)
  void type(const std::string &bytes);  // returns once descriptor 0 holds them
  std::string keys(ycurs_ctx_s *ctx);   // ycurs_wgetch results until nothing is left
};

struct Outcome {
  int status = -1;  // wait status
  std::string out, err;
  Notes notes;
};

// The fixture of every suite that needs a pseudo-terminal: where none can be
// opened (a package build's chroot without /dev/pts) its tests are skipped,
// saying which call failed. One that opens but misbehaves still fails them.
struct NeedsPty : testing::Test {
  void SetUp() override;
};

Outcome run_scenario(const Stage &stage, const std::function<void(Scenario &)> &body);

// "ycurs 16 L6 -1"; "+" after the level marks a continuation.
std::string show(const TraceRecord &r);
// "icrnl 0 icanon 0 isig 1 echo 0 min 1 time 0 intr 3"
std::string modes(const termios &t);

// Failures on demand (interpose.cc); 0 passes every call through.
extern int g_fail_tcsetattr_errno, g_fail_fpathconf, g_read_eagain_times, g_read_returns_two,
    g_fail_fork;
// The pids given to kill and waitpid, in order: " kill 12 waitpid 12". kill(-1) fails.
extern std::string g_pids_used;

#endif

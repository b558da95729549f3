// Runs a scenario of the terminal layer in a fresh child process: the end-of-input
// flag and the terminfo entry are process-wide, so no scenario may see another's.
#ifndef YUTIL_TESTS_TERMINAL_HARNESS_H
#define YUTIL_TESTS_TERMINAL_HARNESS_H

#include <functional>
#include <string>
#include <vector>

#include "trace_records.h"
#include "ycurs.h"

enum class Input { pty, pipe, dev_null };

struct Setup {
  Input input = Input::pty;
  const char *term = "ytest";    // null: TERM unset
  bool private_terminfo = true;  // false: the system's terminfo database
  int trace_level = 6;           // highest "ycurs" level kept
};

// The child's side: descriptor 0 is the input; standard output is captured.
struct Scenario {
  int feed = -1;    // pty master or pipe write end
  int report = -1;  // notes go here
  void note(const std::string &line);
  void note_trace();                    // every kept record, one note each
  void type(const std::string &bytes);  // returns once fd 0 holds the bytes
  // Calls ycurs_wgetch until nothing is ready or held; the results, space-separated.
  std::string keys(ycurs_ctx_s *ctx);
};

struct Outcome {
  int status = -1;  // wait status of the child
  std::string out, err;
  std::vector<std::string> notes;
};

Outcome run_scenario(const Setup &setup, const std::function<void(Scenario &)> &body);

// "ycurs 16 L6 -1"; "+" after the level marks a continuation.
std::string show(const TraceRecord &r);

// Controls of the interposed system calls (interpose.cc); 0 means pass through.
extern int g_fail_tcsetattr_errno;
extern int g_fail_fpathconf;
extern int g_read_eagain_times;
extern int g_read_returns_two;

#endif

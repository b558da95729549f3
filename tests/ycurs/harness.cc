// SPDX-License-Identifier: MIT
#include "harness.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>

namespace {

int pending_input() {
  int n = 0;
  ioctl(0, FIONREAD, &n);
  return n;
}

int open_input(Input input, Scenario &s) {
  if (input == Input::dev_null) return open("/dev/null", O_RDONLY);
  if (input == Input::pipe) {
    int p[2];
    if (pipe(p) != 0) return -1;
    s.feed = p[1];
    return p[0];
  }
  s.feed = posix_openpt(O_RDWR | O_NOCTTY);
  grantpt(s.feed);
  unlockpt(s.feed);
  setsid();
  return open(ptsname(s.feed), O_RDWR);
}

std::string contents(FILE *f) {
  std::string s;
  rewind(f);
  for (int c; (c = fgetc(f)) != EOF;) s += static_cast<char>(c);
  fclose(f);
  return s;
}

// Both sides, as devpts may be there without /dev/pts: "" when they open.
std::string pty_missing() {
  int master = posix_openpt(O_RDWR | O_NOCTTY), slave = -1;
  const char *name = nullptr;
  const char *failed = master < 0                                    ? "posix_openpt"
                       : grantpt(master) != 0                        ? "grantpt"
                       : unlockpt(master) != 0                       ? "unlockpt"
                       : !(name = ptsname(master))                   ? "ptsname"
                       : (slave = open(name, O_RDWR | O_NOCTTY)) < 0 ? name
                                                                     : nullptr;
  std::string why =
      failed ? std::string("no pseudo-terminal: ") + failed + ": " + strerror(errno) : "";
  close(slave);
  close(master);
  return why;
}

}  // namespace

void NeedsPty::SetUp() {
  static const std::string missing = pty_missing();
  if (!missing.empty()) GTEST_SKIP() << missing;
}

void Scenario::note(const std::string &line) {
  dprintf(report, "%s\n", line.c_str());
}

void Scenario::note_trace() {
  for (const TraceRecord &r : take_trace()) note(show(r));
}

void Scenario::type(const std::string &bytes) {
  int want = pending_input() + static_cast<int>(bytes.size());
  if (write(feed, bytes.data(), bytes.size()) < 0) _exit(4);
  // A pty hands written bytes over to the reading side a little later.
  for (int i = 0; i < 2000 && pending_input() < want; i++) usleep(1000);
}

std::string Scenario::keys(ycurs_ctx_s *ctx) {
  std::string got;
  for (int i = 0; i < 1000; i++) {
    int k = ycurs_wgetch(ctx);
    if (k == YCURS_NOTHING && ctx->input_read_buf_used == 0 && pending_input() == 0) break;
    if (k == YCURS_NOTHING) continue;
    // Appended piece by piece: g++ 12 at -O3 warns falsely on a concatenation here.
    if (!got.empty()) got += ' ';
    got += std::to_string(k);
  }
  return got;
}

Outcome run_scenario(const Stage &stage, const std::function<void(Scenario &)> &body) {
  FILE *out = tmpfile(), *err = tmpfile(), *notes = tmpfile();
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    alarm(20);  // a scenario that hangs dies instead
    stage.term ? setenv("TERM", stage.term, 1) : unsetenv("TERM");
    stage.private_terminfo ? setenv("TERMINFO", YTEST_TERMINFO_DIR, 1) : unsetenv("TERMINFO");
    ytrace_capture_set_level("ycurs", stage.trace_level);
    Scenario s;
    s.report = fileno(notes);
    int in = open_input(stage.input, s);
    dup2(in, 0), dup2(fileno(out), 1), dup2(fileno(err), 2), close(in);
    take_trace();
    body(s);
    _exit(0);
  }
  Outcome o;
  waitpid(pid, &o.status, 0);
  // A memory checker that follows the child tells of what it found there this way too.
  EXPECT_TRUE(WIFEXITED(o.status) && WEXITSTATUS(o.status) == stage.exit_code) << o.status;
  o.out = contents(out);
  o.err = contents(err);
  std::istringstream lines(contents(notes));
  for (std::string l; std::getline(lines, l);) o.notes.push_back(l);
  return o;
}

std::string show(const TraceRecord &r) {
  std::ostringstream os;
  os << catalog_name(r.catalog) << ' ' << r.index << " L" << r.level()
     << (r.continuation() ? "+" : "");
  for (const auto &a : r.args) {
    if (auto s = std::get_if<std::string>(&a))
      os << " \"" << *s << '"';
    else
      os << ' ' << static_cast<int32_t>(std::get<uint64_t>(a));
  }
  if (r.module_id == 0 || r.module_id != g_ycurs_trace_module_id) os << " module " << r.module_id;
  if ((r.level_word & ~0xff010000u) != 0) os << " word " << r.level_word;
  return os.str();
}

std::string modes(const termios &t) {
  std::ostringstream os;
  os << "icrnl " << !!(t.c_iflag & ICRNL) << " icanon " << !!(t.c_lflag & ICANON) << " isig "
     << !!(t.c_lflag & ISIG) << " echo " << !!(t.c_lflag & ECHO) << " min " << +t.c_cc[VMIN]
     << " time " << +t.c_cc[VTIME] << " intr " << +t.c_cc[VINTR];
  return os.str();
}

#include "harness.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <sstream>

namespace {

void sleep_ms(long ms) {
  timespec t = {0, ms * 1000000};
  nanosleep(&t, nullptr);
}

int pending_input() {
  int n = 0;
  ioctl(0, FIONREAD, &n);
  return n;
}

void set_up_child(const Setup &setup, Scenario &s, int out, int err) {
  alarm(20);  // a scenario that hangs dies instead
  if (setup.term)
    setenv("TERM", setup.term, 1);
  else
    unsetenv("TERM");
  if (setup.private_terminfo)
    setenv("TERMINFO", YTEST_TERMINFO_DIR, 1);
  else
    unsetenv("TERMINFO");
  ytrace_capture_set_level("ycurs", setup.trace_level);

  int in = -1;
  if (setup.input == Input::pty) {
    s.feed = posix_openpt(O_RDWR | O_NOCTTY);
    grantpt(s.feed);
    unlockpt(s.feed);
    setsid();
    in = open(ptsname(s.feed), O_RDWR);
  } else if (setup.input == Input::pipe) {
    int p[2];
    if (pipe(p) == 0) in = p[0], s.feed = p[1];
  } else {
    in = open("/dev/null", O_RDONLY);
  }
  dup2(in, 0);
  close(in);
  dup2(out, 1);
  dup2(err, 2);
  take_trace();
}

}  // namespace

void Scenario::note(const std::string &line) {
  std::string l = line + "\n";
  if (write(report, l.data(), l.size()) < 0) _exit(3);
}

void Scenario::note_trace() {
  for (const TraceRecord &r : take_trace()) note(show(r));
}

void Scenario::type(const std::string &bytes) {
  int want = pending_input() + static_cast<int>(bytes.size());
  if (write(feed, bytes.data(), bytes.size()) < 0) _exit(4);
  // A pty hands written bytes to the reading side a little later.
  for (int i = 0; i < 2000 && pending_input() < want; i++) sleep_ms(1);
}

std::string Scenario::keys(ycurs_ctx_s *ctx) {
  std::string got;
  for (int i = 0; i < 1000; i++) {
    int k = ycurs_wgetch(ctx);
    if (k == YCURS_NOTHING && ctx->input_read_buf_used == 0 && pending_input() == 0) break;
    if (k != YCURS_NOTHING) got += (got.empty() ? "" : " ") + std::to_string(k);
  }
  return got;
}

Outcome run_scenario(const Setup &setup, const std::function<void(Scenario &)> &body) {
  int out[2], err[2], rep[2];
  if (pipe(out) || pipe(err) || pipe(rep)) return {};
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    Scenario s;
    s.report = rep[1];
    set_up_child(setup, s, out[1], err[1]);
    close(out[0]), close(err[0]), close(rep[0]), close(out[1]), close(err[1]);
    body(s);
    _exit(0);
  }
  close(out[1]), close(err[1]), close(rep[1]);

  Outcome o;
  std::string notes;
  pollfd fds[3] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {rep[0], POLLIN, 0}};
  std::string *sink[3] = {&o.out, &o.err, &notes};
  for (int open_fds = 3; open_fds > 0 && poll(fds, 3, -1) > 0;) {
    for (int i = 0; i < 3; i++) {
      if (fds[i].revents == 0) continue;
      char buf[4096];
      ssize_t n = read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        sink[i]->append(buf, n);
      } else {
        close(fds[i].fd);
        fds[i].fd = -1;
        open_fds--;
      }
    }
  }
  waitpid(pid, &o.status, 0);
  std::istringstream lines(notes);
  for (std::string l; std::getline(lines, l);) o.notes.push_back(l);
  return o;
}

std::string show(const TraceRecord &r) {
  static const char *const catalogs[] = {"ycurs", "yenv", "patch_utils"};
  std::ostringstream os;
  os << catalogs[static_cast<int>(r.catalog) % 3] << ' ' << r.index << " L" << r.level()
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

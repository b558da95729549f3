// The trace stand-in's YTRACE_LEVEL forms. The stand-in reads the variable once per
// process, so all tracing happens in forked children, never in this process.
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "ytrace.h"
#include "ytrace_capture.h"

namespace {

const unsigned char kIdentity[16] = {0xc5, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 0xfe};

uint16_t registered(const char *name) {
  uint16_t id = 0;
  uint32_t word = 0;
  ytrace_module_init_fn(name, &id, &word);
  return id;
}

// Runs `body` in a forked child; returns what the child wrote on stderr, then the
// body's answer.
std::string in_child(const std::function<std::string()> &body) {
  FILE *out = tmpfile();
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(fileno(out), 2);
    std::string answer = body();
    _exit(write(2, answer.data(), answer.size()) == ssize_t(answer.size()) ? 0 : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  rewind(out);
  std::string got;
  for (int c; (c = fgetc(out)) != EOF;) got += char(c);
  fclose(out);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? got : "child failed: " + got;
}

TEST(TraceLevels, EnvironmentSetsDefaultAndPerModuleLevels) {
  struct {
    const char *env;
    const char *kept;  // highest level kept by yenv, ycurs, another module, no module
  } cases[] = {
      {nullptr, "6 6 6 6"},
      {"7", "7 7 7 7"},
      {"yenv:7,ycurs:3", "7 3 6 6"},
      {"3,yenv:7", "7 3 3 3"},
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
        answer += (answer.empty() ? "" : " ") + std::to_string(int(ytrace_capture_count()) - 1);
      }
      return answer;
    });
    EXPECT_EQ(kept, c.kept) << (c.env ? c.env : "(unset)");
  }
}

}  // namespace

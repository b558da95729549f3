// SPDX-License-Identifier: MIT
#include "programs.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

// A program with the emulator before it, as CMake hands it over: words apart.
std::vector<std::string> words(const std::string &text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

}  // namespace

std::vector<std::string> writer_command(const std::string &name, int threads, unsigned calls,
                                        unsigned pad, unsigned pause_us) {
  std::vector<std::string> c = words(TRACED_WRITER);
  c.insert(c.end(), {name, std::to_string(threads), std::to_string(calls), std::to_string(pad),
                     std::to_string(pause_us)});
  return c;
}

std::vector<std::string> tracing_to(const std::string &file) {
  return {"YTRACE_FILE=" + file, "YTRACE_LEVEL=yenv:6"};
}

bool emulated() {
  return words(TRACED_WRITER).size() > 1;
}

std::vector<std::string> decode_command(const std::string &file, bool follow) {
  std::vector<std::string> c = words(YTRACE_DECODE);
  if (follow) c.push_back("--follow");
  c.insert(c.end(), {file, "--lib", YUTIL_LIBRARY});
  return c;
}

pid_t launch(const std::vector<std::string> &command, int out, const std::string &err,
             const std::vector<std::string> &environment) {
  fflush(nullptr);
  pid_t pid = fork();
  if (pid != 0) return pid;
  std::vector<char *> argv;
  for (const std::string &w : command) argv.push_back(const_cast<char *>(w.c_str()));
  argv.push_back(nullptr);
  for (const std::string &e : environment) putenv(const_cast<char *>(e.c_str()));
  int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (e >= 0 && dup2(out, 1) == 1 && dup2(e, 2) == 2) execvp(argv[0], argv.data());
  _exit(127);
}

Finished run(const std::vector<std::string> &command, const std::string &dir,
             const std::vector<std::string> &environment) {
  const std::string out = dir + "/run.out", err = dir + "/run.err";
  int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  Finished f{-1, "", ""};
  pid_t pid = launch(command, fd, err, environment);
  close(fd);
  waitpid(pid, &f.status, 0);
  f.out = contents(out), f.err = contents(err);
  return f;
}

// In one piece, not a line at a time: outputs run to megabytes.
std::string contents(const std::string &path) {
  std::ostringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return s.str();
}

TempDir::TempDir() {
  char tmpl[] = "/tmp/ytrace_stress_XXXXXX";
  path = mkdtemp(tmpl) != nullptr ? tmpl : "/nonexistent";
}

TempDir::~TempDir() {
  std::filesystem::remove_all(path);
}

// SPDX-License-Identifier: MIT
// traced_writer NAME THREADS CALLS PAD PAUSE: THREADS threads each store and read
// back the numbers 0 .. CALLS - 1 (CALLS 0: until killed), after PAD spaces, in a
// variable of their own, NAME_t<thread>, through libyutil, which leaves records
// that name the variable and hold the text; each call is followed by a pause of
// PAUSE microseconds, so that a follower meets the file while it is written. Prints "started" once
// every thread has made a call; exits 1 when a call answered wrong. A program of its own, so that
// its threads start in a fresh process and the trace stand-in reads YTRACE_FILE anew.
#include <stdio.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "yenv.h"

int main(int argc, char **argv) {
  if (argc != 6) return fputs("usage: traced_writer NAME THREADS CALLS PAD PAUSE\n", stderr), 2;
  const int threads = atoi(argv[2]);
  const uint32_t calls = uint32_t(strtoul(argv[3], nullptr, 10));
  const std::string pad(strtoul(argv[4], nullptr, 10), ' ');
  const std::chrono::microseconds rest(atoi(argv[5]));
  std::vector<std::string> names;
  // Made before any thread runs: setenv then only replaces values, and never moves
  // the environment that other threads' getenv is reading.
  for (int t = 0; t < threads; t++) {
    names.push_back(std::string(argv[1]) + "_t" + std::to_string(t));
    setenv(names.back().c_str(), "", 1);
  }
  yenv_init();
  std::latch started(threads);
  std::atomic<bool> wrong{false};
  std::vector<std::thread> running;
  for (const std::string &name : names)
    running.emplace_back([&, name] {
      for (uint32_t i = 0; calls == 0 || i < calls; i++) {
        uint32_t back = ~i;
        const std::string text = pad + std::to_string(i);
        if (ysetenv(name.c_str(), text.c_str()) != 0 || ygetenv_u32(name.c_str(), &back) != 0 ||
            back != i)
          wrong = true, fprintf(stderr, "%s: %u read back as %u\n", name.c_str(), i, back);
        if (i == 0) started.count_down();
        std::this_thread::sleep_for(rest);
      }
    });
  started.wait();
  puts("started");
  fflush(stdout);
  for (std::thread &t : running) t.join();
  return wrong ? 1 : 0;
}

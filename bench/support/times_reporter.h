// SPDX-License-Identifier: MIT
// The console report of a benchmark program, with each benchmark's time per
// iteration kept by name for the ratios the program prints after its runs.
#ifndef YUTIL_BENCH_TIMES_REPORTER_H
#define YUTIL_BENCH_TIMES_REPORTER_H

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

class TimesReporter : public benchmark::ConsoleReporter {
 public:
  enum class Clock { real, cpu };  // real: wall or manual time
  explicit TimesReporter(Clock clock = Clock::real);
  void ReportRuns(const std::vector<Run> &runs) override;
  // The time of one iteration of the benchmark `name`, as the report names it
  // without an aggregate's suffix: the median of its repetitions (or its one
  // run); 0 when it did not run or failed.
  double time(const std::string &name) const;
  // The counter `key` of the benchmark `name`, its median as time(name)'s.
  double counter(const std::string &name, const std::string &key) const;
  // time(name) / time(base); 0 when either is missing.
  double ratio(const std::string &name, const std::string &base) const;

 private:
  Clock clock_;
  std::map<std::string, std::vector<double>> runs_;
  std::map<std::string, double> medians_;
};

#endif

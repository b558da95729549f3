// SPDX-License-Identifier: MIT
#include "times_reporter.h"

#include <unistd.h>

#include <algorithm>

namespace {

// Benchmark 1.8 folded Run::error_occurred into Run::skipped; either way the run
// measured nothing worth keeping.
template <typename R>
bool measured_nothing(const R &r) {
  if constexpr (requires { r.skipped; }) {
    return static_cast<bool>(r.skipped);
  } else {
    return r.error_occurred;
  }
}

}  // namespace

TimesReporter::TimesReporter(Clock clock)
    : ConsoleReporter(isatty(1) ? OO_Defaults : OO_None), clock_(clock) {}

void TimesReporter::ReportRuns(const std::vector<Run> &runs) {
  ConsoleReporter::ReportRuns(runs);
  for (const Run &r : runs) {
    if (measured_nothing(r)) continue;
    double t = clock_ == Clock::cpu ? r.GetAdjustedCPUTime() : r.GetAdjustedRealTime();
    const std::string name = r.run_name.str();
    if (r.run_type == Run::RT_Iteration) {
      runs_[name].push_back(t);
      for (const auto &[key, c] : r.counters) runs_[name + "#" + key].push_back(c.value);
    } else if (r.aggregate_name == "median") {
      medians_[name] = t;
      for (const auto &[key, c] : r.counters) medians_[name + "#" + key] = c.value;
    }
  }
}

double TimesReporter::time(const std::string &name) const {
  if (auto m = medians_.find(name); m != medians_.end()) return m->second;
  auto it = runs_.find(name);
  if (it == runs_.end()) return 0;
  std::vector<double> v = it->second;
  std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
  return v[v.size() / 2];
}

double TimesReporter::counter(const std::string &name, const std::string &key) const {
  return time(name + "#" + key);
}

double TimesReporter::ratio(const std::string &name, const std::string &base) const {
  double t = time(name), b = time(base);
  return t > 0 && b > 0 ? t / b : 0;
}

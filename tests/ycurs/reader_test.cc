// The key reader on a real descriptor: what its poll and read meet. How the bytes
// are decoded is checked on the decoding itself (reader_fuzz.cc).
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "harness.h"

namespace {

// End of input holds for every context of the process: none reads again. A read
// that would block after a successful poll is tried again at once.
TEST(KeyReader, EndOfInputEndsEveryContextAndWouldBlockIsRetried) {
  Outcome o = run_scenario({Input::pipe}, [](Scenario &s) {
    ycurs_ctx_s *first = ycurs_initterm();
    s.type("a");
    g_read_eagain_times = 3;
    int k = ycurs_wgetch(first);
    s.note(std::to_string(k) + " after " + std::to_string(3 - g_read_eagain_times) + " retries");
    close(s.feed);
    s.note(std::to_string(ycurs_wgetch(first)));
    int p[2], unread = 0;
    if (pipe(p) != 0 || write(p[1], "zz", 2) != 2) return;
    dup2(p[0], 0);
    ycurs_ctx_s *second = ycurs_initterm();
    s.note(std::to_string(ycurs_wgetch(second)));
    ioctl(0, FIONREAD, &unread);
    s.note("unread " + std::to_string(unread));
    ycurs_free(first);
    ycurs_free(second);
  });
  EXPECT_EQ(o.notes, (Notes{"97 after 3 retries", "-2", "-2", "unread 2"}));
}

}  // namespace

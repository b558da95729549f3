// SPDX-License-Identifier: MIT
// Package path redirection against real entries under /tmp/lf/.
#include "yelmir_pkg_file_path.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "trace_records.h"

namespace {

// /tmp/lf is shared and test processes may run side by side: one at a time
// creates it, fills it and removes what it made, so no run deletes the directory
// under another's files. The lock on /tmp itself leaves nothing behind. An entry
// not made shows as a case not redirected, but for the dangling link.
TEST(PkgFilePath, RedirectsOnlyToEntriesThatExist) {
  int lock = open("/tmp", O_RDONLY | O_DIRECTORY);
  ASSERT_EQ(flock(lock, LOCK_EX), 0);
  const bool made_lf = mkdir("/tmp/lf", 0755) == 0;
  const std::string stem = "yutil_pkg_test_" + std::to_string(getpid()) + "_";
  const std::string lf = "/tmp/lf/" + stem, sw = "/tmp/sw/" + stem;
  close(open((lf + "file").c_str(), O_CREAT | O_WRONLY, 0644));
  close(open((lf + "unreadable").c_str(), O_CREAT | O_WRONLY, 0000));
  mkdir((lf + "dir").c_str(), 0755);
  EXPECT_EQ(symlink((lf + "nowhere").c_str(), (lf + "dangling").c_str()), 0);
  struct Case {
    std::string path, expected;
  } cases[] = {{sw + "file", lf + "file"},         {sw + "unreadable", lf + "unreadable"},
               {sw + "dir", lf + "dir"},           {sw + "missing", sw + "missing"},
               {sw + "dangling", sw + "dangling"}, {"/tmp/sw/", "/tmp/lf/"}};
  take_trace();
  for (Case &c : cases) {
    EXPECT_EQ(yelmir_get_pkg_file_path(c.path.data()), 1);
    EXPECT_EQ(c.path, c.expected);
  }
  EXPECT_EQ(take_trace(), std::vector<TraceRecord>{});
  for (const char *name : {"file", "unreadable", "dangling"}) unlink((lf + name).c_str());
  rmdir((lf + "dir").c_str());
  if (made_lf) rmdir("/tmp/lf");
  close(lock);
}

TEST(PkgFilePath, RefusesNullAndOtherPrefixesWithOneRecord) {
  g_patch_utils_trace_module_id = 0x4242;  // as if registered elsewhere
  for (const char *original : {"/tmp/sw", "/tmp/swx/a", "/TMP/sw/a", "/tmp/lf/a.bin", ""}) {
    std::string path = original;
    take_trace();
    EXPECT_EQ(yelmir_get_pkg_file_path(path.data()), 0);
    EXPECT_EQ(path, original);
    std::vector<TraceRecord> expected = {{Catalog::patch_utils, 1, 0x4242, 3u << 24, {}}};
    EXPECT_EQ(take_trace(), expected) << original;
  }
  g_patch_utils_trace_module_id = 0;
  EXPECT_EQ(yelmir_get_pkg_file_path(nullptr), 0);
  std::vector<TraceRecord> expected = {{Catalog::patch_utils, 0, 0, 3u << 24, {}}};
  EXPECT_EQ(take_trace(), expected);
}

}  // namespace

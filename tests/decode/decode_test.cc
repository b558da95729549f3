// SPDX-License-Identifier: MIT
// The trace decoder, through its C interface, on trace files built here with the
// built library's catalogs: each message's text, lengths as printf gives them,
// records it can only show raw, continuations, the merge of blocks, what the
// file says of its writers, damage, a follower's reads, and catalog sets it
// refuses.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include <gtest/gtest.h>

#include "decoding.h"
#include "entry_builder.h"
#include "printf_format.h"
#include "trace.h"
#include "ytrace_file_format.h"

namespace {

namespace b = ytdec::build;
using ytrace::Catalog;

// Decodes from memory, from a file and from a pipe, which must agree.
Decoded decode(const std::string &file) {
  std::string load_error;
  Decoded r = decode_with(YUTIL_LIBRARY, &load_error, file, Via::kMemory);
  EXPECT_EQ(load_error, "");
  EXPECT_EQ(decode_with(YUTIL_LIBRARY, &load_error, file, Via::kFile), r) << "read from a file";
  EXPECT_EQ(decode_with(YUTIL_LIBRARY, &load_error, file, Via::kPipe), r) << "read from a pipe";
  return r;
}

const std::vector<ytcat::Catalog> &catalogs() {
  static const ytcat::ReadResult r = ytcat::read_catalog_file(YUTIL_LIBRARY);
  EXPECT_EQ(r.file.catalogs.size(), 3u) << r.error;
  return r.file.catalogs;
}

const ytcat::Catalog &catalog(Catalog c) {
  return catalogs().at(static_cast<size_t>(c));
}

std::string hex(const ytcat::Identity &identity) {
  return ytcat::to_hex(identity.data(), identity.size());
}

constexpr uint32_t kBlock = 4096;
constexpr uint64_t kTime = 1700000000123456789;  // 22:13:20.123456 UTC
const std::string kHead = "22:13:20.123456 7/8 yenv L3 ";
const uint32_t kLevel = ytrace::level_word(ytrace::Level::failure);

// Site `site` of yenv message `msg`, module 5 named `name`, its arguments of
// the types of `like`.
std::string def(uint16_t site, yenv_msg::Id msg, const std::vector<b::Value> &like,
                uint32_t flags = 0, std::string_view name = "yenv") {
  return b::definition(site, catalog(Catalog::yenv).identity, static_cast<uint32_t>(msg),
                       kLevel | flags, 5, name, b::tags(like));
}
const std::string kSites = def(1, yenv_msg::GETENV, {""}) + def(2, yenv_msg::SET_ADDR, {"", 0u}) +
                           def(3, yenv_msg::ADDR_BYTE, {0u}, YTRACE_CONTINUATION);
// A record `dt` nanoseconds after kTime.
std::string rec(uint16_t site, uint64_t dt, const std::vector<b::Value> &args) {
  return b::record(site, kTime + dt, args);
}
std::string getenv(uint64_t dt, const char *name) {
  return rec(1, dt, {name});
}
std::string block(const std::string &entries, uint32_t tid = 8, uint32_t pid = 7,
                  uint64_t instance = 0, uint64_t taken = kTime) {
  return b::block({pid, tid, instance, taken}, entries, kBlock);
}
std::string file(const std::vector<std::string> &blocks) {
  return b::file(blocks, kBlock);
}
// The file offset of the entry `before` bytes after block `n`'s sites.
size_t at(uint32_t n, size_t before) {
  return n * kBlock + YTRACE_BLOCK_HEADER_SIZE + kSites.size() + before;
}
std::string patched(std::string s, size_t at, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) s[at + i] = static_cast<char>(value >> (8 * i));
  return s;
}
// The last character of each line: the one-letter names the records carry.
std::string order(const std::vector<std::string> &lines) {
  std::string out;
  for (const std::string &l : lines) out += l.back();
  return out;
}

uint64_t now_ns() {
  timespec t;
  clock_gettime(CLOCK_REALTIME, &t);
  return uint64_t(t.tv_sec) * 1000000000 + uint64_t(t.tv_nsec);
}

// Each message of the library's catalogs, in a record without arguments, shows
// its own text: formatted when it takes none, quoted in the refusal otherwise.
// How texts are formatted: printf_format_fuzz and the lengths test below.
TEST(Decode, EveryMessageOfTheLibraryShowsItsOwnText) {
  std::string entries;
  std::vector<std::string> want;
  uint16_t site = 0;
  for (const ytcat::Catalog &c : catalogs()) {
    for (const ytcat::Message &m : c.messages) {
      ++site;
      entries += b::definition(site, c.identity, m.index, kLevel, 5, "yenv", "") +
                 b::record(site, kTime, {});
      want.push_back(kHead +
                     (m.text.find('%') == std::string::npos
                          ? m.text
                          : "[catalog " + hex(c.identity) + " index " + std::to_string(m.index) +
                                ": arguments do not fit \"" + m.text + "\"]"));
    }
  }
  EXPECT_EQ(want.size(), 21u + 55 + 2);
  const std::string f =
      b::file({b::block({7, 8, 0, kTime}, entries, YTRACE_BLOCK_SIZE)}, YTRACE_BLOCK_SIZE);
  EXPECT_EQ(decode(f), (Decoded{want, {}, "", 1}));
}

// Lengths as the writer's processor reads them; printf_format_fuzz holds the
// texts without a length against printf itself.
TEST(Decode, FormatsLengthsAsPrintfAndRefusesWhatItCannotReproduce) {
  using ytdec::Arg;
  auto n = [](uint32_t v) { return Arg{YTRACE_ARG_U32, v, {}}; };
  auto w = [](uint64_t v) { return Arg{YTRACE_ARG_U64, v, {}}; };
  const struct {
    const char *text;
    std::vector<Arg> args;
    std::string printed;
  } cases[] = {
      {"[%ld|%lu|%lx|%ld|%li]",
       {n(0xffffffff), n(0xffffffff), n(0xffffffff), w(-5), w(uint64_t{1} << 40)},
       "[-1|4294967295|ffffffff|-5|1099511627776]"},
      {"[%lld|%llu|%.12llX|%+lld]",
       {w(-1), w(-1), w(0xabc), w(9)},
       "[-1|18446744073709551615|000000000ABC|+9]"},
  };
  for (const auto &c : cases) {
    ytdec::PrintfFormat f;
    std::string why, out;
    ASSERT_TRUE(f.compile(c.text, &why)) << c.text << ": " << why;
    ASSERT_TRUE(f.fits(c.args)) << c.text;
    f.append(c.args, out);
    EXPECT_EQ(out, c.printed) << c.text;
  }
  for (const char *text : {"%f", "%n", "%*d", "%.*s", "%p", "%hd", "%ls", "%lc", "%lllu", "%5%",
                           "ends in %", "%4097d", "%.4097s"}) {
    ytdec::PrintfFormat f;
    std::string why;
    EXPECT_FALSE(f.compile(text, &why)) << text;
    EXPECT_TRUE(why.starts_with("unsupported conversion \"%")) << text << ": " << why;
  }
}

TEST(Decode, LinesJoinContinuationsNameModulesAndShowWhatCannotBeFormatted) {
  using namespace yenv_msg;
  const std::string yenv = "[catalog " + hex(catalog(Catalog::yenv).identity);
  const struct {
    const char *what;
    std::vector<std::string> blocks;
    std::vector<std::string> lines;
    size_t at_end;
  } cases[] = {
      {"module named by its site's definition, else by its id",
       {block(kSites + def(4, GETENV, {""}, 0, "") + getenv(0, "A") + rec(4, 1, {"B"}))},
       {kHead + "getenv A", "22:13:20.123456 7/8 5 L3 getenv B"},
       1},
      {"continuations join their thread's line across other threads' records",
       {block(kSites + rec(2, 0, {"P", 2u}) + rec(3, 2, {0xc0u}) + rec(3, 3, {0xa8u}) +
              getenv(4, "Y")),
        block(kSites + getenv(1, "X"), 9)},
       {kHead + "setenv P address family 2 value  c0 a8", "22:13:20.123456 7/9 yenv L3 getenv X",
        kHead + "getenv Y"},
       2},
      {"nor across two processes that had one pid, whose modules stay their own",
       {block(kSites + rec(2, 0, {"P", 2u}), 8, 7, 100),
        block(def(3, ADDR_BYTE, {0u}, YTRACE_CONTINUATION, "") + rec(3, 1, {0xc0u}), 8, 7, 200)},
       {kHead + "setenv P address family 2 value ", "22:13:20.123456 7/8 5 L3 ...  c0"},
       2},
      {"control characters escaped",
       {block(kSites + getenv(0, "a\nb\x1b\t\x7f\\"))},
       {kHead + "getenv a\\nb\\x1b\\t\\x7f\\"},
       1},
      {"unknown catalog",
       {block(b::definition(1, {0xab}, 1, kLevel, 5, "yenv", b::tags({"", 0u, uint64_t{0}})) +
              rec(1, 0, {"A", 7u, uint64_t{9}}))},
       {kHead + "[catalog ab000000000000000000000000000000 index 1: unknown catalog] 1:\"A\" "
                "4:7 5:9"},
       1},
      {"unknown message",
       {block(def(1, static_cast<yenv_msg::Id>(55), {}) + rec(1, 0, {}))},
       {kHead + yenv + " index 55: unknown message]"},
       1},
      {"arguments that do not fit",
       {block(kSites + def(4, GETENV, {0u}) + def(5, GETENV, {}) + def(6, GETENV, {"", ""}) +
              def(7, SET_S64, {"", 0u}) + def(8, SET_U32, {"", uint64_t{0}}) +
              def(9, ADDR_BYTE, {""}, YTRACE_CONTINUATION) + rec(4, 0, {7u}) + rec(5, 0, {}) +
              rec(6, 0, {"q\"\\", "x"}) + rec(7, 0, {"N", 5u}) + rec(8, 0, {"N", uint64_t{5}}) +
              getenv(0, "A") + rec(9, 0, {"zz"}))},
       {kHead + yenv + " index 1: arguments do not fit \"getenv %s\"] 4:7",
        kHead + yenv + " index 1: arguments do not fit \"getenv %s\"]",
        kHead + yenv + " index 1: arguments do not fit \"getenv %s\"] 1:\"q\\\"\\\\\" 1:\"x\"",
        kHead + yenv + " index 45: arguments do not fit \"setenv %s signed 64 bit value %lld\"] " +
            "1:\"N\" 4:5",
        kHead + yenv + " index 36: arguments do not fit \"setenv %s unsigned 32 bit value %u\"] " +
            "1:\"N\" 5:5",
        kHead + "getenv A " + yenv + " index 51: arguments do not fit \" %x\"] 1:\"zz\""},
       1},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(decode(file(c.blocks)), (Decoded{c.lines, {}, "", c.at_end})) << c.what;
  }
}

// Records come in order of time, then of block number; the blocks a writer
// never wrote, or that lie past where recording stopped or the file ends, and
// entries a writer never finished hold nothing.
TEST(Decode, MergesTheBlocksAndSaysWhatTheirWritersLeftUndone) {
  const std::string abc = block(kSites + getenv(0, "a") + getenv(2, "c"));
  const std::string unfinished = "offset " + std::to_string(at(1, getenv(0, "a").size())) +
                                 ": an entry its writer never finished, skipped";
  const struct {
    const char *what;
    std::string file;
    std::string order;
    std::vector<std::string> notices;
  } cases[] = {
      {"times interleaved, ties by block number",
       file({block(kSites + getenv(0, "a") + getenv(2, "c") + getenv(2, "d"), 8),
             block(kSites + getenv(1, "b") + getenv(2, "e") + getenv(3, "f"), 9)}),
       "abcdef",
       {}},
      {"a block taken after those after it",
       file({block(kSites + getenv(5, "c"), 8, 7, 0, kTime + 5),
             block(kSites + getenv(0, "a") + getenv(6, "d"), 9),
             block(kSites + getenv(1, "b"), 10, 7, 0, kTime + 1)}),
       "abcd",
       {}},
      {"a block taken but never written",
       file({abc, std::string(kBlock, 0), block(kSites + getenv(1, "b"), 9)}),
       "abc",
       {}},
      {"no entry after a closed head",
       file({block(kSites + getenv(0, "a") + b::head(YTRACE_HEAD_CLOSED) + getenv(1, "b"))}),
       "a",
       {}},
      {"an entry never finished",
       file({block(kSites + getenv(0, "a") + b::head(YTRACE_HEAD_WRITING) + getenv(1, "x")),
             block(kSites + getenv(1, "b") + getenv(2, "c"), 9)}),
       "abc",
       {unfinished}},
      {"recording stopped at a block",
       b::file({abc, block(kSites + getenv(1, "b"), 9)}, kBlock, 2, ENOSPC),
       "ac",
       {"recording stopped early: block 2 could not be had (" + std::string(strerror(ENOSPC)) +
        ")"}},
      {"blocks taken past the file's end",
       patched(file({abc}), YTRACE_FILE_TAKEN_OFFSET, 9, 4),
       "ac",
       {}},
  };
  for (const auto &c : cases) {
    Decoded d = decode(c.file);
    EXPECT_EQ(order(d.lines), c.order) << c.what;
    EXPECT_EQ(d.notices, c.notices) << c.what;
    EXPECT_EQ(d.error, "") << c.what;
  }
}

TEST(Decode, StopsAtDamageWithItsOffset) {
  const std::string good = file({block(kSites + getenv(0, "a") + getenv(1, "b"))});
  const size_t second = at(1, getenv(0, "a").size()), zeros = at(1, 2 * getenv(0, "b").size());
  auto offset = [](size_t at) { return "offset " + std::to_string(at) + ": "; };
  auto head = [](size_t size, uint16_t site) { return site << YTRACE_HEAD_SITE_SHIFT | size; };
  const std::string bad_tag = b::definition(4, {}, 0, 0, 0, "", std::string(1, 9));
  const struct {
    const char *what;
    std::string file;
    size_t lines;
    std::string error;
  } cases[] = {
      {"empty", "", 0, "offset 0: the file ends before the end of its header"},
      {"cut in the header", good.substr(0, 5), 0, "offset 0: the file ends before"},
      {"not a trace file", patched(good, 0, 'X', 1), 0, "offset 0: not a trace file"},
      {"header of zero bytes", std::string(kBlock, 0), 0, "offset 0: not a trace file"},
      {"other version", patched(good, 4, 2, 2), 0,
       "offset 0: file format version 2, this decoder reads version 3"},
      {"block size not a multiple of pages", patched(good, 8, 6000, 4), 0,
       "offset 0: block size 6000 is not a multiple of 4096"},
      {"header size not a multiple", patched(good, 6, 34, 2), 0, "offset 0: header size 34 is"},
      {"entry size not a multiple", patched(good, second, head(14, 1), 4), 1,
       offset(second) + "entry size 14 is not a multiple of 4 from 12 on"},
      {"record smaller than its fixed part", patched(good, second, head(8, 1), 4), 1,
       offset(second) + "entry size 8 is not a multiple of 4 from 12 on"},
      {"entry past its block", patched(good, zeros, head(0xfffc, 1), 4), 2,
       offset(zeros) + "entry of size 65532 runs past the end of its block"},
      {"file ending inside an entry", good.substr(0, second + 6), 1,
       offset(second) + "the file ends inside an entry of size 16"},
      {"record of a site not defined before", patched(good, second, head(16, 9), 4), 1,
       offset(second) + "record of site 9, which its block does not define before it"},
      {"arguments past the entry", patched(good, second + 12, 9, 2), 1,
       offset(second) + "argument 1 runs past the end of the entry"},
      {"bytes after the arguments and padding", patched(good, second + 15, 1, 1), 1,
       offset(second) + "record of size 16 has bytes left over after its fields"},
      {"a site defined again", std::string(good).replace(zeros, kSites.size(), kSites), 2,
       offset(zeros) + "definition of site 1, which its block defined before"},
      {"damage in a block taken after the records before it",
       file({block(kSites + getenv(0, "a") + getenv(1, "b")),
             block(kSites + rec(9, 5, {}), 9, 7, 0, kTime + 5)}),
       2, offset(at(2, 0)) + "record of site 9, which its block does not define before it"},
      {"an argument of unknown type", std::string(good).replace(zeros, bad_tag.size(), bad_tag), 2,
       offset(zeros) + "argument 1 of site 4 has the unknown type 9"},
  };
  for (const auto &c : cases) {
    Decoded d = decode(c.file);
    EXPECT_EQ(d.lines.size(), c.lines) << c.what;
    EXPECT_TRUE(d.error.starts_with(c.error)) << c.what << ": " << d.error;
  }
}

uint64_t own_instance() {
  std::ifstream in("/proc/self/stat");
  std::string stat{std::istreambuf_iterator<char>(in), {}}, field;
  std::istringstream fields(stat.substr(stat.rfind(')') + 2));
  for (int i = 3; i <= 22; ++i) fields >> field;
  return std::stoull(field);
}

// A follower hands out a record only once no block can still get an earlier
// one, and goes on where it stopped as the file is written.
TEST(Decode, AFollowerHoldsBackWhatAWriterMayStillPrecede) {
  const uint32_t self = static_cast<uint32_t>(getpid());
  const uint64_t later = now_ns() + 3600000000000 - kTime;  // in an hour
  const std::string writing = b::head(YTRACE_HEAD_WRITING);
  auto writer = [&](uint32_t pid, uint64_t instance, const std::string &entry) {
    return file({block(kSites + getenv(0, "a") + entry, 8, pid, instance),
                 block(kSites + getenv(2, "b") + getenv(3, "c"), 9)});
  };
  const std::string whole = writer(self, own_instance(), getenv(1, "x"));
  const struct {
    const char *what;
    std::string first, then;  // the file at the first read, at the second
    std::string order, then_order, at_end;
    size_t notices;
    std::string error;
  } cases[] = {
      {"no header yet", "", whole, "", "axbc", "", 0, ""},
      {"header cut", whole.substr(0, 10), whole, "", "axbc", "", 0, ""},
      {"header of zero bytes", std::string(whole.size(), 0), whole, "", "axbc", "", 0, ""},
      {"a record later than the reader's clock",
       file({block(kSites + getenv(0, "a") + getenv(later, "z")), std::string(kBlock, 0)}), "", "a",
       "", "z", 0, ""},
      {"an entry written by a live writer", writer(self, own_instance(), writing), whole, "a",
       "axbc", "", 0, ""},
      {"its process gone", writer(INT32_MAX, 0, writing), "", "abc", "", "", 1, ""},
      {"its pid another process's", writer(self, own_instance() + 1, writing), "", "abc", "", "", 1,
       ""},
      {"the file shorter", whole, whole.substr(0, kBlock), "axbc", "axbc", "", 0,
       "offset 4096: the file became shorter than the 12288 bytes read of it"},
  };
  for (const auto &c : cases) {
    Decoding d(YUTIL_LIBRARY, true);
    d.write(c.first);
    EXPECT_EQ(order(d.poll().lines), c.order) << c.what;
    if (!c.then.empty()) {
      d.write(c.then);
      EXPECT_EQ(order(d.poll().lines), c.then_order) << c.what;
    }
    const size_t polled = d.result.lines.size();
    d.end();
    EXPECT_EQ(order({d.result.lines.begin() + polled, d.result.lines.end()}), c.at_end) << c.what;
    EXPECT_EQ(d.result.notices.size(), c.notices) << c.what;
    EXPECT_EQ(d.result.error, c.error) << c.what;
  }
}

TEST(Decode, RefusesCatalogSetsWhoseMessageIdsRepeat) {
  char dir_template[] = "/tmp/decode_test.XXXXXX";
  ASSERT_NE(mkdtemp(dir_template), nullptr);
  const std::filesystem::path dir = dir_template;
  std::ifstream in(YUTIL_LIBRARY, std::ios::binary);
  const std::string image{std::istreambuf_iterator<char>(in), {}};
  const ytcat::Catalog &ycurs = catalog(Catalog::ycurs);
  // A copy of the library in which ycurs message 1 has another id.
  auto with_id = [&](const char *name, uint32_t id) {
    std::string patched = image;
    for (int i = 0; i < 4; ++i) {
      patched[ycurs.section.offset + 20 + 6 + i] = static_cast<char>(id >> (8 * i));
    }
    std::ofstream(dir / name, std::ios::binary) << patched;
    return (dir / name).string();
  };
  const std::string repeated = with_id("repeated.so", ycurs.messages[0].id),
                    other = with_id("other.so", ycurs.messages[1].id ^ 1);
  char id[16];
  snprintf(id, sizeof id, "0x%08x", ycurs.messages[0].id);
  ytrace_decoder_s *d = ytrace_decoder_new([](void *, const char *, size_t) {}, nullptr);
  EXPECT_EQ(ytrace_decoder_load(d, repeated.c_str()), -1);
  EXPECT_EQ(ytrace_decoder_error(d), repeated + ": message id " + id + " repeats: catalog " +
                                         hex(ycurs.identity) + " index 0 and catalog " +
                                         hex(ycurs.identity) + " index 1");
  // The refused file added nothing, so the library's own ycurs catalog is no other.
  EXPECT_EQ(ytrace_decoder_load(d, YUTIL_LIBRARY), 0);
  EXPECT_EQ(ytrace_decoder_load(d, other.c_str()), -1);
  EXPECT_EQ(ytrace_decoder_error(d),
            other + ": catalog " + hex(ycurs.identity) +
                " has other messages than the catalog of that identity loaded before");
  ytrace_decoder_free(d);
  std::filesystem::remove_all(dir);
}

}  // namespace

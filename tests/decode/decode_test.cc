// SPDX-License-Identifier: MIT
// The trace decoder, through its C interface, on trace files built here with the
// built library's catalogs: each message's text, lengths as printf gives them,
// records it can only show raw, continuations, where records end, entries not
// written yet, damaged and truncated files, and catalog sets it refuses.
#include <stdio.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "decoding.h"
#include "entry_builder.h"
#include "printf_format.h"
#include "trace.h"
#include "ytrace_file_format.h"

namespace {

namespace b = ytdec::build;
using ytrace::Catalog;

Decoded decode(const std::string &bytes, size_t piece = SIZE_MAX, bool follow = false,
               const std::string &later = "") {
  std::string load_error;
  Decoded r = decode_with(YUTIL_LIBRARY, &load_error, bytes, piece, follow, later);
  EXPECT_EQ(load_error, "");
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

constexpr b::Origin kOrigin{1700000000123456789, 7, 8};  // 22:13:20.123456 UTC
const std::string kHead = "22:13:20.123456 7/8 yenv L3 ";

// A record of yenv message `msg` from process 7 at level 3.
std::string rec(yenv_msg::Id msg, const std::vector<b::Value> &args, uint32_t tid = 8,
                uint16_t module = 5, uint32_t flags = 0) {
  return b::record({kOrigin.time_ns, 7, tid}, catalog(Catalog::yenv).identity,
                   static_cast<uint32_t>(msg), module,
                   ytrace::level_word(ytrace::Level::failure) | flags, args);
}
const std::string kRegistration = b::registration(kOrigin, 5, "yenv");

// Each message of the library's catalogs, in a record without arguments, shows
// its own text: formatted when it takes none, quoted in the refusal otherwise.
// How texts are formatted: printf_format_fuzz and the lengths test below.
TEST(Decode, EveryMessageOfTheLibraryShowsItsOwnText) {
  std::string entries = kRegistration;
  std::vector<std::string> want;
  for (const ytcat::Catalog &c : catalogs()) {
    for (const ytcat::Message &m : c.messages) {
      entries += b::record(kOrigin, c.identity, m.index, 5,
                           ytrace::level_word(ytrace::Level::failure), {});
      want.push_back(kHead +
                     (m.text.find('%') == std::string::npos
                          ? m.text
                          : "[catalog " + hex(c.identity) + " index " + std::to_string(m.index) +
                                ": arguments do not fit \"" + m.text + "\"]"));
    }
  }
  EXPECT_EQ(want.size(), 21u + 55 + 2);
  const std::string file = b::file(entries);
  EXPECT_EQ(decode(file), (Decoded{want, "", 1, file.size()}));
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
  auto cont = [](const std::vector<b::Value> &args) {
    return rec(ADDR_BYTE, args, 8, 5, YTRACE_CONTINUATION);
  };
  const std::string yenv = "[catalog " + hex(catalog(Catalog::yenv).identity);
  const struct {
    const char *what;
    std::string entries;
    std::vector<std::string> lines;
    size_t at_end;
  } cases[] = {
      {"module named by its own process's registration, else by its id",
       kRegistration + b::registration({0, 99, 8}, 6, "other") + rec(GETENV, {"A"}) +
           rec(GETENV, {"B"}, 8, 6),
       {kHead + "getenv A", "22:13:20.123456 7/8 6 L3 getenv B"},
       1},
      {"continuations join their thread's line across other threads' records",
       kRegistration + rec(SET_ADDR, {"P", 2u}) + rec(GETENV, {"X"}, 9) + cont({0xc0u}) +
           cont({0xa8u}) + rec(GETENV, {"Y"}),
       {kHead + "setenv P address family 2 value  c0 a8", "22:13:20.123456 7/9 yenv L3 getenv X",
        kHead + "getenv Y"},
       2},
      {"a continuation with no line to continue",
       kRegistration + cont({1u}),
       {kHead + "...  1"},
       1},
      {"control characters escaped",
       kRegistration + rec(GETENV, {"a\nb\x1b\t\x7f\\"}),
       {kHead + "getenv a\\nb\\x1b\\t\\x7f\\"},
       1},
      {"unknown catalog",
       kRegistration + b::record(kOrigin, {0xab}, 1, 5, ytrace::level_word(ytrace::Level::failure),
                                 {"A", 7u, uint64_t{9}}),
       {kHead + "[catalog ab000000000000000000000000000000 index 1: unknown catalog] 1:\"A\" "
                "4:7 5:9"},
       1},
      {"unknown message",
       kRegistration + rec(static_cast<yenv_msg::Id>(55), {}),
       {kHead + yenv + " index 55: unknown message]"},
       1},
      {"arguments that do not fit",
       kRegistration + rec(GETENV, {7u}) + rec(GETENV, {}) + rec(GETENV, {"q\"\\", "x"}) +
           rec(SET_S64, {"N", 5u}) + rec(SET_U32, {"N", uint64_t{5}}) + rec(GETENV, {"A"}) +
           cont({"zz"}),
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
    const std::string file = b::file(c.entries);
    EXPECT_EQ(decode(file), (Decoded{c.lines, "", c.at_end, file.size()})) << c.what;
  }
}

TEST(Decode, RecordsEndAtZerosOrTheFileEndAndDecodeUpToDamage) {
  const std::string first = rec(yenv_msg::GETENV, {"A"}), second = rec(yenv_msg::GETENV, {"B"});
  const std::string good = b::file(kRegistration + first + second), zeros(64, '\0');
  const size_t at_first = YTRACE_FILE_HEADER_SIZE + kRegistration.size();
  const size_t at_second = at_first + first.size(), arg_at = at_first + YTRACE_RECORD_FIXED_SIZE;
  auto with = [&](size_t at, uint64_t value, int bytes) {
    std::string s = good;
    for (int i = 0; i < bytes; ++i) s[at + i] = static_cast<char>(value >> (8 * i));
    return s;
  };
  auto offset = [](size_t at) { return "offset " + std::to_string(at) + ": "; };
  const std::string no_header = "offset 0: the file ends before the end of its header";
  const std::string truncated = offset(at_second) + "the file ends " +
                                std::to_string(second.size() - 1) +
                                " bytes into an entry (truncated)";
  const struct {
    const char *what;
    std::string file;
    size_t lines;
    std::string error;
  } cases[] = {
      {"empty", "", 0, no_header},
      {"cut in the header", good.substr(0, 5), 0, no_header},
      {"not a trace file", with(0, 'X', 1), 0, "offset 0: not a trace file"},
      {"header of zero bytes", zeros, 0, "offset 0: not a trace file"},
      {"other version", with(4, 1, 2), 0,
       "offset 0: file format version 1, this decoder reads version 2"},
      {"header too small", with(6, 8, 2), 0,
       "offset 0: header size 8 is not a multiple of 8 from 16"},
      {"header size not aligned", with(6, 20, 2), 0, "offset 0: header size 20 is not a multiple"},
      {"larger header", with(6, 24, 2).insert(YTRACE_FILE_HEADER_SIZE, 8, 'h'), 2, ""},
      {"zero bytes allocated after the records", good + zeros, 2, ""},
      {"a size not stored yet", with(at_second, 0, 4), 1, ""},
      {"file ending in a size", good.substr(0, at_second + 3), 1, ""},
      {"cut in a record", good.substr(0, good.size() - 1), 1, truncated},
      {"entry reserved, never written, skipped", with(at_first + YTRACE_ENTRY_KIND_OFFSET, 0, 1), 1,
       ""},
      {"cut in an entry never written",
       good.substr(0, good.size() - 1).replace(at_second + YTRACE_ENTRY_KIND_OFFSET, 1, 1, '\0'), 1,
       truncated},
      {"entry smaller than its common part", with(at_second, 16, 4), 1,
       offset(at_second) + "entry size 16 is not a multiple of 8 in 21.."},
      {"entry size not aligned", with(at_second, second.size() - 1, 4), 1,
       offset(at_second) + "entry size " + std::to_string(second.size() - 1) +
           " is not a multiple"},
      {"entry larger than any", with(at_second, 0xfffffff8, 4), 1,
       offset(at_second) + "entry size 4294967288 is not a multiple of 8 in 21.."},
      {"name past its registration",
       with(YTRACE_FILE_HEADER_SIZE + YTRACE_ENTRY_COMMON_SIZE + 2, 9, 1), 0,
       offset(YTRACE_FILE_HEADER_SIZE) + "registration of size 32 is too short for its fields"},
      {"bytes after the arguments and padding",
       with(at_second, second.size() + YTRACE_ENTRY_ALIGN, 4) + zeros.substr(0, YTRACE_ENTRY_ALIGN),
       1,
       offset(at_second) + "record of size " + std::to_string(second.size() + YTRACE_ENTRY_ALIGN) +
           " has bytes left over after its fields"},
      {"unknown argument type", with(arg_at, 9, 1), 0,
       offset(at_first) + "argument 1 has the unknown type 9"},
      {"string past its record", with(arg_at + 1, 200, 2), 0,
       offset(at_first) + "argument 1 runs past the end of the entry"},
      {"entry of an unknown kind skipped", with(at_first + YTRACE_ENTRY_KIND_OFFSET, 9, 1), 1, ""},
  };
  for (const auto &c : cases) {
    Decoded whole = decode(c.file);
    EXPECT_EQ(whole.lines.size(), c.lines) << c.what;
    EXPECT_TRUE(whole.error.starts_with(c.error) && whole.error.empty() == c.error.empty())
        << c.what << ": " << whole.error;
    // The fewest bytes a read may give, the header's.
    EXPECT_EQ(decode(c.file, YTRACE_FILE_HEADER_SIZE), whole) << c.what << ", read in small pieces";
  }
}

TEST(Decode, AFollowerStopsWhereNothingIsWrittenYetAndGoesOnFromThereLater) {
  using yenv_msg::GETENV;
  const std::string second = rec(GETENV, {"B"}), zeros(64, '\0');
  const std::string whole =
      b::file(kRegistration + rec(GETENV, {"A"}) + second + rec(GETENV, {"C"})) + zeros;
  const size_t at_second = whole.find(second);
  auto zeroed = [&](size_t at, size_t length) {
    return std::string(whole).replace(at, length, length, '\0');
  };
  const struct {
    const char *what;
    std::string before;  // the file when the follower first reads it
    uint64_t offset;     // where it stops
    size_t lines;
  } cases[] = {
      {"no header yet", "", 0, 0},
      {"header cut", whole.substr(0, 10), 0, 0},
      {"header not written yet, the file extended", std::string(whole.size(), '\0'), 0, 0},
      {"entry reserved, its size not stored yet", zeroed(at_second, second.size()), at_second, 1},
      {"entry reserved, its kind not stored yet", zeroed(at_second + YTRACE_ENTRY_KIND_OFFSET, 1),
       at_second, 1},
      {"file not extended over the entry yet", whole.substr(0, at_second), at_second, 1},
      {"file ending in its size", whole.substr(0, at_second + 2), at_second, 1},
      {"written entry cut: its start kept", whole.substr(0, at_second + 10), at_second + 10, 1},
      {"all written", whole, whole.size() - zeros.size(), 3},
  };
  const std::vector<std::string> all = {kHead + "getenv A", kHead + "getenv B", kHead + "getenv C"};
  for (const auto &c : cases) {
    for (size_t piece : {SIZE_MAX, size_t{YTRACE_FILE_HEADER_SIZE}}) {
      Decoded now = decode(c.before, piece, true);
      EXPECT_EQ(now.offset, c.offset) << c.what << ", piece " << piece;
      EXPECT_EQ(now.lines.size(), c.lines) << c.what << ", piece " << piece;
      EXPECT_EQ(decode(c.before, piece, true, whole), (Decoded{all, "", 1, c.offset}))
          << c.what << ", piece " << piece;
    }
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
  ytrace_decoder_s *d = ytrace_decoder_new(keep_line, nullptr);
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

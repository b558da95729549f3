// The trace decoder, through its C interface, on trace files built here or
// written by the trace stand-in, with the built library's catalogs: every message
// goes through the stand-in and reads as snprintf writes it,
// records it can only show raw, continuations, where records end, entries not
// written yet, damaged and truncated files, and catalog sets it refuses.
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>

#include <gtest/gtest.h>

#include "entry_builder.h"
#include "printf_format.h"
#include "trace.h"
#include "trace_records.h"
#include "ytrace.h"
#include "ytrace_decode.h"
#include "ytrace_file_format.h"

namespace {

namespace b = ytdec::build;

struct Decoded {
  std::vector<std::string> lines;
  std::string error;    // empty when decoded to the end
  size_t at_end = 0;    // lines held for continuations until the input ended
  uint64_t offset = 0;  // where the decoder stopped in the first bytes
  bool operator==(const Decoded &) const = default;
};

void keep_line(void *to, const char *line, size_t length) {
  static_cast<Decoded *>(to)->lines.emplace_back(line, length);
}

// Decodes the file `bytes` with the built library's catalogs, reading `piece`
// bytes at a time from the decoder's offset until it goes no further; a
// follower then reads `later`, the file as writers have changed it since.
Decoded decode(const std::string &bytes, size_t piece = SIZE_MAX, bool follow = false,
               const std::string &later = "") {
  Decoded r;
  ytrace_decoder_s *d = ytrace_decoder_new(keep_line, &r);
  int rc = ytrace_decoder_load(d, YUTIL_LIBRARY);
  if (follow) ytrace_decoder_follow(d);
  for (const std::string *file : {&bytes, &later}) {
    for (size_t at;
         rc == 0 && (at = static_cast<size_t>(ytrace_decoder_offset(d))) < file->size();) {
      rc = ytrace_decoder_feed(d, file->data() + at, std::min(piece, file->size() - at));
      if (ytrace_decoder_offset(d) == at) break;
    }
    if (file == &bytes) r.offset = ytrace_decoder_offset(d);
  }
  r.at_end = r.lines.size();
  if (rc == 0) rc = ytrace_decoder_end(d);
  r.at_end = r.lines.size() - r.at_end;
  if (rc != 0) r.error = ytrace_decoder_error(d);
  ytrace_decoder_free(d);
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

// A record of `msg` from process 7 at level 3.
template <typename Msg>
std::string rec(Msg msg, const std::vector<b::Value> &args, uint32_t tid = 8, uint16_t module = 5,
                uint32_t flags = 0) {
  Catalog c = std::is_same_v<Msg, ycurs_msg::Id>  ? Catalog::ycurs
              : std::is_same_v<Msg, yenv_msg::Id> ? Catalog::yenv
                                                  : Catalog::patch_utils;
  return b::record({kOrigin.time_ns, 7, tid}, catalog(c).identity, static_cast<uint32_t>(msg),
                   module, ytrace::level_word(ytrace::Level::failure) | flags, args);
}
const std::string kRegistration = b::registration(kOrigin, 5, "yenv");

// The conversions of a catalog text, spelled as the catalogs spell them.
std::vector<std::string> conversions(const std::string &text) {
  static const std::regex kConversion("%%|%(ll)?[a-zA-Z]");
  std::vector<std::string> out;
  for (std::sregex_iterator it(text.begin(), text.end(), kConversion), end; it != end; ++it) {
    if (it->str() != "%%") out.push_back(it->str());
  }
  return out;
}

const char *const kWords[] = {"HOME", "/tmp/sw/a b", "x=%d"};

// What snprintf writes for `text` given a value of the C type of each of its
// conversions; `args` gets the same values as a record carries them.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
template <typename... T>
std::string snprintf_with(const std::string &text, const std::vector<std::string> &convs,
                          std::vector<b::Value> &args, T... values) {
  constexpr size_t i = sizeof...(T);
  if (i == convs.size()) {
    char out[512];
    snprintf(out, sizeof out, text.c_str(), values...);
    return out;
  }
  if constexpr (i < 3) {
    const std::string &c = convs[i];
    if (c == "%s") {
      args.emplace_back(kWords[i]);
      return snprintf_with(text, convs, args, values..., kWords[i]);
    }
    if (c == "%d" || c == "%c") {
      int v = c == "%d" ? -42 - static_cast<int>(i) : 'Q' + static_cast<int>(i);
      args.emplace_back(static_cast<uint32_t>(v));
      return snprintf_with(text, convs, args, values..., v);
    }
    if (c == "%u" || c == "%x") {
      unsigned v = 4000000000u + i;
      args.emplace_back(uint32_t{v});
      return snprintf_with(text, convs, args, values..., v);
    }
    if (c == "%lld" || c == "%llu") {
      long long v = -1234567890123LL - static_cast<long long>(i);
      args.emplace_back(static_cast<uint64_t>(v));
      return c == "%lld" ? snprintf_with(text, convs, args, values..., v)
                         : snprintf_with(text, convs, args, values..., static_cast<uint64_t>(v));
    }
  }
  ADD_FAILURE() << "no test values for \"" << text << "\"";
  return "";
}
#pragma GCC diagnostic pop

// Emits a record of `index` through the trace stand-in's emit function for the
// argument types of `args`, as the library's calls do.
void emit_through_standin(const uint8_t *catalog, uint32_t index, uint16_t module,
                          const std::vector<b::Value> &args) {
  std::string tags;
  for (const b::Value &v : args) tags += "145"[v.index()];
  auto s = [&](size_t i) { return std::get<std::string>(args[i]).c_str(); };
  auto n = [&](size_t i) { return std::get<uint32_t>(args[i]); };
  const uint32_t w = ytrace::level_word(ytrace::Level::failure);
  if (tags.empty())
    __YTf_0(catalog, index, module, w);
  else if (tags == "1")
    __YTf_1(catalog, index, module, w, s(0));
  else if (tags == "4")
    __YTf_4(catalog, index, module, w, n(0));
  else if (tags == "11")
    __YTf_11(catalog, index, module, w, s(0), s(1));
  else if (tags == "14")
    __YTf_14(catalog, index, module, w, s(0), n(1));
  else if (tags == "15")
    __YTf_15(catalog, index, module, w, s(0), std::get<uint64_t>(args[1]));
  else if (tags == "41")
    __YTf_41(catalog, index, module, w, n(0), s(1));
  else if (tags == "44")
    __YTf_44(catalog, index, module, w, n(0), n(1));
  else if (tags == "114")
    __YTf_114(catalog, index, module, w, s(0), s(1), n(2));
  else
    ADD_FAILURE() << "no emit function for arguments " << tags;
}

// Every message goes through the stand-in into a record file, in a child that
// names the file, and back out through the decoder.
TEST(Decode, EveryMessageOfTheLibraryReadsAsSnprintfWritesIt) {
  const std::string path = testing::TempDir() + "every_message.ytrf";
  std::filesystem::remove(path);
  std::vector<std::string> want;
  fflush(nullptr);
  pid_t child = fork();
  if (child == 0) {
    setenv("YTRACE_FILE", path.c_str(), 1);
    uint16_t module = 0;
    uint32_t word = 0;
    ytrace_module_init_fn("yenv", &module, &word);
    for (const ytcat::Catalog &c : catalogs()) {
      for (const ytcat::Message &m : c.messages) {
        std::vector<b::Value> args;
        snprintf_with(m.text, conversions(m.text), args);
        emit_through_standin(c.identity.data(), m.index, module, args);
      }
    }
    _exit(testing::Test::HasFailure());
  }
  int status = -1;
  waitpid(child, &status, 0);
  ASSERT_EQ(status, 0);
  for (const ytcat::Catalog &c : catalogs()) {
    for (const ytcat::Message &m : c.messages) {
      std::vector<b::Value> args;
      want.push_back("yenv L3 " + snprintf_with(m.text, conversions(m.text), args));
    }
  }
  EXPECT_EQ(want.size(), 21u + 55 + 2);
  std::ifstream in(path, std::ios::binary);
  Decoded got = decode(std::string(std::istreambuf_iterator<char>(in), {}));
  for (std::string &line : got.lines) line = line.substr(line.find(' ', line.find(' ') + 1) + 1);
  EXPECT_EQ(got.lines, want);
  EXPECT_EQ(got.error, "");
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
  const std::string lib = YUTIL_LIBRARY, repeated = with_id("repeated.so", ycurs.messages[0].id),
                    other = with_id("other.so", ycurs.messages[1].id ^ 1);
  char id[16];
  snprintf(id, sizeof id, "0x%08x", ycurs.messages[0].id);
  const struct {
    std::vector<std::string> libs;
    std::string error;
  } cases[] = {
      {{lib, lib}, ""},
      {{repeated},
       repeated + ": message id " + id + " repeats: catalog " + hex(ycurs.identity) +
           " index 0 and catalog " + hex(ycurs.identity) + " index 1"},
      {{lib, other},
       other + ": catalog " + hex(ycurs.identity) +
           " has other messages than the catalog of that identity loaded before"},
      {{lib, (dir / "absent.so").string()}, (dir / "absent.so").string() + ": cannot open"},
  };
  for (const auto &c : cases) {
    ytrace_decoder_s *d = ytrace_decoder_new(keep_line, nullptr);
    std::string error;
    for (const std::string &path : c.libs) {
      if (error.empty() && ytrace_decoder_load(d, path.c_str()) != 0) {
        error = ytrace_decoder_error(d);
      }
    }
    EXPECT_TRUE(error.starts_with(c.error) && error.empty() == c.error.empty()) << error;
    ytrace_decoder_free(d);
  }
  std::filesystem::remove_all(dir);
}

}  // namespace

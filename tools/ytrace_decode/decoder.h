// SPDX-License-Identifier: MIT
// Turns the records of a trace record file into one readable line each, as
// ytrace_decode.h describes. A line is handed out once its thread has begun
// another (until then a continuation may still join it), or on flush() or
// end().
#ifndef YTRACE_DECODE_DECODER_H
#define YTRACE_DECODE_DECODER_H

#include <stdint.h>

#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "catalog_set.h"
#include "record_reader.h"

namespace ytdec {

class Decoder {
 public:
  using Sink = std::function<void(const std::string &line)>;
  explicit Decoder(Sink sink);

  // Adds the catalogs of a library file (see CatalogSet::load); a failure
  // leaves the decoder as it was, with the reason in error().
  bool load(const std::string &path);
  void on_notice(RecordReader::NoticeSink notices) { reader_.on_notice(std::move(notices)); }
  void follow() { reader_.follow(); }
  // See RecordReader: false at damage, with every line before it handed out;
  // later calls do nothing.
  bool read(int fd) { return checked(reader_.read(fd)); }
  bool bytes(std::string_view file) { return checked(reader_.bytes(file)); }
  // Hands out the lines held for continuations that may still come.
  void flush() { release(true); }
  // The input is over: hands out every line, and fails if the file ended
  // inside its header.
  bool end() {
    bool ok = checked(reader_.end());
    release(true);
    return ok;
  }
  const std::string &error() const { return error_; }
  // Stops decoding for this reason, handing out the lines held.
  void fail(std::string why);

 private:
  // A thread of one process: a pid may be had by another process later.
  struct Thread {
    uint32_t pid, tid;
    uint64_t instance;
    bool operator==(const Thread &) const = default;
  };
  struct ThreadHash {
    size_t operator()(const Thread &t) const {
      return std::hash<uint64_t>()((uint64_t{t.pid} << 32 | t.tid) ^
                                   t.instance * 0x9e3779b97f4a7c15);
    }
  };
  struct Held {
    Thread thread;
    bool open;  // its thread's latest line, which continuations extend
    std::string text;
  };

  bool checked(bool ok);
  void record(const BlockHeader &block, const Record &r);
  void append_text(const Record &r, std::string &out);
  void add_line(const Thread &thread, std::string line);
  void release(bool all);

  Sink sink_;
  CatalogSet catalogs_;
  RecordReader reader_;
  std::string error_;
  std::string scratch_, spare_;
  std::deque<Held> held_;
  uint64_t released_ = 0;                                  // lines handed out so far
  std::unordered_map<Thread, uint64_t, ThreadHash> open_;  // thread: number of its open line
};

}  // namespace ytdec

#endif

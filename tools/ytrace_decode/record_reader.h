// SPDX-License-Identifier: MIT
// Reads a trace record file block by block and hands out its records merged
// in order of (time, block number), as the "Reading" paragraph of
// ytrace_file_format.h has it. Following, a look hands out only the records no
// writer can still put an earlier one before. Only the blocks that can still
// contribute are held: a block is read once the merge has come to its taken
// time, and let go once its records are out.
#ifndef YTRACE_DECODE_RECORD_READER_H
#define YTRACE_DECODE_RECORD_READER_H

#include <stdint.h>

#include <functional>
#include <queue>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "trace_entries.h"

namespace ytdec {

class RecordReader {
 public:
  using RecordSink = std::function<void(const BlockHeader &block, const Record &record)>;
  using NoticeSink = std::function<void(const std::string &notice)>;
  explicit RecordReader(RecordSink records) : records_(std::move(records)) {}

  void on_notice(NoticeSink notices) { notices_ = std::move(notices); }
  void follow() { follow_ = true; }
  // A look at the file open as `fd`: a regular file is read where needed,
  // anything else to its end and then decoded as bytes() does. False at damage
  // or when the file cannot be read, with the reason in error(), and from
  // then on.
  bool read(int fd);
  // A whole file that no longer changes.
  bool bytes(std::string_view file);
  // The input is over: hands out the records of the blocks read, an entry
  // still being written taken as never finished. False if the file ended
  // inside its header, or had failed before.
  bool end();
  const std::string &error() const { return error_; }
  bool fail(std::string why);

 private:
  struct Input;
  // A block read, while some of its records are not out yet.
  struct Block {
    uint32_t number = 0;
    BlockHeader header;
    std::string bytes;                     // from its start; from `at` on as last read
    size_t at = YTRACE_BLOCK_HEADER_SIZE;  // where its next entry starts
    uint64_t read_in = 0;                  // the look that last read it
    bool settled = false;                  // its writer is gone: it changes no more
    Step state = Step::kEnd;               // at `at`, or kRecord with `next` past it
    uint64_t last_time = 0;                // of its latest record; its taken time before
    Sites sites;
    Record next;
  };
  using Key = std::pair<uint64_t, uint32_t>;  // a time and a block number
  using MinQueue = std::priority_queue<Key, std::vector<Key>, std::greater<>>;

  bool look(const Input &in, bool final);
  bool read_header();
  bool find_block(uint32_t number);
  bool wake_blocks(Key *bound);
  bool merge(Key bound);
  bool open_block(uint32_t number, Key *bound);
  bool place(Block &b, Key *bound);
  bool advance(Block &b);
  bool load(Block &b);
  bool read_at(uint64_t offset, char *to, size_t length, size_t *got);
  bool read_published(uint64_t offset, char *to, size_t length, size_t *got);
  void tell_stop();

  RecordSink records_;
  NoticeSink notices_;
  std::string error_;
  bool failed_ = false;
  bool follow_ = false;
  bool final_ = false;            // this look sees the file as it stays
  const Input *input_ = nullptr;  // during a look
  uint64_t look_ = 0;             // looks so far
  uint64_t clock_ = 0;            // read at the start of this look, before any byte
  uint64_t file_size_ = 0;
  uint64_t read_end_ = 0;  // the end of the furthest bytes read
  bool have_header_ = false;
  bool stop_told_ = false;
  FileHeader header_;
  uint64_t next_block_ = 1;          // the first block not looked at yet
  std::vector<uint32_t> unwritten_;  // blocks taken whose headers were not written yet
  MinQueue unread_;                  // (taken time, number) of blocks not read yet
  MinQueue ready_;                   // (time, number) of each block's next record
  std::unordered_map<uint32_t, Block> blocks_;
  std::string piped_;  // the bytes of a file that is not regular
};

}  // namespace ytdec

#endif

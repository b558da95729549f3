// SPDX-License-Identifier: MIT
#include "record_reader.h"

#include <endian.h>
#include <errno.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>

#include "writer_liveness.h"

namespace ytdec {
namespace {

constexpr std::pair<uint64_t, uint32_t> kNever{UINT64_MAX, UINT32_MAX};

uint32_t le32(const char *p) {
  uint32_t v;
  memcpy(&v, p, sizeof v);
  return le32toh(v);
}

uint64_t realtime_ns() {
  timespec t;
  clock_gettime(CLOCK_REALTIME, &t);
  return uint64_t(t.tv_sec) * 1000000000 + uint64_t(t.tv_nsec);
}

std::string at_offset(uint64_t offset) {
  return "offset " + std::to_string(offset) + ": ";
}

}  // namespace

// Where the file's bytes come from: a regular file, read where needed, or the
// whole file in memory.
struct RecordReader::Input {
  int fd = -1;
  std::string_view memory;

  // The bytes at `offset`, fewer at the file's end; false, with errno, if they
  // cannot be read.
  bool read(uint64_t offset, char *to, size_t length, size_t *got) const {
    *got = 0;
    if (fd < 0) {
      if (offset < memory.size()) {
        *got = std::min<uint64_t>(length, memory.size() - offset);
        memcpy(to, memory.data() + offset, *got);
      }
      return true;
    }
    while (*got < length) {
      ssize_t n = pread(fd, to + *got, length - *got, static_cast<off_t>(offset + *got));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return n == 0;
      *got += static_cast<size_t>(n);
    }
    return true;
  }

  bool size(uint64_t *out) const {
    struct stat st;
    if (fd < 0) {
      *out = memory.size();
    } else if (fstat(fd, &st) == 0) {
      *out = static_cast<uint64_t>(st.st_size);
    } else {
      return false;
    }
    return true;
  }
};

bool RecordReader::read(int fd) {
  struct stat st;
  if (failed_) return false;
  if (fstat(fd, &st) != 0) return fail(at_offset(0) + "cannot read: " + strerror(errno));
  if (S_ISREG(st.st_mode)) return look(Input{fd, {}}, !follow_);
  // A pipe's bytes can be read only once, in order: all of them are kept.
  char buffer[1 << 16];
  for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return fail(at_offset(piped_.size()) + "cannot read: " + strerror(errno));
    piped_.append(buffer, static_cast<size_t>(n));
  }
  return look(Input{-1, piped_}, true);
}

bool RecordReader::bytes(std::string_view file) {
  return look(Input{-1, file}, true);
}

bool RecordReader::end() {
  if (failed_) return false;
  if (!have_header_) return fail(at_offset(0) + "the file ends before the end of its header");
  final_ = true;
  Key bound = kNever;
  if (!wake_blocks(&bound) || !merge(bound)) return false;
  tell_stop();
  return true;
}

bool RecordReader::fail(std::string why) {
  if (!failed_) error_ = std::move(why);
  failed_ = true;
  return false;
}

bool RecordReader::look(const Input &in, bool final) {
  if (failed_) return false;
  final_ = final;
  ++look_;
  if (!final_) clock_ = realtime_ns();  // before any byte is read
  input_ = &in;
  Key bound = final_ ? kNever : Key{clock_, 0};
  bool ok = read_header();
  if (ok && have_header_) {
    const uint64_t in_file = (file_size_ + header_.block_size - 1) / header_.block_size;
    uint64_t limit = std::min<uint64_t>(header_.taken, in_file);
    if (header_.stopped != 0) limit = std::min<uint64_t>(limit, header_.stopped);
    std::vector<uint32_t> unwritten;
    unwritten.swap(unwritten_);
    for (size_t i = 0; ok && i < unwritten.size(); ++i) {
      ok = unwritten[i] >= limit || find_block(unwritten[i]);
    }
    for (; ok && next_block_ < limit; ++next_block_) ok = find_block(uint32_t(next_block_));
    ok = ok && wake_blocks(&bound) && merge(bound);
    if (ok) tell_stop();
  }
  input_ = nullptr;
  return ok;
}

// The file header, read again each time for the blocks taken since; a header
// not all there yet is no failure.
bool RecordReader::read_header() {
  char bytes[YTRACE_FILE_HEADER_SIZE];
  size_t got;
  uint64_t size;
  if (!read_published(0, bytes, sizeof bytes, &got)) return false;
  FileHeader header;
  std::string why;
  HeaderScan scan = scan_file_header({bytes, got}, &header, &why);
  // A file made a record file in place gets its magic last.
  if (!final_ && std::all_of(bytes, bytes + std::min<size_t>(got, 4), [](char c) { return !c; })) {
    return true;
  }
  if (scan == HeaderScan::kShort) return true;
  if (scan == HeaderScan::kDamaged) return fail(at_offset(0) + why);
  if (!input_->size(&size)) return fail(at_offset(0) + "cannot read: " + strerror(errno));
  if (size < read_end_) {
    return fail(at_offset(size) + "the file became shorter than the " + std::to_string(read_end_) +
                " bytes read of it");
  }
  file_size_ = size;
  if (have_header_) header.block_size = header_.block_size;  // fixed from the start
  header_ = header;
  have_header_ = true;
  return true;
}

// A block taken: read once its header is written.
bool RecordReader::find_block(uint32_t number) {
  char bytes[YTRACE_BLOCK_HEADER_SIZE];
  size_t got;
  if (!read_published(uint64_t{number} * header_.block_size, bytes, sizeof bytes, &got)) {
    return false;
  }
  BlockHeader h = got == sizeof bytes ? scan_block_header({bytes, got}) : BlockHeader{};
  if (h.pid != 0) {
    unread_.push({h.taken, number});
  } else if (!final_) {
    unwritten_.push_back(number);
  }
  return true;
}

// The blocks that stopped where nothing was written, or at an entry being
// written, go on from there.
bool RecordReader::wake_blocks(Key *bound) {
  std::vector<uint32_t> waiting;
  for (const auto &[number, b] : blocks_) {
    if (b.state == Step::kEnd || b.state == Step::kWriting) waiting.push_back(number);
  }
  for (uint32_t number : waiting) {
    if (!place(blocks_.at(number), bound)) return false;
  }
  return true;
}

// Hands out the records earlier than `bound`, reading the blocks that may
// hold earlier ones than the next record first.
bool RecordReader::merge(Key bound) {
  for (;;) {
    const Key next = ready_.empty() ? kNever : ready_.top();
    if (input_ != nullptr && !unread_.empty() && unread_.top() <= std::min(next, bound)) {
      const uint32_t number = unread_.top().second;
      unread_.pop();
      if (!open_block(number, &bound)) return false;
      continue;
    }
    if (ready_.empty() || !(next < bound)) return true;
    ready_.pop();
    Block &b = blocks_.at(next.second);
    records_(b.header, b.next);
    if (!place(b, &bound)) return false;
  }
}

bool RecordReader::open_block(uint32_t number, Key *bound) {
  char bytes[YTRACE_BLOCK_HEADER_SIZE] = {};
  size_t got;
  if (!read_published(uint64_t{number} * header_.block_size, bytes, sizeof bytes, &got)) {
    return false;
  }
  Block &b = blocks_[number];
  b.number = number;
  b.header = scan_block_header({bytes, got});
  b.last_time = b.header.taken;
  b.read_in = look_;
  return load(b) && place(b, bound);
}

// Moves the block on to its next record, and puts it where that leaves it.
bool RecordReader::place(Block &b, Key *bound) {
  if (!advance(b)) return false;
  if (b.state == Step::kRecord) {
    ready_.push({b.next.time_ns, b.number});
  } else if (b.state == Step::kWriting) {
    // Its writer may have read the clock for the entry before this look did.
    *bound = std::min(*bound, Key{b.last_time, b.number});
  } else if (b.state == Step::kClosed) {
    blocks_.erase(b.number);
  }
  return true;
}

bool RecordReader::advance(Block &b) {
  const uint64_t start = uint64_t{b.number} * header_.block_size;
  for (;;) {
    size_t size = 0;
    std::string why;
    b.state = scan_entry(b.bytes, b.at, header_.block_size, &b.sites, &b.next, &size, &why);
    if (b.state == Step::kDamaged) return fail(at_offset(start + b.at) + why);
    if (b.state == Step::kRecord || b.state == Step::kDefinition) b.at += size;
    if (b.state == Step::kRecord) b.last_time = b.next.time_ns;
    if (b.state == Step::kDefinition) continue;
    if (b.state == Step::kRecord || b.state == Step::kClosed) return true;
    // Following, the block may still be written: what it holds is looked at
    // once in each look, after the look's clock was read.
    const bool changing = !final_ && !b.settled;
    if (changing && b.read_in != look_) {
      b.read_in = look_;
      if (!load(b)) return false;
      continue;
    }
    if (changing && writer_gone(b.header.pid, b.header.instance)) {
      b.settled = true;
      if (!load(b)) return false;
      continue;
    }
    if (changing) return true;
    if (b.state == Step::kWriting) {
      if (notices_)
        notices_(at_offset(start + b.at) + "an entry its writer never finished, skipped");
    }
    b.state = Step::kClosed;
    return true;
  }
}

// Reads the block from its next entry on. Following, the entries whose heads
// that read found written are read again: a head is stored after the rest of
// its entry, but a read may copy the entry before its head, or tear a head
// being stored. Where a head differs between the two reads, the block is taken
// to be at an entry being written.
bool RecordReader::load(Block &b) {
  const uint64_t start = uint64_t{b.number} * header_.block_size;
  const size_t end =
      file_size_ > start ? std::min<uint64_t>(header_.block_size, file_size_ - start) : 0;
  const bool changing = !final_ && !b.settled;
  size_t got;
  b.bytes.resize(std::max(end, b.at));
  // Most looks at a block being written find nothing new: its next head tells.
  if (changing && !read_at(start + b.at, b.bytes.data() + b.at,
                           std::min<size_t>(4, b.bytes.size() - b.at), &got)) {
    return false;
  }
  if (changing && (got < 4 || le32(&b.bytes[b.at]) <= YTRACE_HEAD_CLOSED)) {
    b.bytes.resize(b.at + got);
    return true;
  }
  if (!read_at(start + b.at, b.bytes.data() + b.at, b.bytes.size() - b.at, &got)) return false;
  size_t have = b.at + got;
  if (changing) {
    size_t written = b.at;
    for (uint32_t head;
         written + 4 <= have && (head = le32(&b.bytes[written])) > YTRACE_HEAD_CLOSED;) {
      const size_t size = head & YTRACE_HEAD_SIZE_MASK;
      if (size < YTRACE_ENTRY_ALIGN || size % YTRACE_ENTRY_ALIGN != 0 || written + size > have)
        break;
      written += size;
    }
    have = std::min(written + 4, have);
    const std::string first = b.bytes.substr(b.at, have - b.at);
    if (!read_at(start + b.at, b.bytes.data() + b.at, have - b.at, &got)) return false;
    for (size_t at = b.at; at < have; at += le32(&first[at - b.at]) & YTRACE_HEAD_SIZE_MASK) {
      const size_t head = std::min<size_t>(4, have - at);
      if (b.at + got < have || memcmp(&first[at - b.at], &b.bytes[at], head) != 0) {
        const uint32_t writing = htole32(YTRACE_HEAD_WRITING);
        b.bytes.resize(at + 4);
        memcpy(&b.bytes[at], &writing, 4);
        return true;
      }
      if (at == written) break;
    }
  }
  b.bytes.resize(have);
  return true;
}

bool RecordReader::read_at(uint64_t offset, char *to, size_t length, size_t *got) {
  if (!input_->read(offset, to, length, got)) {
    return fail(at_offset(offset) + "cannot read: " + strerror(errno));
  }
  read_end_ = std::max(read_end_, offset + *got);
  return true;
}

// Reads bytes a writer publishes by storing their first four last: following,
// again once those are seen written, so that nothing stored before them is
// missed.
bool RecordReader::read_published(uint64_t offset, char *to, size_t length, size_t *got) {
  if (!read_at(offset, to, length, got)) return false;
  if (final_ || *got < 4 || le32(to) == 0) return true;
  return read_at(offset, to, length, got);
}

void RecordReader::tell_stop() {
  if (header_.stopped == 0 || stop_told_) return;
  stop_told_ = true;
  if (notices_) {
    notices_("recording stopped early: block " + std::to_string(header_.stopped) +
             " could not be had (" + strerror(static_cast<int>(header_.stop_errno)) + ")");
  }
}

}  // namespace ytdec

// SPDX-License-Identifier: MIT
#include "decoder.h"

#include <algorithm>
#include <charconv>

#include "ytrace.h"

namespace ytdec {
namespace {

// Lines held for continuations, and a line's length, beyond which the oldest
// is handed out as it is: a thread that never writes again, or one that only
// continues, must not hold memory without bound.
constexpr size_t kMaxHeld = 1024;
constexpr size_t kMaxLine = 64u << 10;

template <typename T>
void append_number(std::string &out, T value) {
  char digits[24];
  out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

void append_time(std::string &out, uint64_t ns) {
  uint64_t s = ns / 1000000000;
  uint32_t day = static_cast<uint32_t>(s % 86400),
           us = static_cast<uint32_t>(ns % 1000000000 / 1000);
  char t[] = "HH:MM:SS.uuuuuu";
  uint32_t fields[] = {day / 3600, day / 60 % 60, day % 60};
  for (int i = 0; i < 3; ++i) {
    t[3 * i] = static_cast<char>('0' + fields[i] / 10);
    t[3 * i + 1] = static_cast<char>('0' + fields[i] % 10);
  }
  for (int i = 14; i >= 9; --i, us /= 10) t[i] = static_cast<char>('0' + us % 10);
  out.append(t, sizeof t - 1);
}

// Control characters as C escapes, so that a record stays one line and cannot
// drive the terminal; quoted text also escapes its quotes and backslashes.
void append_escaped(std::string &out, std::string_view text, bool quoted) {
  size_t run = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c != 0x7f && !(quoted && (c == '"' || c == '\\'))) continue;
    out.append(text.substr(run, i - run));
    run = i + 1;
    static const char kHex[] = "0123456789abcdef";
    out += '\\';
    switch (c) {
      case '\n':
        out += 'n';
        break;
      case '\t':
        out += 't';
        break;
      case '\r':
        out += 'r';
        break;
      case '"':
      case '\\':
        out += static_cast<char>(c);
        break;
      default:
        out += 'x';
        out += kHex[c >> 4];
        out += kHex[c & 15];
    }
  }
  out.append(text.substr(run));
}

void append_quoted(std::string &out, std::string_view text) {
  out += '"';
  append_escaped(out, text, true);
  out += '"';
}

}  // namespace

bool Decoder::load(const std::string &path) {
  return catalogs_.load(path, &error_);
}

bool Decoder::feed(std::string_view bytes) {
  if (damaged_) return false;
  if (part_ != 0) {
    size_t take = std::min(bytes.size(), part_ - pending_.size());
    pending_.append(bytes.substr(0, take));
    bytes.remove_prefix(take);
    if (pending_.size() < part_) return true;
    consume(pending_);
    pending_.clear();
    if (damaged_) return false;
  }
  size_t used = consume(bytes);
  if (part_ != 0) pending_.assign(bytes.substr(used));
  return !damaged_;
}

void Decoder::flush() {
  release(true);
}

bool Decoder::end() {
  if (!damaged_ && !header_done_) {
    fail("offset 0: the file ends before the end of its header");
  } else if (!damaged_ && part_ != 0) {
    fail("offset " + std::to_string(offset_) + ": the file ends " +
         std::to_string(pending_.size()) + " bytes into an entry (truncated)");
  }
  release(true);
  return !damaged_;
}

void Decoder::fail(std::string why) {
  error_ = std::move(why);
  damaged_ = true;
  release(true);
}

// Decodes the header and entries at the start of `bytes`; returns the bytes
// used, and sets part_ when it stopped in one written but not all there.
size_t Decoder::consume(std::string_view bytes) {
  size_t at = 0;
  std::string why;
  for (;;) {
    std::string_view rest = bytes.substr(at);
    size_t size = 0;
    Scan scan = header_done_ ? scan_entry(rest, &entry_, &why) : scan_header(rest, &size, &why);
    if (header_done_) size = entry_.size;
    if (scan == Scan::kDamaged && follow_ && !header_done_ &&
        rest.substr(0, 4).find_first_not_of('\0') == std::string_view::npos) {
      scan = Scan::kNothing;  // a file made in place gets its magic last
    }
    if (scan == Scan::kUnwritten && !follow_) {
      // Its writer died or failed: it is skipped, once all its bytes are there.
      scan = rest.size() < size ? Scan::kPart : Scan::kComplete;
    }
    if (scan != Scan::kComplete) {
      if (scan == Scan::kDamaged) fail("offset " + std::to_string(offset_ + at) + ": " + why);
      part_ = scan == Scan::kPart ? size : 0;
      offset_ += at;
      return at;
    }
    if (!header_done_) {
      header_done_ = true;
    } else if (entry_.kind == YTRACE_ENTRY_REGISTRATION) {
      std::string &name = modules_[uint64_t{entry_.pid} << 16 | entry_.module];
      name.clear();
      append_escaped(name, entry_.name, false);
    } else if (entry_.kind == YTRACE_ENTRY_RECORD) {
      record(entry_);
    }
    at += size;
  }
}

void Decoder::record(const Entry &e) {
  uint64_t thread = uint64_t{e.pid} << 32 | e.tid;
  bool continuation = (e.level_word & YTRACE_CONTINUATION) != 0;
  if (auto it = continuation ? open_.find(thread) : open_.end(); it != open_.end()) {
    std::string &line = held_[it->second - released_].text;
    if (line.size() < kMaxLine) {
      append_text(e, line);
      return;
    }
  }
  std::string line = std::move(spare_);
  line.clear();
  append_time(line, e.time_ns);
  line += ' ';
  append_number(line, e.pid);
  line += '/';
  append_number(line, e.tid);
  line += ' ';
  if (auto m = modules_.find(uint64_t{e.pid} << 16 | e.module); m != modules_.end()) {
    line += m->second;
  } else {
    append_number(line, e.module);
  }
  line += " L";
  append_number(line, e.level_word >> YTRACE_LEVEL_SHIFT);
  line += continuation ? " ... " : " ";  // the line it continues is gone
  append_text(e, line);
  add_line(thread, std::move(line));
}

// The message formatted with the record's arguments or, when that cannot be
// done exactly, the record's raw fields in brackets.
void Decoder::append_text(const Entry &e, std::string &out) {
  const std::vector<CatalogMessage> *catalog = catalogs_.find(e.identity);
  const CatalogMessage *m =
      catalog != nullptr && e.index < catalog->size() ? &(*catalog)[e.index] : nullptr;
  if (m != nullptr && m->unsupported.empty() && m->format.fits(e.args)) {
    scratch_.clear();
    m->format.append(e.args, scratch_);
    append_escaped(out, scratch_, false);
    return;
  }
  if (!out.empty() && out.back() != ' ') out += ' ';
  out += "[catalog " + ytcat::to_hex(e.identity, YTRACE_FILE_IDENTITY_SIZE) + " index ";
  append_number(out, e.index);
  if (m == nullptr) {
    out += catalog == nullptr ? ": unknown catalog" : ": unknown message";
  } else if (!m->unsupported.empty()) {
    out += ": " + m->unsupported + " in ";
    append_quoted(out, m->text);
  } else {
    out += ": arguments do not fit ";
    append_quoted(out, m->text);
  }
  out += ']';
  for (const Arg &a : e.args) {
    out += ' ';
    append_number(out, unsigned{a.tag});
    out += ':';
    if (a.tag == YTRACE_ARG_STRING) {
      append_quoted(out, a.text);
    } else {
      append_number(out, a.number);
    }
  }
}

void Decoder::add_line(uint64_t thread, std::string line) {
  uint64_t number = released_ + held_.size();
  auto [it, added] = open_.try_emplace(thread, number);
  if (!added) {
    held_[it->second - released_].open = false;
    it->second = number;
  }
  held_.push_back({thread, true, std::move(line)});
  release(false);
}

// Hands out the lines at the front that are complete (all of them if `all`).
void Decoder::release(bool all) {
  while (!held_.empty() && (all || !held_.front().open || held_.size() > kMaxHeld)) {
    Held &h = held_.front();
    if (h.open) open_.erase(h.thread);
    sink_(h.text);
    spare_ = std::move(h.text);
    held_.pop_front();
    ++released_;
  }
}

}  // namespace ytdec

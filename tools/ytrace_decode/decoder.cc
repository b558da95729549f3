// SPDX-License-Identifier: MIT
#include "decoder.h"

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

Decoder::Decoder(Sink sink)
    : sink_(std::move(sink)),
      reader_([this](const BlockHeader &block, const Record &r) { record(block, r); }) {}

bool Decoder::load(const std::string &path) {
  return catalogs_.load(path, &error_);
}

void Decoder::fail(std::string why) {
  reader_.fail(std::move(why));
  checked(false);
}

bool Decoder::checked(bool ok) {
  if (!ok) {
    error_ = reader_.error();
    release(true);
  }
  return ok;
}

void Decoder::record(const BlockHeader &block, const Record &r) {
  const Site &site = *r.site;
  const Thread thread{block.pid, block.tid, block.instance};
  bool continuation = (site.level_word & YTRACE_CONTINUATION) != 0;
  if (auto it = continuation ? open_.find(thread) : open_.end(); it != open_.end()) {
    std::string &line = held_[it->second - released_].text;
    if (line.size() < kMaxLine) {
      append_text(r, line);
      return;
    }
  }
  std::string line = std::move(spare_);
  line.clear();
  append_time(line, r.time_ns);
  line += ' ';
  append_number(line, block.pid);
  line += '/';
  append_number(line, block.tid);
  line += ' ';
  if (site.module_name.empty()) {
    append_number(line, site.module);
  } else {
    append_escaped(line, site.module_name, false);
  }
  line += " L";
  append_number(line, site.level_word >> YTRACE_LEVEL_SHIFT);
  line += continuation ? " ... " : " ";  // the line it continues is gone
  append_text(r, line);
  add_line(thread, std::move(line));
}

// The message formatted with the record's arguments or, when that cannot be
// done exactly, the record's raw fields in brackets.
void Decoder::append_text(const Record &r, std::string &out) {
  const Site &site = *r.site;
  const std::vector<CatalogMessage> *catalog = catalogs_.find(site.catalog.data());
  const CatalogMessage *m =
      catalog != nullptr && site.index < catalog->size() ? &(*catalog)[site.index] : nullptr;
  if (m != nullptr && m->unsupported.empty() && m->format.fits(r.args)) {
    scratch_.clear();
    m->format.append(r.args, scratch_);
    append_escaped(out, scratch_, false);
    return;
  }
  if (!out.empty() && out.back() != ' ') out += ' ';
  out += "[catalog " + ytcat::to_hex(site.catalog.data(), site.catalog.size()) + " index ";
  append_number(out, site.index);
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
  for (const Arg &a : r.args) {
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

void Decoder::add_line(const Thread &thread, std::string line) {
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

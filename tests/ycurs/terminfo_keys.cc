// SPDX-License-Identifier: MIT
// Every installed terminfo entry, every key the library loads from it: its bytes
// typed on a pty decode as ncurses' getch (keypad on) decodes them, or better.
// One child runs the library, one ncurses, each over all entries on a fresh pty
// per entry, writing "entry<TAB>cap<TAB>codes" lines; the parent compares.
// Only keys unambiguous in their entry are typed: no other key capability of the
// entry equals one, is a prefix of one or begins with one.
// Exit 77: no terminfo entry found, or no pseudo-terminal (a package build).
#include <curses.h>
#include <dirent.h>
#include <errno.h>
#include <poll.h>
#include <pty.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <term.h>
#include <termcap.h>
#include <unistd.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "ycurs.h"

namespace {

struct Key {
  const char *cap;
  std::string typed;  // terminfo's 0x80 stands for the zero byte sent
};

bool valid(const char *s) {
  return s != nullptr && s != reinterpret_cast<const char *>(-1) && *s != 0;
}

// The keys to type for the current terminfo entry, and a byte no key capability
// of the entry holds, typed after each key; false when the entry is not `name`
// or no byte is free.
bool entry_keys(const char *name, std::vector<Key> &keys, int &marker) {
  keys.clear();
  if (cur_term == nullptr) return false;
  std::string names = std::string("|") + cur_term->type.term_names + "|";
  if (names.find(std::string("|") + name + "|") == std::string::npos) return false;
  const TERMTYPE &t = cur_term->type;
  std::vector<std::string> all;  // every key capability, extended ones too
  unsigned standard = t.num_Strings - t.ext_Strings;
  for (unsigned i = 0; i < t.num_Strings; i++) {
    const char *cap =
        i < standard ? strnames[i] : t.ext_Names[t.ext_Booleans + t.ext_Numbers + i - standard];
    if (cap[0] == 'k' && valid(t.Strings[i])) all.emplace_back(t.Strings[i]);
  }
  for (marker = 1; marker < 256; marker++) {
    bool used = false;
    for (const auto &s : all) used = used || s.find(static_cast<char>(marker)) != s.npos;
    if (!used) break;
  }
  for (const auto *table : {ycurs_fkeys, ycurs_extended_keys}) {
    for (const ycurs_fkey_s *row = table; row->cap_name != nullptr; row++) {
      const char *seq = tgetstr(row->cap_name, nullptr);
      if (!valid(seq) || strlen(seq) > 16) continue;
      int clashes = 0;
      for (const auto &s : all)
        clashes += s.compare(0, strlen(seq), seq) == 0 || strncmp(seq, s.c_str(), s.size()) == 0;
      if (clashes != 1) continue;
      std::string typed = seq;
      for (char &c : typed) c = c == '\x80' ? 0 : c;
      keys.push_back({row->cap_name, typed});
    }
  }
  return marker < 256;
}

// Types the keys on the pty, each followed by the marker, and writes what
// `next` returns up to each marker (-1: nothing came in time).
template <typename Next>
void type_keys(int master, FILE *out, const char *name, const std::vector<Key> &keys, int marker,
               Next next) {
  std::string all;
  for (const Key &k : keys) all += k.typed + static_cast<char>(marker);
  if (write(master, all.data(), all.size()) != static_cast<ssize_t>(all.size())) abort();
  for (const Key &k : keys) {
    std::string codes;
    for (int c; (c = next()) != marker;) {
      codes += std::to_string(c) + ",";
      if (c < 0) break;
    }
    fprintf(out, "%s\t%s\t%s\n", name, k.cap, codes.c_str());
  }
}

// The byte the line discipline would take for itself pass as typed.
void raw_slave(int fd) {
  termios t;
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  tcsetattr(fd, TCSANOW, &t);
}

void library_side(const std::vector<std::string> &entries, FILE *out) {
  std::vector<Key> keys;
  int marker;
  for (const auto &name : entries) {
    int master, slave;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) abort();
    dup2(slave, 0);
    close(slave);
    setenv("TERM", name.c_str(), 1);
    ycurs_ctx_s *ctx = ycurs_initterm();
    ycurs_cbreak(ctx);
    ycurs_noecho(ctx);
    ycurs_keypad(ctx, 1);
    ycurs_keypad_extended(ctx);
    raw_slave(0);
    if (entry_keys(name.c_str(), keys, marker)) {
      // The caller's usual wait, with an escape delay no scheduling can outlast.
      type_keys(master, out, name.c_str(), keys, marker, [ctx] {
        for (;;) {
          int c = ycurs_wgetch(ctx);
          if (c != YCURS_NOTHING) return c;
          pollfd p = {0, POLLIN, 0};
          if (poll(&p, 1, 5000) == 0 && ctx->input_read_buf_used == 0) return -1;
        }
      });
    }
    ycurs_free(ctx);
    close(master);
  }
}

void ncurses_side(const std::vector<std::string> &entries, FILE *out) {
  std::vector<Key> keys;
  int marker;
  FILE *screen = fopen("/dev/null", "w");
  for (const auto &name : entries) {
    int master, slave;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) abort();
    FILE *in = fdopen(slave, "r");
    if (SCREEN *sp = newterm(name.c_str(), screen, in)) {
      raw();
      noecho();
      nonl();
      keypad(stdscr, TRUE);
      set_escdelay(5000);
      timeout(10000);
      raw_slave(slave);
      if (entry_keys(name.c_str(), keys, marker))
        type_keys(master, out, name.c_str(), keys, marker, [] { return getch(); });
      endwin();
      delscreen(sp);
    } else {
      fprintf(out, "%s\t!\t\n", name.c_str());  // hardcopy or generic: no curses screen
    }
    fclose(in);
    close(master);
  }
  fclose(screen);
}

// Entry names, one per description (aliases are links), in sorted order.
std::vector<std::string> list_entries() {
  std::map<std::string, ino_t> names;
  std::set<ino_t> seen;
  for (const char *root : {"/lib/terminfo", "/usr/share/terminfo"}) {
    DIR *top = opendir(root);
    for (dirent *d; top != nullptr && (d = readdir(top)) != nullptr;) {
      std::string dir = std::string(root) + "/" + d->d_name;
      DIR *sub = d->d_name[0] == '.' ? nullptr : opendir(dir.c_str());
      for (dirent *e; sub != nullptr && (e = readdir(sub)) != nullptr;) {
        struct stat st;
        if (e->d_name[0] != '.' && stat((dir + "/" + e->d_name).c_str(), &st) == 0 &&
            !names.count(e->d_name))
          names[e->d_name] = st.st_ino;
      }
      if (sub != nullptr) closedir(sub);
    }
    if (top != nullptr) closedir(top);
  }
  std::vector<std::string> out;
  for (const auto &[name, ino] : names) {
    if (seen.insert(ino).second) out.push_back(name);
  }
  return out;
}

std::map<std::string, std::string> read_lines(FILE *f) {
  std::map<std::string, std::string> out;
  rewind(f);
  char line[4096];
  while (fgets(line, sizeof line, f) != nullptr) {
    char *sep = strrchr(line, '\t');
    *strchr(sep, '\n') = 0;
    out[std::string(line, sep)] = sep + 1;
  }
  return out;
}

bool is_key(const std::string &codes) {
  return codes.find(',') + 1 == codes.size() && atoi(codes.c_str()) > 255;
}

}  // namespace

int main() {
  std::vector<std::string> entries = list_entries();
  if (entries.empty()) {
    printf("terminfo keys: no terminfo entry under /lib/terminfo or /usr/share/terminfo\n");
    return 77;
  }
  int master, slave;
  if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
    printf("terminfo keys: no pseudo-terminal: %s\n", strerror(errno));
    return 77;
  }
  close(master);
  close(slave);
  setenv("LINES", "24", 1);
  setenv("COLUMNS", "80", 1);
  FILE *results[2] = {tmpfile(), tmpfile()};
  fflush(stdout);
  for (int side = 0; side < 2; side++) {
    if (fork() == 0) {
      (side == 0 ? library_side : ncurses_side)(entries, results[side]);
      fclose(results[side]);
      exit(0);
    }
  }
  int status, failed = 0;
  while (wait(&status) > 0) failed += !WIFEXITED(status) || WEXITSTATUS(status) != 0;
  auto lib = read_lines(results[0]), nc = read_lines(results[1]);
  std::map<std::string, int> reasons;
  std::set<std::string> compared;
  int behind = 0, keys = 0;
  for (const auto &[id, ours] : lib) {
    auto it = nc.find(id);
    if (it == nc.end()) continue;
    keys++;
    compared.insert(id.substr(0, id.find('\t')));
    const std::string &theirs = it->second;
    if (ours == theirs) continue;
    const char *why = is_key(ours) && !is_key(theirs)  ? "ahead: ncurses returns the bytes"
                      : is_key(ours) && is_key(theirs) ? "behind: another code"
                                                       : "behind: the library returns the bytes";
    behind += why[0] == 'b';
    reasons[why]++;
    printf("%s: library %s ncurses %s (%s)\n", id.c_str(), ours.c_str(), theirs.c_str(), why);
  }
  size_t unopened = 0;
  for (const auto &[id, codes] : nc) unopened += id.back() == '!';
  printf(
      "terminfo keys: %zu entries, %zu compared (%zu without a screen in ncurses, the rest without "
      "an unambiguous key), %d keys compared",
      entries.size(), compared.size(), unopened, keys);
  for (const auto &[why, n] : reasons) printf("; %d %s", n, why.c_str());
  printf("\n");
  return failed != 0 || behind != 0 || compared.empty();
}

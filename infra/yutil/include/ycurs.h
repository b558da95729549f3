// SPDX-License-Identifier: MIT
/* Terminal input: a terminal context on standard input, its input modes, a byte
 * trie of key sequences and a key reader that never waits.
 *
 * What a caller must know:
 * - End of input belongs to the process and is permanent: once one read meets it,
 *   on any context, no context polls or reads standard input again; each call
 *   hands back its context's held bytes, then returns YCURS_ENDED for good.
 * - The reader holds at most 16 bytes: a key sequence longer than that is never
 *   decoded, its bytes come back one by one.
 * - Null is accepted only where a function says so: ycurs_endwin, ycurs_free and
 *   ycurs_free_keytry (no-op); the root and seq of ycurs_key_defined; the seq
 *   of ycurs_add_to_try and ycurs_remove_string; the node and counter of
 *   ycurs_expand_try. Every other pointer (a context, a root or link address)
 *   must be valid; *root and *link may be null (an empty trie).
 * - Nothing here takes a lock: one thread at a time per context and per trie. */
#ifndef YUTIL_YCURS_H
#define YUTIL_YCURS_H

#include <stdint.h>
#include <termios.h>

#ifdef __cplusplus
extern "C" {
#endif

#pragma GCC visibility push(default)

/* Key codes of the function-key table, as curses numbers them; all above 255. */
#define YCURS_KEY_DOWN 0x102
#define YCURS_KEY_UP 0x103
#define YCURS_KEY_LEFT 0x104
#define YCURS_KEY_RIGHT 0x105
#define YCURS_KEY_HOME 0x106
#define YCURS_KEY_BACKSPACE 0x107
#define YCURS_KEY_F(n) (0x108 + (n))
#define YCURS_KEY_ENTER 0x157
#define YCURS_KEY_END 0x168

/* One node of a key-sequence trie: one byte of a sequence. The nodes of a level
 * are linked through next_sibling in the order they were created. */
typedef struct tries {
  struct tries *first_child;  /* bytes that may follow this one; null when none */
  struct tries *next_sibling; /* next node of this level; null at its end */
  uint8_t byte;               /* 0 stands for a zero byte of the sequence */
  uint16_t key_code;          /* code of the sequence ending here; 0 when none */
} tries;

/* Stores `seq` (0x80 standing for a zero byte) under `code` below the root link
 * `root` (not null), replacing the code of a sequence already stored. Returns 0;
 * 22 when seq is null or empty or code is 0 (trie untouched); 12 when a node
 * cannot be allocated (trie exactly as before the call, nothing leaked). */
int ycurs_add_to_try(tries **root, const char *seq, uint16_t code);

/* Releases node, everything below it and every node after it in its level; the
 * link that held node is left dangling for the caller to clear. Null: no-op. */
void ycurs_free_keytry(tries *node);

/* Looks `seq` up from the root node. Returns the code of the deepest matched
 * node carrying one, -1 when all of seq matches a path that goes on, 0 when
 * neither holds or root or seq is null or seq is empty. Bytes are compared as
 * given, so a stored zero byte is never met here (the key reader does meet it). */
int ycurs_key_defined(tries *root, const char *seq);

/* Returns the text (zero byte as 0x80) of occurrence *occurrence (0-based, walk
 * order: children before their node) of `code`, its bytes from position pos on
 * (zero bytes before), allocated for the caller (release with __quillet_free).
 * Decrements *occurrence once per occurrence passed: -1 after a success.
 * Null, *occurrence untouched, when node or occurrence is null, code is 0, or
 * *occurrence or pos is negative; null when fewer occurrences exist (*occurrence
 * then less by their number) or memory runs out. */
char *ycurs_expand_try(tries *node, uint16_t code, int32_t *occurrence, int32_t pos);

/* Removes the first occurrence of `code` in walk order below the link `link`
 * (not null): a leaf is released, an interior node loses its code. Returns 1
 * when removed; 0 when code is 0 or not found (nothing changes). */
int ycurs_remove_key(tries **link, uint16_t code);

/* Releases the last node of the stored path `seq` below the link `link` (not
 * null) when it has no children, whatever its code; 0x80 is not translated.
 * Returns 1 when released; 0 for a null or empty seq, a path not stored, or a
 * last node with children (then nothing changes). */
int ycurs_remove_string(tries **link, const char *seq);

/* The terminal context: everything a client drives the terminal layer with. */
typedef struct ycurs_ctx_s {
  struct termios saved_attrs; /* as read at creation (zero without a terminal); never changed */
  struct termios cur_attrs;   /* working copy the mode operations change and apply */
  int32_t input_fd;           /* 0: standard input */
  int32_t output_fd;          /* 1: standard output */
  unsigned char input_read_buf[16]; /* bytes read, not yet returned, from 0; zero past them */
  uint32_t input_read_buf_used;     /* bytes held in input_read_buf; below 16 between calls */
  tries *keytry;                    /* key-sequence trie; null until a sequence is added */
  int32_t screen_mode;              /* 1 from ycurs_initscr; 0: never write to the terminal */
} ycurs_ctx_s;

/* Creates a context on standard input in screen mode and sends the terminal's
 * initialisation strings. Without a terminal, TERM or a known terminal type it
 * still returns a usable context (a trace record says which). Null, with a
 * level-3 record, when memory runs out or the terminal attributes cannot be read. */
ycurs_ctx_s *ycurs_initscr(void);
/* As ycurs_initscr, but the context never writes anything to the terminal. */
ycurs_ctx_s *ycurs_initterm(void);
/* Leaves keypad-transmit mode (screen mode) and restores the attributes saved at
 * creation; a failure is traced only. The context stays usable. Null: no-op. */
void ycurs_endwin(ycurs_ctx_s *ctx);
/* Releases the context and its trie without touching the terminal. Null: no-op. */
void ycurs_free(ycurs_ctx_s *ctx);

/* Input byte by byte, signals kept, no inter-byte timer, CR no longer mapped to
 * NL. Returns 0 (without a terminal only cur_attrs changes), or the errno value
 * of a failed tcsetattr, with a level-3 record (the change is kept in cur_attrs
 * and goes out with the next successful apply). */
int ycurs_cbreak(ycurs_ctx_s *ctx);
/* Input no longer echoed. Result as for ycurs_cbreak. */
int ycurs_noecho(ycurs_ctx_s *ctx);
/* on nonzero: the interrupt character saved at creation; zero: none. Result as for
 * ycurs_cbreak; when the disabling value cannot be had, a level-0 record, then
 * abort. */
int ycurs_intr(ycurs_ctx_s *ctx, int32_t on);
/* Sends the terminal's meta-on (on nonzero) or meta-off string in screen mode.
 * Always 0. */
int ycurs_meta(ycurs_ctx_s *ctx, int32_t on);

/* One function key: its code, the termcap name holding its sequence, its name. */
typedef struct ycurs_fkey_s {
  uint16_t key_code;
  const char *cap_name;
  const char *key_name;
} ycurs_fkey_s;

/* The twenty keys ycurs_keypad loads, then a row of zeros. */
#define YCURS_FKEY_COUNT 20
extern const ycurs_fkey_s ycurs_fkeys[YCURS_FKEY_COUNT + 1];

/* on nonzero: keypad-transmit mode on (screen mode) and every key of ycurs_fkeys
 * that the terminal entry defines added to the context's trie; a key that cannot
 * be added is traced and skipped. Zero: keypad-transmit off, keys kept. Always 0. */
int ycurs_keypad(ycurs_ctx_s *ctx, int32_t on);

/* Every other key a terminal entry may describe that curses decodes with a code
 * of its own (Delete, Page Up, Shift-Tab, F0 and F13 to F63...), in terminfo's
 * order, then a row of zeros. Mouse reports are no keys, so kmous is not here. */
#define YCURS_EXTENDED_KEY_COUNT 129
extern const ycurs_fkey_s ycurs_extended_keys[YCURS_EXTENDED_KEY_COUNT + 1];

/* Adds to the context's trie every key of ycurs_extended_keys that the terminal
 * entry defines, with ycurs_keypad's records, except (without a record) a key
 * whose sequence is longer than the 16 bytes the reader holds, or is or begins
 * with a sequence the entry gives a key of ycurs_fkeys: the twenty keep their
 * codes and decode as without it, whichever of the two is called first. Of two
 * keys sharing a sequence, the later row's code stays. Sends nothing: call it
 * after ycurs_keypad(ctx, 1), which switches keypad-transmit mode. Always 0. */
int ycurs_keypad_extended(ycurs_ctx_s *ctx);

/* Never waits: reads at most one byte of standard input. Returns a key code when
 * the held bytes complete a stored sequence (held bytes after it are dropped), a
 * byte (0..255) that starts none, YCURS_NOTHING when nothing is ready or more
 * bytes of a sequence may follow, or YCURS_ENDED once input has ended (for the
 * whole process, see above) and every held byte was handed back. When nothing
 * is ready, one held byte comes back per call. A sequence holding a zero byte
 * (0x80 when stored) is decoded too. When select or read fail (other than EINTR,
 * or EAGAIN, which are retried), a level-0 record, then abort. */
int ycurs_wgetch(ycurs_ctx_s *ctx);
#define YCURS_NOTHING (-1)
#define YCURS_ENDED (-2)

/* Trace module id of the terminal layer, set at every context creation. */
extern uint16_t g_ycurs_trace_module_id;

/* Allocation tags handed to the platform allocator: a type name and a
 * thread-local cache word per allocated type, and the library's own. */
extern const char g_yutil_tag_name[];
extern __thread uint32_t g_yutil_tag_cache;
extern const char g_ycurs_ctx_s_tag_name[];
extern __thread uint32_t g_ycurs_ctx_s_tag_cache;
extern const char g_tries_tag_name[];
extern __thread uint32_t g_tries_tag_cache;
extern const char g_BYTE_tag_name[];
extern __thread uint32_t g_BYTE_tag_cache;

#pragma GCC visibility pop

#ifdef __cplusplus
}
#endif

#endif

// SPDX-License-Identifier: MIT
/* The trace stand-in's record file (YTRACE_FILE): a compact, versioned binary
 * format that several processes and threads write at once, each through a shared
 * mapping of the file. Every number is little-endian.
 *
 * File header (YTRACE_FILE_HEADER_SIZE bytes), written once, before any entry:
 *   char magic[4] "YTRF"; u16 version (YTRACE_FILE_VERSION); u16 header size;
 *   u64 end: the file offset just past the last entry reserved so far.
 * A file made a record file in place (it was empty) is zero bytes for a moment,
 * then gets end, then magic, version and header size in one 8-byte store: a
 * reader following the file waits while the magic is zero bytes.
 *
 * Entries follow the header back to back, each at a multiple of
 * YTRACE_ENTRY_ALIGN (so that its size field is aligned):
 *   u32 size            bytes of the whole entry, this field and the padding
 *                       included: a multiple of YTRACE_ENTRY_ALIGN
 *   u8  kind            YTRACE_ENTRY_REGISTRATION or YTRACE_ENTRY_RECORD; 0 while
 *                       the entry is not written yet
 *   u64 time            nanoseconds since the Unix epoch (CLOCK_REALTIME)
 *   u32 pid, u32 tid    the writing process and thread (module ids are per process)
 *   then by kind:
 *   registration: u16 module id; u8 name length; the name's bytes (no NUL)
 *   record:       u8 catalog identity[YTRACE_FILE_IDENTITY_SIZE]; u32 message
 *                 index; u16 module id; u32 level word; u8 argument count; per
 *                 argument its type tag (the digit of the emit function's name)
 *                 and value:
 *                   YTRACE_ARG_STRING  u16 length, the bytes (no NUL; a null
 *                                      pointer is written as "(null)")
 *                   YTRACE_ARG_U32     u32
 *                   YTRACE_ARG_U64     u64
 *   then zero bytes up to the size, fewer than YTRACE_ENTRY_ALIGN.
 *
 * How an entry is written: the writer reserves its bytes by adding its size to the
 * header's end atomically; the file is extended ahead of end with zero bytes;
 * the writer stores the size, then the rest with kind still 0, then the kind, last
 * (release order). A reader therefore walks from the header on and, at each entry:
 *   - kind nonzero: the entry is whole; the next starts size bytes further;
 *   - size nonzero, kind 0: reserved, not written yet. Its writer may still be at
 *     it (a reader following the file waits) or have died or failed (a reader
 *     that does not wait skips it by its size);
 *   - size 0, or the file ends before the size field: at or past end, nothing is
 *     reserved there yet: the records end (the zero bytes after them are space
 *     allocated ahead; a follower waits). Before end, a writer has reserved the
 *     entry but not yet stored its size: a follower waits; if it never comes (its
 *     process was killed at that instant), the entries after it cannot be found.
 * end only grows; while writers run, a reader takes it as a hint, since read(2)
 * may see it half updated. A reader skips an entry of a kind it does not know by
 * its size. */
#ifndef YUTIL_STANDINS_YTRACE_FILE_FORMAT_H
#define YUTIL_STANDINS_YTRACE_FILE_FORMAT_H

#define YTRACE_FILE_MAGIC "YTRF"
#define YTRACE_FILE_VERSION 2
#define YTRACE_FILE_HEADER_SIZE 16
/* Offset of the header's end field. */
#define YTRACE_FILE_END_OFFSET 8

#define YTRACE_ENTRY_ALIGN 8
/* size, kind, time, pid, tid */
#define YTRACE_ENTRY_COMMON_SIZE (4 + 1 + 8 + 4 + 4)
/* Offset of the kind field in an entry. */
#define YTRACE_ENTRY_KIND_OFFSET 4
#define YTRACE_ENTRY_REGISTRATION 1
#define YTRACE_ENTRY_RECORD 2

#define YTRACE_FILE_IDENTITY_SIZE 16
/* A record's fields before its arguments. */
#define YTRACE_RECORD_FIXED_SIZE \
  (YTRACE_ENTRY_COMMON_SIZE + YTRACE_FILE_IDENTITY_SIZE + 4 + 2 + 4 + 1)

#define YTRACE_ARG_STRING 1
#define YTRACE_ARG_U32 4
#define YTRACE_ARG_U64 5

/* Longest string argument written; a longer one is cut to this many bytes. */
#define YTRACE_FILE_STRING_MAX 4096

#endif

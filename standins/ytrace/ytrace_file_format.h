/* The trace stand-in's record file (YTRACE_FILE): a compact, versioned,
 * append-only binary format that several processes and threads write at once.
 * Every number is little-endian, whatever the writer's byte order; nothing is
 * padded. The writer emits each entry with one write(2) on a descriptor opened
 * with O_APPEND, so an entry is never torn or interleaved with another.
 *
 * File header (YTRACE_FILE_HEADER_SIZE bytes), written once, before any entry:
 *   char magic[4] "YTRF"; u16 version (YTRACE_FILE_VERSION); u16 header size.
 *
 * Entry, repeated to the end of the file:
 *   u32 size            bytes of the whole entry, this field included
 *   u8  kind            YTRACE_ENTRY_REGISTRATION or YTRACE_ENTRY_RECORD
 *   u64 time            nanoseconds since the Unix epoch (CLOCK_REALTIME)
 *   u32 pid, u32 tid    the writing process and thread (module ids are per process)
 *   then by kind:
 *   registration: u16 module id; u8 name length; the name's bytes (no NUL)
 *   record:       u8 catalog identity[16]; u32 message index; u16 module id;
 *                 u32 level word; u8 argument count; per argument its type tag
 *                 (the digit of the emit function's name) and value:
 *                   YTRACE_ARG_STRING  u16 length, the bytes (no NUL; a null
 *                                      pointer is written as "(null)")
 *                   YTRACE_ARG_U32     u32
 *                   YTRACE_ARG_U64     u64
 * A reader skips an entry of a kind it does not know by its size. */
#ifndef YUTIL_STANDINS_YTRACE_FILE_FORMAT_H
#define YUTIL_STANDINS_YTRACE_FILE_FORMAT_H

#define YTRACE_FILE_MAGIC "YTRF"
#define YTRACE_FILE_VERSION 1
#define YTRACE_FILE_HEADER_SIZE 8

/* size, kind, time, pid, tid */
#define YTRACE_ENTRY_COMMON_SIZE (4 + 1 + 8 + 4 + 4)
#define YTRACE_ENTRY_REGISTRATION 1
#define YTRACE_ENTRY_RECORD 2

#define YTRACE_ARG_STRING 1
#define YTRACE_ARG_U32 4
#define YTRACE_ARG_U64 5

/* Longest string argument written; a longer one is cut to this many bytes. */
#define YTRACE_FILE_STRING_MAX 4096

#endif

// SPDX-License-Identifier: MIT
/* The trace stand-in's record file (YTRACE_FILE): a compact, versioned binary
 * format that several processes and threads write at once, each through shared
 * mappings of the file. Every number is little-endian; fields are not aligned
 * unless said.
 *
 * The file is a sequence of blocks of YTRACE_BLOCK_SIZE bytes. Block 0 holds the
 * file header; every other block belongs to one thread of one process, which
 * alone writes entries into it, one after another. A reader therefore always
 * knows where each block begins, and a writer that dies spoils at most the entry
 * it was writing, in its own block.
 *
 * File header (YTRACE_FILE_HEADER_SIZE bytes at offset 0; the rest of block 0 is
 * zero):
 *   0  char magic[4] "YTRF"
 *   4  u16 version (YTRACE_FILE_VERSION)
 *   6  u16 header size
 *   8  u32 block size (YTRACE_BLOCK_SIZE)
 *   12 u32 blocks taken: blocks 1 .. taken - 1 have been handed out (atomic add)
 *   16 u32 stopped: 0, or the first block a writer could not have, after which
 *      recording stopped (the disk was full, no address space was left)
 *   20 u32 the errno value that stopped recording
 *   24 u64 zero
 * A file made a record file in place (it was empty) is zero bytes for a moment;
 * the magic, version and header size come last, in one 8-byte store: a reader
 * following the file waits while the magic is zero bytes.
 * The file grows YTRACE_FILE_CHUNK bytes at a time (zero bytes): a block taken
 * may lie past the file's end until its writer has extended the file.
 *
 * Block header (YTRACE_BLOCK_HEADER_SIZE bytes at the block's start):
 *   0  u32 pid, 4 u32 tid: the writing process and thread (never 0)
 *   8  u64 instance: the process's start time in clock ticks after boot (as in
 *      /proc/PID/stat), which tells apart two processes that had one pid; 0 when
 *      unknown
 *   16 u64 taken: nanoseconds since the Unix epoch (CLOCK_REALTIME) read after
 *      the block was taken; no record in the block is earlier
 * The pid is stored last (release): a block whose pid is 0 has no entries yet.
 *
 * Entries follow the block header, each at a multiple of YTRACE_ENTRY_ALIGN,
 * starting with a u32 head:
 *   0                    nothing here yet: the block's entries end here for now
 *   YTRACE_HEAD_WRITING  the writer is writing the entry that starts here; it
 *                        has read, or is about to read, the clock for it. If
 *                        the writer is gone, the entry was never finished.
 *   YTRACE_HEAD_CLOSED   the writer put no more entries in this block (it was
 *                        full, or the thread ended)
 *   otherwise            bits 0-15 the entry's size (this head and the padding
 *                        included: a multiple of YTRACE_ENTRY_ALIGN, at least its
 *                        fixed part), bits 16-31 its site id: 0 for a
 *                        definition, which is not a record, n for a record of
 *                        site n
 * Definition (site id 0), after the head:
 *   u8 kind (YTRACE_DEFINE_SITE; a reader skips another kind by its size)
 *   u16 the site id it defines (n >= 1, not defined before in this block)
 *   u8 catalog identity[YTRACE_FILE_IDENTITY_SIZE]; u32 message index;
 *   u32 level word; u16 module id; u8 name length, the module's name as its
 *   process registered it (no NUL; length 0 when it did not register);
 *   u8 argument count; per argument its type tag (YTRACE_ARG_*)
 * Record of site n, after the head:
 *   u64 time: nanoseconds since the Unix epoch (CLOCK_REALTIME)
 *   per argument of the site, by its type:
 *     YTRACE_ARG_STRING  u16 length, the bytes (no NUL; a null pointer is
 *                        written as "(null)")
 *     YTRACE_ARG_U32     u32
 *     YTRACE_ARG_U64     u64
 * then zero bytes up to the entry's size. A site is defined before its first
 * record in the block, so that every block decodes alone.
 *
 * How an entry is written: its head first becomes YTRACE_HEAD_WRITING, then the
 * writer reads the clock, stores the rest and, last, the size and site id
 * (release). A record that needs its site defined is written with
 * the definition before it, in the same way: the definition's head is stored
 * last. A block's records are in the order of their times.
 *
 * Reading: records of all blocks are merged by time (ties by block number). A
 * follower may hand out a record of time t once no block can still receive an
 * earlier one: a block whose next head is 0, or whose header is not written yet,
 * or not yet taken, can only receive records read from the clock after the
 * follower read its own, taken before it looked, less YTRACE_FOLLOW_MARGIN (the
 * time a store of YTRACE_HEAD_WRITING may take to be seen, with no barrier); a block whose next
 * head is YTRACE_HEAD_WRITING holds back every later time until the entry is written or its writer
 * is found gone (the process no longer runs, or another process now has its pid). */
#ifndef YUTIL_STANDINS_YTRACE_FILE_FORMAT_H
#define YUTIL_STANDINS_YTRACE_FILE_FORMAT_H

#define YTRACE_FILE_MAGIC "YTRF"
#define YTRACE_FILE_VERSION 3
#define YTRACE_FILE_HEADER_SIZE 32
/* Offsets of the header's atomic fields. */
#define YTRACE_FILE_TAKEN_OFFSET 12
#define YTRACE_FILE_STOPPED_OFFSET 16
#define YTRACE_FILE_STOP_ERRNO_OFFSET 20

/* A multiple of every page size a writer may map with. */
#define YTRACE_BLOCK_SIZE (64 << 10)
#define YTRACE_BLOCK_HEADER_SIZE 24

#define YTRACE_ENTRY_ALIGN 4
#define YTRACE_HEAD_WRITING 1u
#define YTRACE_HEAD_CLOSED 2u
#define YTRACE_HEAD_SIZE_MASK 0xffffu
/* Nanoseconds; far more than a store takes to leave a processor's buffer. */
#define YTRACE_FOLLOW_MARGIN 1000000
#define YTRACE_HEAD_SITE_SHIFT 16

#define YTRACE_DEFINE_SITE 1
#define YTRACE_FILE_IDENTITY_SIZE 16
/* head, kind, site id, identity, index, level word, module id, name length,
 * argument count */
#define YTRACE_DEFINITION_FIXED_SIZE (4 + 1 + 2 + YTRACE_FILE_IDENTITY_SIZE + 4 + 4 + 2 + 1 + 1)
/* head, time */
#define YTRACE_RECORD_FIXED_SIZE (4 + 8)

#define YTRACE_ARG_STRING 1
#define YTRACE_ARG_U32 4
#define YTRACE_ARG_U64 5

/* Longest string argument written; a longer one is cut to this many bytes. */
#define YTRACE_FILE_STRING_MAX 4096

#endif

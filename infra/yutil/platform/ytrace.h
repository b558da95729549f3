// SPDX-License-Identifier: MIT
/* Interface of the platform's binary trace facility (libytrace.so).
 * A record names its message by catalog and index; the texts live in the
 * library file's catalog sections, never in the record. */
#ifndef YUTIL_PLATFORM_YTRACE_H
#define YUTIL_PLATFORM_YTRACE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Level word: level in bits 24..31, YTRACE_CONTINUATION marks a record that
 * extends the previous one. */
#define YTRACE_LEVEL_SHIFT 24
#define YTRACE_CONTINUATION 0x10000u

/* Registers a module by name and stores its id; a repeated registration returns
 * the same id. `registration_word` is the facility's to use. */
int ytrace_module_init_fn(const char *module_name, uint16_t *module_id_out,
                          uint32_t *registration_word);

/* Emit functions: the digits name the argument types in order
 * (1 string, 4 32-bit integer, 5 64-bit integer, 0 none). */
int __YTf_0(const void *catalog, uint32_t message_index, uint16_t module_id, uint32_t level_word);
int __YTf_1(const void *catalog, uint32_t message_index, uint16_t module_id, uint32_t level_word,
            const char *a1);
int __YTf_4(const void *catalog, uint32_t message_index, uint16_t module_id, uint32_t level_word,
            uint32_t a1);
int __YTf_11(const void *catalog, uint32_t message_index, uint16_t module_id, uint32_t level_word,
             const char *a1, const char *a2);
int __YTf_14(const void *catalog, uint32_t message_index, uint16_t module_id, uint32_t level_word,
             const char *a1, uint32_t a2);
int __YTf_15(const void *catalog, uint32_t message_index, uint16_t module_id, uint32_t level_word,
             const char *a1, uint64_t a2);
int __YTf_41(const void *catalog, uint32_t message_index, uint16_t module_id, uint32_t level_word,
             uint32_t a1, const char *a2);
int __YTf_44(const void *catalog, uint32_t message_index, uint16_t module_id, uint32_t level_word,
             uint32_t a1, uint32_t a2);
int __YTf_114(const void *catalog, uint32_t message_index, uint16_t module_id, uint32_t level_word,
              const char *a1, const char *a2, uint32_t a3);

/* Nonzero when records of `level` from `module_id` would be kept. */
int ytrace_module_test(uint16_t module_id, uint32_t level);
/* Latches a guard's answer; ytrace_eval_once_res() reads it back. */
void ytrace_eval_once(int result);
int ytrace_eval_once_res(void);

/* Module id and level of the last record this thread emitted. */
uint16_t ytrace_last_module_id(void);
uint32_t ytrace_last_level(void);

#ifdef __cplusplus
}
#endif

#endif

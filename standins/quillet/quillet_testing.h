// SPDX-License-Identifier: MIT
/* Test controls of the allocator stand-in: live-block counts per type name and
 * injected allocation failures. Not part of the platform interface. */
#ifndef YUTIL_STANDINS_QUILLET_TESTING_H
#define YUTIL_STANDINS_QUILLET_TESTING_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Blocks of `type_name` allocated and not yet released. */
long quillet_testing_live(const char *type_name);
/* Make the n-th allocation from now fail (1: the next one); 0 turns it off. */
void quillet_testing_fail_nth(unsigned long n);
/* Make every allocation of `site_id` fail; 0 turns it off. */
void quillet_testing_fail_site(uint32_t site_id);

#ifdef __cplusplus
}
#endif

#endif

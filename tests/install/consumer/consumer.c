// SPDX-License-Identifier: MIT
/* A program outside the tree: one call into each family of the installed library. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <ycurs.h>
#include <yelmir_pkg_file_path.h>
#include <yenv.h>
#include <yutil_string_buff.h>

static void *allocate(uint32_t n) {
  return malloc(n);
}

int main(void) {
  uint16_t port = 0;
  int env = ygetenv_u16("CONSUMER_PORT", &port); /* the test sets it to 8080 */

  tries *keys = NULL;
  int trie = ycurs_add_to_try(&keys, "\033[A", YCURS_KEY_UP);
  int defined = ycurs_key_defined(keys, "\033[A");
  ycurs_free_keytry(keys);

  char path[] = "/elsewhere/a.bin";
  int redirected = yelmir_get_pkg_file_path(path);

  yutil_string_buff_s *b = NULL;
  char *text = NULL;
  uint32_t len = 0;
  int init = yutil_string_buff_init(&b, allocate, free, 64);
  if (init == 0) {
    yutil_string_buff_printf(b, "port %u key %d", (unsigned)port, defined);
    yutil_string_buff_get(b, &text, &len);
  }
  int ok = env == 0 && port == 8080 && trie == 0 && defined == YCURS_KEY_UP && !redirected &&
           init == 0 && text != NULL && strcmp(text, "port 8080 key 259") == 0;
  printf("consumer: %s\n", ok ? text : "unexpected results");
  yutil_string_buff_free(b);
  return ok ? 0 : 1;
}

// SPDX-License-Identifier: MIT
#include "command_line.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

void cli_start(cli_s *c, const char *program, const char *usage, int argc, char **argv) {
  *c = (cli_s){.program = program, .usage = usage, .argc = argc, .argv = argv, .next = 1};
}

int cli_next(cli_s *c) {
  if (c->next < c->argc && !c->operands_only && strcmp(c->argv[c->next], "--") == 0) {
    c->operands_only = 1;
    c->next++;
  }
  if (c->next >= c->argc) return 0;
  c->arg = c->argv[c->next++];
  return 1;
}

int cli_is_option(const cli_s *c) {
  return !c->operands_only && c->arg[0] == '-' && c->arg[1] != '\0';
}

/* A written listing is the answer only once it has reached its reader. */
static int printed(void) {
  if (fflush(stdout) == 0 && !ferror(stdout)) return 0;
  perror("cannot write to standard output");
  return 1;
}

int cli_standard(const cli_s *c) {
  if (!cli_is_option(c)) return -1;
  if (strcmp(c->arg, "--help") == 0 || strcmp(c->arg, "-h") == 0) {
    fputs(c->usage, stdout);
    return printed();
  }
  if (strcmp(c->arg, "--version") == 0) {
    printf("%s (libyutil) %s\n", c->program, YUTIL_VERSION);
    return printed();
  }
  return -1;
}

/* The length of `name` when the current argument is "--name" or "--name=...". */
static size_t long_option(const cli_s *c, const char *name) {
  size_t n = strlen(name);
  if (!cli_is_option(c) || strncmp(c->arg, "--", 2) != 0 || strncmp(c->arg + 2, name, n) != 0) {
    return 0;
  }
  char after = c->arg[2 + n];
  return after == '\0' || after == '=' ? n : 0;
}

int cli_flag(const cli_s *c, const char *name, const char *letter, int *status) {
  if (letter != NULL && cli_is_option(c) && c->arg[1] == letter[0] && c->arg[2] == '\0') return 1;
  size_t n = long_option(c, name);
  if (n == 0) return 0;
  if (c->arg[2 + n] == '=') *status = cli_usage_error(c, "--%s takes no value", name);
  return 1;
}

int cli_value(cli_s *c, const char *name, const char *what, const char **value, int *status) {
  size_t n = long_option(c, name);
  if (n == 0) return 0;
  if (c->arg[2 + n] == '=') {
    *value = c->arg + 3 + n;
  } else if (c->next < c->argc) {
    *value = c->argv[c->next++];
  } else {
    *value = "";
  }
  if (**value == '\0') *status = cli_usage_error(c, "--%s needs %s", name, what);
  return 1;
}

int cli_usage_error(const cli_s *c, const char *format, ...) {
  va_list args;
  va_start(args, format);
  fprintf(stderr, "%s: ", c->program);
  vfprintf(stderr, format, args);
  fprintf(stderr, " (--help shows the usage)\n");
  va_end(args);
  return CLI_USAGE_ERROR;
}

int cli_unexpected(const cli_s *c) {
  return cli_is_option(c) ? cli_usage_error(c, "unknown option %s", c->arg)
                          : cli_usage_error(c, "unexpected argument %s", c->arg);
}

// SPDX-License-Identifier: MIT
/* The command-line convention every program of the project follows: --help to
 * standard output with status 0, --version, --opt=value wherever --opt value is
 * taken, and a usage error as one line on standard error with status 2. */
#ifndef YUTIL_COMMAND_LINE_H
#define YUTIL_COMMAND_LINE_H

#ifdef __cplusplus
extern "C" {
#endif

enum { CLI_USAGE_ERROR = 2 };

typedef struct {
  const char *program; /* the name messages start with, "ytrace-decode" */
  const char *usage;   /* what --help prints */
  int argc;
  char **argv;
  int next;          /* index of the argument after the current one */
  int operands_only; /* "--" was seen: every further argument is an operand */
  const char *arg;   /* the current argument */
} cli_s;

/* Starts reading argv[1..argc-1]. */
void cli_start(cli_s *c, const char *program, const char *usage, int argc, char **argv);

/* Steps to the next argument; 0 when there are no more. "--" is skipped and
 * makes every later argument an operand. */
int cli_next(cli_s *c);

/* The current argument is an option ("-x", "--name", "--name=value"), not an
 * operand ("-" and everything after "--" are operands). */
int cli_is_option(const cli_s *c);

/* --help and --version: prints what they ask for and returns the status to exit
 * with (0, or 1 when standard output cannot be written); -1 for any other
 * argument. */
int cli_standard(const cli_s *c);

/* The current argument is the flag `name` ("--name", or `letter` as "-x" when
 * not null). "--name=..." is a usage error: *status is then set to 2. */
int cli_flag(const cli_s *c, const char *name, const char *letter, int *status);

/* The current argument is the option `name` with a value, as "--name=value" or
 * "--name value" (taking the next argument). 1 with *value set; 0 when it is
 * another argument; 1 with *status set to 2 when the value is missing (the
 * error names `what`: "--lib needs a file"). */
int cli_value(cli_s *c, const char *name, const char *what, const char **value, int *status);

/* Prints "PROGRAM: MESSAGE (--help shows the usage)" on standard error as one
 * line; returns 2. */
int cli_usage_error(const cli_s *c, const char *format, ...)
#ifdef __GNUC__
    __attribute__((format(printf, 2, 3)))
#endif
    ;

/* The usage error for the current argument, which no rule took. */
int cli_unexpected(const cli_s *c);

#ifdef __cplusplus
}
#endif

#endif

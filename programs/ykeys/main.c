/* ykeys: press keys, see what the terminal layer makes of them. */
#include <unistd.h>

#include "viewer.h"

int main(int argc, char **argv) {
  if (argc > 1) {
    fprintf(stderr,
            "usage: %s\n"
            "On a terminal: shows each key pressed (q quits).\n"
            "Otherwise: shows a scripted demonstration on a pseudo-terminal.\n",
            argv[0]);
    return 2;
  }
  return isatty(STDIN_FILENO) ? ykeys_view(stdout) : ykeys_demo(stdout);
}

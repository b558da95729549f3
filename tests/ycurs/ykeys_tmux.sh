#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs ykeys in a detached tmux session, types keys as a person would and reads
# the screen back. Usage: ykeys_tmux.sh COMMAND... (the viewer and any emulator).
# Exits 77 (skipped) when tmux is not installed or no pseudo-terminal can be had.
set -u
command -v tmux > /dev/null || { echo "tmux not installed: skipped"; exit 77; }

socket="ykeys-test-$$"
status_file=$(mktemp -u)
trap 'tmux -L "$socket" kill-server 2> /dev/null; rm -f "$status_file"' EXIT

screen() { tmux -L "$socket" capture-pane -p -S - | grep -v '^$'; }
# Waits until the screen's last line is $1.
wait_for() {
  for _ in $(seq 100); do
    [ "$(screen | tail -n 1)" = "$1" ] && return 0
    sleep 0.05
  done
  echo "waited in vain for: $1"; screen; exit 1
}

# The viewer's exit status goes to a file: tmux may neither show a dying pane's
# last output nor reap its process at once.
if ! tmux -L "$socket" -f /dev/null new-session -d -x 80 -y 24 \
  "$(printf '%q ' "$@"); echo \$? > $status_file"; then
  # No pane without a pseudo-terminal (a package build's chroot): the viewer's
  # demonstration says whether one can be opened here, and what failed.
  no_pty=$("$@" < /dev/null | grep '^ykeys demo: no pseudo-terminal: ')
  [ -n "$no_pty" ] && { echo "$no_pty: skipped"; exit 77; }
  exit 1
fi
wait_for "ykeys: press keys to see their names; q quits"
for key in Up:KEY_UP F5:KEY_F5 Home:KEY_HOME a:a; do
  tmux -L "$socket" send-keys "${key%%:*}"
  wait_for "${key#*:}"
done
expected=$'ykeys: press keys to see their names; q quits\nKEY_UP\nKEY_F5\nKEY_HOME\na'
[ "$(screen)" = "$expected" ] || { echo "unexpected screen"; screen; exit 1; }
screen
tmux -L "$socket" send-keys q
for _ in $(seq 100); do
  [ -s "$status_file" ] && break
  sleep 0.05
done
[ "$(cat "$status_file" 2> /dev/null)" = 0 ] || { echo "viewer did not end cleanly"; exit 1; }
echo "tmux: all keys shown, viewer ended on q with status 0"

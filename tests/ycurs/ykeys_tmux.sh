#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs ykeys from a shell in a detached tmux session, types keys as a person would
# and reads the screen back: keys by name, Ctrl-Z then fg, Ctrl-\ with --trace.
# The shell is sh -i: job control, and no line editor that would set modes of its
# own, so the terminal at its prompt is as ykeys left it.
# Usage: ykeys_tmux.sh COMMAND... (the viewer and any emulator).
# Exits 77 (skipped) when tmux is not installed or no pseudo-terminal can be had.
set -u
command -v tmux > /dev/null || { echo "tmux not installed: skipped"; exit 77; }

socket="ykeys-test-$$"
work=$(mktemp -d)
trap 'tmux -L "$socket" kill-server 2> /dev/null; rm -rf "$work"' EXIT
# --trace makes its folder under TMPDIR; no history file, no core file.
TMPDIR=$work/tmp
mkdir "$TMPDIR"
ulimit -c 0

tmux_() { tmux -L "$socket" "$@"; }
screen() { tmux_ capture-pane -p -S - | grep -v '^$'; }
# Waits until the command $@ succeeds, generously: under valgrind or qemu the
# viewer starts slowly.
await() {
  for _ in $(seq 400); do
    "$@" && return 0
    sleep 0.05
  done
  echo "waited in vain for: $*"; screen; exit 1
}
ends_with() { [ "$(screen | tail -n "$(printf '%s\n' "$1" | wc -l)")" = "$1" ]; }
wait_for() { await ends_with "$1"; }
enter() { tmux_ send-keys -l "$1"; tmux_ send-keys Enter; }
# Runs $1 in the shell; its output goes to the screen after "=" and its $?.
shell() { enter "echo =\$($1)"; wait_for "=$2"$'\nsh$'; }
banner="ykeys: press keys to see their names; q quits"

if ! tmux_ -f /dev/null new-session -d -x 80 -y 24 -c "$work" \
  "env TMPDIR=$(printf %q "$TMPDIR") PS1='sh\$ ' HISTFILE= sh -i"; then
  # No pane without a pseudo-terminal (a package build's chroot): the viewer's
  # demonstration says whether one can be opened here, and what failed.
  no_pty=$("$@" < /dev/null | grep '^ykeys demo: no pseudo-terminal: ')
  [ -n "$no_pty" ] && { echo "$no_pty: skipped"; exit 77; }
  exit 1
fi
wait_for 'sh$'
shell "stty -g > before; echo set" set
enter "$(printf '%q ' "$@")"
wait_for "$banner"
for key in Up:KEY_UP F5:KEY_F5 Home:KEY_HOME DC:KEY_DC NPage:KEY_NPAGE BTab:KEY_BTAB a:a; do
  tmux_ send-keys "${key%%:*}"
  wait_for "${key#*:}"
done

# Stopped, the terminal is as it was: its modes, and Up arrives in normal mode.
tmux_ send-keys C-z
wait_for 'sh$'
shell "stty -g | cmp - before && echo same" same
tmux_ send-keys Up
wait_for 'sh$ ^[[A'
tmux_ send-keys C-u
# Brought back, the viewer takes the terminal again: Ctrl-C is a key.
enter fg
wait_for "$banner"
for key in Up:KEY_UP C-c:^C; do
  tmux_ send-keys "${key%%:*}"
  wait_for "${key#*:}"
done
tmux_ send-keys q
wait_for 'sh$'
shell "echo \$?; stty -g | cmp - before && echo same" "0 same"

# Ended by Ctrl-\, the viewer gives the terminal back and removes its trace.
tmux_ send-keys -R \; clear-history  # the banner to wait for is this run's
enter "$(printf '%q ' "$@") --trace"
traced() { screen | grep -qxF "$banner" && [ -n "$(ls "$TMPDIR")" ]; }
await traced
tmux_ send-keys 'C-\'
wait_for 'sh$'
shell "echo \$?; stty -g | cmp - before && echo same; ls \$TMPDIR" "131 same"
echo "tmux: keys shown, terminal given back when stopped and at the end, trace removed"

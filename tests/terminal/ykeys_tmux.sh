#!/usr/bin/env bash
# Runs ykeys in a detached tmux session, types keys as a person would and reads
# the screen back. Usage: ykeys_tmux.sh COMMAND... (the viewer and any emulator).
# Exits 77 (skipped) when tmux is not installed.
set -u
command -v tmux > /dev/null || { echo "tmux not installed: skipped"; exit 77; }

socket="ykeys-test-$$"
conf=$(mktemp)
trap 'tmux -L "$socket" kill-server 2> /dev/null; rm -f "$conf"' EXIT
echo 'set -g remain-on-exit on' > "$conf"

screen() { tmux -L "$socket" capture-pane -p -S - | grep -v '^$'; }
# Waits until the screen's last line is $1.
wait_for() {
  for _ in $(seq 100); do
    [ "$(screen | tail -n 1)" = "$1" ] && return 0
    sleep 0.05
  done
  echo "waited in vain for: $1"; screen; exit 1
}

tmux -L "$socket" -f "$conf" new-session -d -x 80 -y 24 "$(printf '%q ' "$@")" || exit 1
wait_for "ykeys: press keys to see their names; q quits"
for key in Up:KEY_UP F5:KEY_F5 Home:KEY_HOME a:a; do
  tmux -L "$socket" send-keys "${key%%:*}"
  wait_for "${key#*:}"
done
tmux -L "$socket" send-keys q
for _ in $(seq 100); do
  [ "$(tmux -L "$socket" display -p '#{pane_dead}')" = 1 ] && break
  sleep 0.05
done
status=$(tmux -L "$socket" display -p '#{pane_dead}:#{pane_dead_status}')
screen
expected=$'ykeys: press keys to see their names; q quits\nKEY_UP\nKEY_F5\nKEY_HOME\na'
[ "$(screen | grep -v '^Pane is dead')" = "$expected" ] || { echo "unexpected screen"; exit 1; }
[ "$status" = "1:0" ] || { echo "viewer did not end cleanly ($status)"; exit 1; }
echo "tmux: all keys shown, viewer ended cleanly"

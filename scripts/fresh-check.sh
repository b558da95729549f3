#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Usage: scripts/fresh-check.sh RELEASE [SCRIPT...] (RELEASE: bookworm or trixie)
# Runs the README's set-up commands, exactly as the README prints them, as root in
# a fresh minimal root of that Debian release, so that a package this machine
# happens to have cannot hide a missing install step; then each SCRIPT (a path in
# the checkout) in the same root, after them. The pristine root is made
# once per release with debootstrap from the mirror the machine's own apt sources
# name, and kept in $YUTIL_FRESH_CACHE (default /var/cache/yutil-fresh-check); each
# run works in a copy of it holding a clean clone of the checked-out commit.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cache=${YUTIL_FRESH_CACHE:-/var/cache/yutil-fresh-check}
suite=${1:-}
after=("${@:2}")

die() {
  echo "fresh-check.sh: $*" >&2
  exit 1
}
case "$suite" in
  bookworm | trixie) ;;
  *) die "usage: fresh-check.sh bookworm|trixie [SCRIPT...]" ;;
esac
[ "$(id -u)" -eq 0 ] || die "run as root (it calls debootstrap, mount and chroot)"

# The first URI of a "deb" source for release $1, in one-line or deb822 form.
apt_mirror() {
  local f release=$1
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -r "$f" ] || continue
    awk -v s="$release" '$1 == "deb" {
      i = 2
      if ($i ~ /^\[/) { while ($i !~ /\]$/) i++; i++ }
      if ($(i + 1) == s) { print $i; exit }
    }' "$f"
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -r "$f" ] || continue
    awk -v s="$release" 'BEGIN { RS = ""; FS = "\n" } {
      types = uris = suites = ""
      for (j = 1; j <= NF; j++) {
        if ($j ~ /^Types:/) types = " " substr($j, 7) " "
        if ($j ~ /^URIs:/) uris = substr($j, 6)
        if ($j ~ /^Suites:/) suites = " " substr($j, 8) " "
      }
      if (types ~ /[ \t]deb[ \t]/ && suites ~ "[ \t]" s "[ \t]") {
        split(uris, u, /[ \t]+/); for (k in u) if (u[k] != "") { print u[k]; exit }
      }
    }' "$f"
  done
}

make_pristine_root() {
  local base=$1 mirror
  command -v debootstrap >/dev/null || {
    apt-get update -q
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends debootstrap
  }
  # The machine's sources may name only one of the releases; a Debian mirror serves both.
  mirror=$(for s in "$suite" bookworm trixie; do apt_mirror "$s"; done | head -n 1)
  [ -n "$mirror" ] || die "no bookworm or trixie source in the machine's apt sources"
  echo "=== fresh-check: debootstrap --variant=minbase $suite from $mirror (once)"
  rm -rf --one-file-system "$base.partial"
  debootstrap --variant=minbase "$suite" "$base.partial" "$mirror" >"$cache/debootstrap-$suite.log" 2>&1 ||
    die "debootstrap failed; see $cache/debootstrap-$suite.log"
  mv "$base.partial" "$base"
}

mkdir -p "$cache"
base=$cache/$suite-minbase
[ -d "$base" ] || make_pristine_root "$base"

run=$(mktemp -d "$cache/run.XXXXXX")
root=$run/root

# Ends whatever still runs in the root, then detaches its mounts before anything is
# removed: a recursive removal must never reach the machine's own /dev or /sys.
cleanup() {
  local p mnt
  for p in /proc/[0-9]*; do
    [ "$(readlink "$p/root" 2>/dev/null)" = "$root" ] && kill -KILL "${p#/proc/}" 2>/dev/null
  done
  for mnt in sys dev proc; do
    mountpoint -q "$root/$mnt" 2>/dev/null && umount -R -l "$root/$mnt"
  done
  if findmnt -rn -o TARGET | grep -q "^$root/"; then
    echo "fresh-check.sh: mounts remain below $root; left in place" >&2
  else
    rm -rf --one-file-system "$run"
  fi
}
trap cleanup EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

cp -a "$base" "$root"
cp -L /etc/resolv.conf "$root/etc/resolv.conf"
commit=$(git -C "$top" rev-parse HEAD)
git clone -q --no-hardlinks "$top" "$root/root/yutil"
git -C "$root/root/yutil" checkout -q --detach "$commit"

mount -t proc proc "$root/proc"
mount --rbind /dev "$root/dev"
mount --make-rslave "$root/dev"
mount --rbind /sys "$root/sys"
mount --make-rslave "$root/sys"

# The indented command lines of the README's set-up section, in order.
mapfile -t commands < <(awk '/^## /{ s = /^## Set-up/; next } s && /^    [^ ]/ { sub(/^    /, ""); print }' "$top/README.md")
[ ${#commands[@]} -eq 2 ] || die "expected two set-up commands in README.md, found ${#commands[@]}"

for script in "${after[@]}"; do
  [ -f "$top/$script" ] || die "no script $script in the checkout"
  commands+=("bash $script")
done
for command in "${commands[@]}"; do
  echo "=== fresh-check ($suite): $command"
  started=$SECONDS
  # In the background, so that a signal reaches the trap at once.
  chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    /bin/bash -c "cd /root/yutil && $command" </dev/null &
  wait $!
  echo "=== fresh-check ($suite): passed in $((SECONDS - started)) s"
done
echo "=== fresh-check: all ${#commands[@]} commands passed in a fresh $suite root at $commit"

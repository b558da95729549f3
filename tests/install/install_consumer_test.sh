#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the build as a packager would (DESTDIR, a prefix of its own), checks
# what was installed, adds the stand-ins, then builds and runs a small C consumer
# against it twice, through pkg-config and through find_package, and the manual's
# example that calls the platform, with nothing from the build tree on its paths. Usage: BUILD LIBDIR CC [TOOLCHAIN_FILE [EMULATOR...]]
set -euo pipefail
build=$1 libdir=$2 cc=$3 toolchain=${4:-} emulator=("${@:5}")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

DESTDIR=$work/stage cmake --install "$build" --prefix /opt/yutil >/dev/null
root=$work/stage/opt/yutil
cmake --install "$build" --prefix "$work/standins" --component standins >/dev/null

# The stand-ins component holds the three platform libraries, each a file named by
# its SONAME (the platform library's too) with its link, and the platform's
# headers; a plain install, none of them.
standins=$(cd "$work/standins" && find . ! -type d | LC_ALL=C sort | tr '\n' ' ')
expected="./include/yutil/quillet.h ./include/yutil/yassert.h ./include/yutil/ytrace.h "
for lib in libquillet libyassert libytrace; do
  expected+="./$libdir/$lib.so ./$libdir/$lib.so.1 "
  [ "$(readlink "$work/standins/$libdir/$lib.so")" = "$lib.so.1" ] || fail "$lib.so: not a link to $lib.so.1"
done
[ "$standins" = "$expected" ] || fail "stand-ins component holds: $standins"
for f in $standins; do
  if [ -e "$root/$f" ] || [ -L "$root/$f" ]; then fail "a plain install holds the stand-ins' ${f#./}"; fi
done
for lib in libytrace.so.1 libquillet.so.1 libyassert.so.1; do
  readelf -d "$work/standins/$libdir/$lib" | grep -q "SONAME.*\[$lib\]" || fail "$lib: no SONAME $lib"
  readelf -d "$root/$libdir/libyutil.so.1" | grep -q "NEEDED.*\[$lib\]" || fail "libyutil needs no $lib"
  # The platform's libraries carry no symbol versions: only the stand-ins' test hooks may.
  while read -r sym; do
    case "$sym" in
      ytrace_capture_*@@YTRACE_STANDIN_TESTING_1 | quillet_testing_*@@QUILLET_STANDIN_TESTING_1) ;;
      ytrace_capture_* | quillet_testing_* | *@*) fail "$lib exports $sym" ;;
    esac
  done < <(readelf --dyn-syms -W "$work/standins/$libdir/$lib" | awk '$4 == "FUNC" && $7 != "UND" {print $8}')
done
! readelf -V "$root/$libdir/libyutil.so.1" | grep -E 'File: lib(ytrace|quillet|yassert)' ||
  fail "libyutil.so.1 needs a version of a platform library"

readelf -d "$root/$libdir/libyutil.so.1" | grep -q 'SONAME.*\[libyutil\.so\.1\]' ||
  fail "libyutil.so.1 lacks SONAME libyutil.so.1"
for f in "$root/include/yutil/"{ycurs,yenv,yutil_string_buff,yelmir_pkg_file_path}.h \
  "$root/bin/ykeys" "$root/bin/ytrace-catalogs" "$root/$libdir/libyutil.so" \
  "$root/share/doc/yutil/copyright"; do
  [ -e "$f" ] || fail "not installed: ${f#"$root"/}"
done
# Search paths baked into installed files may only be relative to the file itself.
while IFS= read -r -d '' f; do
  paths=$(readelf -d "$f" 2>/dev/null | sed -n 's/.*(R\(UN\)\{0,1\}PATH).*\[\(.*\)\]/\2/p') || continue # not ELF
  for p in ${paths//:/ }; do
    case "$p" in \$ORIGIN*) ;; *) fail "${f#"$root"/} has search path $p" ;; esac
  done
done < <(find "$root" -type f -print0)

# Under /usr, a distribution's prefix, the pc file names plain paths, of which
# pkg-config drops the system's own, and neither file adds -rpath-link.
DESTDIR=$work/usr cmake --install "$build" --prefix /usr >/dev/null
usr_flags=$(PKG_CONFIG_PATH='' PKG_CONFIG_LIBDIR="$work/usr/usr/$libdir/pkgconfig" \
  pkg-config --cflags --libs yutil | sed 's/ *$//')
[ "$usr_flags" = "-I/usr/include/yutil -lyutil" ] || fail "pkg-config under /usr gives: $usr_flags"
! grep -q rpath-link "$work/usr/usr/$libdir/cmake/yutil/yutil-config.cmake" ||
  fail "yutil-config.cmake under /usr adds -rpath-link"

# A development prefix: the library with the stand-ins.
DESTDIR=$work/stage cmake --install "$build" --prefix /opt/yutil --component standins >/dev/null

run() { CONSUMER_PORT=8080 "${emulator[@]}" "$@"; }
check_consumer() { # how, program: the program ran, printed the expected line, and holds no build path
  local out
  out=$(run "${@:2}") || fail "$1 consumer: $out"
  [ "$out" = "consumer: port 8080 key 259" ] || fail "$1 consumer printed: $out"
  ! readelf -d "$2" | grep -qF "$build" || fail "$1 consumer refers to the build tree"
  echo "$1 consumer: ok"
}

# pkg-config, with no other package paths.
flags=$(PKG_CONFIG_PATH='' PKG_CONFIG_LIBDIR="$root/$libdir/pkgconfig" pkg-config --cflags --libs yutil)
"$cc" -std=c99 -Wall -Werror "$here/consumer/consumer.c" $flags -o "$work/pc-consumer"
LD_LIBRARY_PATH="$root/$libdir" check_consumer pkg-config "$work/pc-consumer"

# The manual's example for ycurs_expand_try, which frees with the platform's
# __quillet_free, builds against the development prefix and prints what its
# comments say (scdoc doubles the backslashes of the C text).
# The program is the section's first block; a sample of its output follows it.
sed -n '/^# EXAMPLES/,/^# /p' "$here/../../man/ycurs_trie.3.scd" |
  awk '/^```$/ { if (open) exit; open = 1; next } open' | sed 's/\\\\/\\/g' >"$work/expand_try.c"
"$cc" -std=c99 -Wall -Werror "$work/expand_try.c" $flags -lquillet -o "$work/expand-try"
out=$(LD_LIBRARY_PATH="$root/$libdir" run "$work/expand-try") || fail "manual's example: $out"
[ "$out" = $'-1\n259\nF5 sends ESC[15~' ] || fail "manual's example printed: $out"
echo "manual's example: ok"

# find_package(yutil CONFIG): the imported target brings headers, library and rpath.
cmake -S "$here/consumer" -B "$work/cmake-consumer" -DCMAKE_PREFIX_PATH="$root" \
  -DCMAKE_C_COMPILER="$cc" ${toolchain:+-DCMAKE_TOOLCHAIN_FILE="$toolchain"} >/dev/null
cmake --build "$work/cmake-consumer" >/dev/null
check_consumer find_package "$work/cmake-consumer/consumer"

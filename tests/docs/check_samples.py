# SPDX-License-Identifier: MIT
"""Runs every sample of program output in README.md and the manual pages and
compares the sample with what the commands really print.

A sample is a code block whose first line begins with "$ ": its "$ " lines are
run, in order, by one shell in a fresh folder, and its other lines are the
output it shows, standard output and error together. The shell finds the
project's programs and the section-3 examples (<page>-example) on its PATH, each
run through the build's emulator; "libyutil.so" in the folder is the built
library, and the environment is fixed (HOME=/root, TERM=xterm, LC_ALL=C, no
YTRACE_* variables). A sample marked "sample-input: KEYS" (before the block, see
doc_blocks.py) runs on a pseudo-terminal: once the program has turned echo off
and shown the sample's first line of output (its modes are all set by then: a
mode set later flushes what was typed), each space-separated part of KEYS is
typed, with a pause after each ("\\e" is Escape), and the terminal's control
sequences are left out of the output.

Both sides are compared line by line after masking what differs from run to run:
times of day, process and thread ids, /dev/pts numbers, the ELF class; the
"(N more alike)" lines of ykeys --trace, which come or not with the timing of the
polls, are left out, and so are blank lines. A sample line "..." stands for any
number of lines.

Usage: check_samples.py LIBYUTIL PROGRAM_DIR... -- DOC... [-- EMULATOR...]
Exit status 77: the samples that need a pseudo-terminal could not be run.
"""
import fcntl
import os
import re
import select
import shutil
import subprocess
import sys
import tempfile
import termios
import time
from pathlib import Path

from doc_blocks import blocks, is_sample

MASKS = [
    (re.compile(r"\b\d\d:\d\d:\d\d\.\d{6} \d+/\d+\b"), "HH:MM:SS.uuuuuu PID/TID"),
    (re.compile(r"/dev/pts/\d+"), "/dev/pts/N"),
    (re.compile(r"\bELF(32|64)\b"), "ELFnn"),
    (re.compile(r"^\s*\(\d+ more alike\)$"), ""),
]
TERMINAL_CONTROL = re.compile(r"\x1b(\[[0-?]*[ -/]*[@-~]|[()][0-9A-Za-z]|[=>78])|\r")
PAUSE = 0.5  # after each typed part: longer than any wait for the rest of a key
TIMEOUT = 60


def masked(line):
    for pattern, mask in MASKS:
        line = pattern.sub(mask, line)
    return line.expandtabs(8).rstrip()


def matches(want, got):
    """want's lines against got's, "..." matching any run of lines."""
    if not want:
        return not got
    if want[0].strip() == "...":
        return any(matches(want[1:], got[i:]) for i in range(len(got) + 1))
    return bool(got) and want[0] == got[0] and matches(want[1:], got[1:])


def run_piped(script, cwd, env):
    run = subprocess.run(["sh", "-c", script], cwd=cwd, env=env, stdin=subprocess.DEVNULL,
                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=TIMEOUT)
    return run.stdout.decode(errors="replace")


def run_on_terminal(script, cwd, env, keys, first_line):
    master, slave = os.openpty()
    proc = subprocess.Popen(["sh", "-c", script], cwd=cwd, env=env, stdin=slave, stdout=slave,
                            stderr=slave, start_new_session=True,
                            preexec_fn=lambda: fcntl.ioctl(0, termios.TIOCSCTTY, 0))
    os.close(slave)
    parts = [k.replace("\\e", "\x1b").encode() for k in keys.split()]
    out, next_key, deadline = b"", 0.0, time.monotonic() + TIMEOUT
    while time.monotonic() < deadline:
        ready, _, _ = select.select([master], [], [], 0.05)
        if ready:
            try:
                chunk = os.read(master, 4096)
            except OSError:  # the terminal's last holder has gone
                break
            if not chunk:
                break
            out += chunk
        now = time.monotonic()
        shown = TERMINAL_CONTROL.sub("", out.decode(errors="replace")).split("\n")[:-1]
        if parts and now >= next_key and first_line in map(masked, shown) and \
                not termios.tcgetattr(master)[3] & termios.ECHO:
            os.write(master, parts.pop(0))
            next_key = now + PAUSE
    if proc.poll() is None:
        proc.kill()
    proc.wait()
    os.close(master)
    return TERMINAL_CONTROL.sub("", out.decode(errors="replace"))


def main(argv):
    first = argv.index("--")
    libyutil, program_dirs = argv[0], argv[1:first]
    rest = argv[first + 1:]
    docs, emulator = (rest[: rest.index("--")], rest[rest.index("--") + 1:]) if "--" in rest else (rest, [])
    work = Path(tempfile.mkdtemp())
    bin_dir = work / "bin"
    bin_dir.mkdir()
    for d in map(Path, program_dirs):
        for program in d.iterdir():
            if program.is_file() and os.access(program, os.X_OK):
                wrapper = bin_dir / program.name
                wrapper.write_text("#!/bin/sh\nexec " + " ".join(emulator + [str(program.resolve())]) +
                                   ' "$@"\n')
                wrapper.chmod(0o755)
    env = {"PATH": f"{bin_dir}:/usr/bin:/bin", "HOME": "/root", "TERM": "xterm", "LC_ALL": "C"}
    failures, checked, skipped = [], 0, []
    try:
        has_terminal = True
        try:
            os.close(os.openpty()[0])
        except OSError as e:
            has_terminal = str(e)
        for doc in docs:
            for block in blocks(doc):
                if not is_sample(block):
                    continue
                keys = block.markers.get("sample-input")
                if keys is not None and has_terminal is not True:
                    skipped.append(block.where())
                    continue
                cwd = Path(tempfile.mkdtemp(dir=work))
                (cwd / "libyutil.so").symlink_to(Path(libyutil).resolve())
                script = "\n".join(l[2:] for l in block.lines if l.startswith("$ "))
                want = [masked(l) for l in block.lines if not l.startswith("$ ")]
                want = [l for l in want if l]
                real = run_on_terminal(script, cwd, env, keys, want[0]) if keys is not None else \
                    run_piped(script, cwd, env)
                got = [l for l in map(masked, real.split("\n")) if l]
                checked += 1
                if not matches(want, got):
                    failures.append(f"{block.where()}: the sample shows\n  " + "\n  ".join(want) +
                                    "\nthe commands print\n  " + "\n  ".join(got))
    finally:
        shutil.rmtree(work)
    for f in failures:
        print(f)
    print(f"{checked} samples run, {len(failures)} differ from their output")
    if skipped:
        print(f"skipped, no pseudo-terminal ({has_terminal}): " + " ".join(skipped))
    return 1 if failures else 77 if skipped else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

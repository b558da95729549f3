# SPDX-License-Identifier: MIT
"""Compiles and links every C example of the documentation, as C99 and as C++20.

The examples are the ```c blocks of README.md and the code blocks in the EXAMPLES
section of each section-3 page that are not samples of output. A page's example
is a whole program; the C99 build of each is kept as OUT/<page>-example for the
samples to run. A README block is a fragment and is made a translation unit by
one rule: its preprocessor lines ("#") come first, then the header its section's
heading names ("### Terminal (`ycurs.h`)"), then its lines that begin with
"static" (file-scope definitions, one line each), and all its other lines become
the body of a function. An example is given the platform's headers and allocator
only when its page says it uses them with the marker
"; example-uses-platform: quillet" before the block, as the page must then tell
its reader where they come from.

Usage: compile_examples.py OUT CC CXX WERROR(ON|OFF) CFLAGS CXXFLAGS
       PUBLIC_INCLUDE PLATFORM_INCLUDE LIBYUTIL LIBQUILLET DOC...
"""
import re
import shlex
import subprocess
import sys
import tempfile
from pathlib import Path

from doc_blocks import blocks, is_sample


def readme_unit(block):
    lines = block.lines
    header = re.search(r"`(\w+\.h)`", block.heading)
    top = [l for l in lines if l.startswith("#")] + ([f"#include <{header.group(1)}>"] if header else [])
    static = [l for l in lines if l.startswith("static")]
    body = [l for l in lines if not l.startswith(("#", "static"))]
    return "\n".join(top + static + ["static void fragment(void) {"] + body +
                     ["}", "int main(void) { fragment(); return 0; }", ""])


def examples(docs):
    for doc in map(Path, docs):
        if doc.suffix == ".md":
            for b in blocks(doc):
                if b.language == "c":
                    yield b, readme_unit(b), None
        elif doc.name.endswith(".3.scd"):
            page = [b for b in blocks(doc) if b.heading == "EXAMPLES" and not is_sample(b)]
            for n, b in enumerate(page):
                name = doc.name[: -len(".3.scd")] + "-example" + (str(n + 1) if n else "")
                yield b, "\n".join(b.lines) + "\n", name


def main(out, cc, cxx, werror, cflags, cxxflags, public, platform, libyutil, libquillet, *docs):
    out = Path(out)
    out.mkdir(parents=True, exist_ok=True)
    warnings = ["-Wall", "-Wextra", "-pedantic", "-O2"] + (["-Werror"] if werror == "ON" else [])
    lib_dirs = {str(Path(libyutil).parent), str(Path(libquillet).parent)}
    failures, count = [], 0
    with tempfile.TemporaryDirectory() as tmp:
        for block, source, name in examples(docs):
            uses = block.markers.get("example-uses-platform", "")
            extra = ["-I" + platform] if uses else []
            libs = [libyutil] + ([libquillet] if uses == "quillet" else [])
            libs += ["-Wl,-rpath," + d for d in sorted(lib_dirs)]
            for lang, compiler, std, flags, suffix in (
                ("C99", cc, "-std=c99", cflags, ".c"),
                ("C++20", cxx, "-std=c++20", cxxflags, ".cc"),
            ):
                src = Path(tmp) / (f"block{count}{suffix}")
                src.write_text(source)
                binary = out / name if name and lang == "C99" else Path(tmp) / f"block{count}"
                cmd = ([compiler, std] + shlex.split(flags) + warnings + ["-I" + public] + extra +
                       [str(src), "-o", str(binary)] + libs)
                run = subprocess.run(cmd, capture_output=True, text=True)
                count += 1
                if run.returncode != 0:
                    failures.append(f"{block.where()} as {lang}:\n{run.stderr}")
                elif run.stderr:
                    print(f"{block.where()} as {lang}, warnings:\n{run.stderr}")
    for f in failures:
        print(f)
    print(f"{count} builds of the documentation's examples, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))

#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Builds the assembly that puts the trace message catalogs into the library file,
and the C++ header through which the code names and checks the messages.

Usage: catalog_sections.py OUTPUT.S OUTPUT.h FILE.def [FILE.def ...]
A catalog's name is its file's stem; its ordinal is the file's YTRACE_CATALOG line.
Runs on the build machine only: the assembly is for whatever target the compiler
builds.

Identities and ids depend on nothing but the catalog name, the indices and the
texts, so the same texts give the same ids on every build:
  identity   = SHA-256("ytrace-catalog\\0" + name + "\\0" + each text + "\\0")[0:16]
  message id = little-endian u32 of SHA-256(identity + u16le(index) + text)[0:4]
"""
import bz2
import collections
import hashlib
import os
import re
import struct
import sys

FORMAT_VERSION = 1
MESSAGE = re.compile(r'^\s*YTRACE_MESSAGE\(\s*(\d+)\s*,\s*(\w+)\s*,\s*"((?:[^"\\]|\\.)*)"\s*\)\s*$')
CATALOG = re.compile(r'^\s*YTRACE_CATALOG\(\s*(\d+)\s*\)\s*$')
# One printf conversion after its '%': flags, width, precision, length, conversion.
CONVERSION = re.compile(rb'[-+ #0]*[0-9]*(?:\.[0-9]*)?(hh|h|ll|)([diuxXoc]|s)')
# Decoder table: the argument-type codes of the emit functions' names and the size
# of each argument in a record (0: a NUL-terminated string).
DECODER_TYPES = [(1, 0), (4, 4), (5, 8)]


def fail(msg):
    sys.exit(f"catalog_sections.py: error: {msg}")


def unescape(text):
    return text.encode("latin-1").decode("unicode_escape").encode("latin-1")


def argument_codes(text):
    """The emit functions' digits for the arguments the text's conversions take, or
    None when a conversion is not one the facility records."""
    codes, at = "", 0
    while (at := text.find(b"%", at)) >= 0:
        if text[at + 1:at + 2] == b"%":
            at += 2
            continue
        m = CONVERSION.match(text, at + 1)
        if not m or (m.group(2) == b"s" and m.group(1)):
            return None
        codes += "1" if m.group(2) == b"s" else "5" if m.group(1) == b"ll" else "4"
        at = m.end()
    return codes


# A message: its name in code, its text as written and as stored, its argument codes.
Message = collections.namedtuple("Message", "name literal text codes")


def read_catalog(path):
    """(ordinal, messages in index order) of one definition file."""
    messages, names, ordinal = {}, set(), None
    with open(path, encoding="utf-8") as f:
        for lineno, line in enumerate(f, 1):
            if line.lstrip().startswith(("/*", "*")):
                continue
            if "YTRACE_CATALOG(" in line:
                m = CATALOG.match(line)
                if not m or ordinal is not None:
                    fail(f"{path}:{lineno}: want one YTRACE_CATALOG(ordinal) line")
                ordinal = int(m.group(1))
            if "YTRACE_MESSAGE(" not in line:
                continue
            m = MESSAGE.match(line)
            if not m:
                fail(f"{path}:{lineno}: not a YTRACE_MESSAGE(index, NAME, \"text\") line")
            index, name, literal = int(m.group(1)), m.group(2), m.group(3)
            if index in messages:
                fail(f"{path}:{lineno}: index {index} is defined twice")
            if name in names:
                fail(f"{path}:{lineno}: name {name} is defined twice")
            text = unescape(literal)
            codes = argument_codes(text)
            if codes is None:
                fail(f"{path}:{lineno}: a conversion the trace facility does not take "
                     "(it takes %s, and %d, %i, %u, %o, %x, %X or %c, also with h, hh or ll)")
            messages[index] = Message(name, literal, text, codes)
            names.add(name)
    if ordinal is None:
        fail(f"{path}: no YTRACE_CATALOG(ordinal) line")
    if not messages:
        fail(f"{path}: no messages")
    missing = sorted(set(range(max(messages) + 1)) - set(messages))
    if missing:
        fail(f"{path}: index {missing[0]} is missing (indices must run from 0 without gaps)")
    return ordinal, [messages[i] for i in range(len(messages))]


def read_catalogs(paths):
    """[(name, messages)] in ordinal order; the name is the file's stem."""
    by_ordinal = {}
    for path in paths:
        name = os.path.splitext(os.path.basename(path))[0]
        if not re.fullmatch(r"[A-Za-z_]\w*", name):
            fail(f"{path}: the catalog name {name!r} is not an identifier")
        ordinal, messages = read_catalog(path)
        if ordinal in by_ordinal:
            fail(f"{path}: ordinal {ordinal} is also {by_ordinal[ordinal][0]}'s")
        by_ordinal[ordinal] = (name, messages)
    missing = sorted(set(range(len(by_ordinal))) - set(by_ordinal))
    if missing:
        fail(f"ordinal {missing[0]} is missing (ordinals must run from 0 without gaps)")
    return [by_ordinal[o] for o in range(len(by_ordinal))]


def identity(name, texts):
    h = hashlib.sha256(b"ytrace-catalog\0" + name.encode() + b"\0")
    for t in texts:
        h.update(t + b"\0")
    return h.digest()[:16]


def message_id(ident, index, text):
    return struct.unpack("<I", hashlib.sha256(ident + struct.pack("<H", index) + text).digest()[:4])[0]


def byte_lines(data):
    for i in range(0, len(data), 16):
        yield "\t.byte " + ", ".join(f"0x{b:02x}" for b in data[i:i + 16])


# Data only, so nothing here breaks indirect-branch tracking or shadow stacks. An
# object without this note makes the linker drop the marking for the whole library,
# so it is emitted wherever the compiler builds for them (__CET__), as for the C code.
CET_NOTE = [
    "#if defined(__CET__) && (defined(__x86_64__) || defined(__i386__))",
    "#ifdef __LP64__",
    "#define YUTIL_NOTE_ALIGN 3",
    "#else",
    "#define YUTIL_NOTE_ALIGN 2",
    "#endif",
    "\t.section .note.gnu.property,\"a\"",
    "\t.p2align YUTIL_NOTE_ALIGN",
    "\t.long 4, 2f - 1f, 5  /* name size, descriptor size, NT_GNU_PROPERTY_TYPE_0 */",
    "\t.asciz \"GNU\"",
    "1:\t.long 0xc0000002, 4, 3  /* GNU_PROPERTY_X86_FEATURE_1_AND, 4 bytes: IBT | SHSTK */",
    "\t.p2align YUTIL_NOTE_ALIGN",
    "2:",
    "#endif",
]


def assembly(catalogs):
    lines = ["/* Generated by catalog_sections.py from the catalog definitions. Do not edit. */"]
    all_texts = b""
    for ordinal, (name, messages) in enumerate(catalogs):
        texts = [m.text for m in messages]
        ident = identity(name, texts)
        body = b"".join(struct.pack("<IH", message_id(ident, i, t), len(t) + 1)
                        for i, t in enumerate(texts))
        symbol = f"ytrace_catalog_{name}"
        lines.append(f"\t.section .ytrace_luids_{ident.hex()},\"a\",%progbits")
        # Bytes, not .2byte: the layout is little-endian whatever the target's order.
        lines += byte_lines(struct.pack("<HH", FORMAT_VERSION, ordinal))
        lines += [f"\t.globl {symbol}", f"\t.hidden {symbol}", f"\t.type {symbol}, %object",
                  f"\t.size {symbol}, {16 + len(body)}", f"{symbol}:"]
        lines += byte_lines(ident + body)
        all_texts += b"".join(b" " + t for t in texts)

    lines.append("\t.section .ytrace_format_strings,\"\",%progbits")
    lines += byte_lines(bz2.compress(all_texts, compresslevel=9))

    decoder = struct.pack("<4sHH", b"YTDC", FORMAT_VERSION, len(DECODER_TYPES))
    for code, size in DECODER_TYPES:
        decoder += struct.pack("<BB", code, size)
    lines.append("\t.section .ytrace_decoder,\"\",%progbits")
    lines += byte_lines(decoder)
    lines.append("\t.section .note.GNU-stack,\"\",%progbits")
    lines += CET_NOTE
    return lines


def header(catalogs):
    lines = [
        "// Generated by catalog_sections.py from the catalog definitions. Do not edit.",
        "#ifndef YUTIL_TRACE_CATALOGS_H",
        "#define YUTIL_TRACE_CATALOGS_H",
        "",
        "#include <stdint.h>",
        "",
        "namespace ytrace {",
        "",
        "// The catalogs by ordinal, as the library file numbers them.",
        "enum class Catalog : uint16_t {",
        *(f"  {name} = {ordinal}," for ordinal, (name, _) in enumerate(catalogs)),
        "};",
        "",
        "// A message as its definition gives it: the text, and the types of the arguments",
        "// its conversions take, as the emit functions' digits (1 string, 4 32-bit, 5 64-bit).",
        "struct MessageDef {",
        "  const char *text;",
        "  const char *args;",
        "};",
        "",
        "// Per message enum: the catalog's identity and its messages in index order.",
        "template <typename Msg>",
        "struct CatalogDef;",
        "",
        "}  // namespace ytrace",
        "",
        'extern "C" {',
        "// Identities inside the catalog sections; defined by the generated assembly.",
        *(f"extern const unsigned char ytrace_catalog_{name}[];" for name, _ in catalogs),
        "}",
    ]
    for name, messages in catalogs:
        lines += [
            "",
            f"namespace {name}_msg {{",
            "enum Id : uint32_t {",
            *(f"  {m.name} = {i}," for i, m in enumerate(messages)),
            "};",
            f"}}  // namespace {name}_msg",
            "",
            "template <>",
            f"struct ytrace::CatalogDef<{name}_msg::Id> {{",
            f"  static constexpr const unsigned char *identity = ytrace_catalog_{name};",
            "  static constexpr MessageDef messages[] = {",
            *(f'      {{"{m.literal}", "{m.codes}"}},' for m in messages),
            "  };",
            "};",
        ]
    lines += [
        "",
        "namespace ytrace {",
        "",
        "struct CatalogEntry {",
        "  const char *name;",
        "  const MessageDef *messages;",
        "  uint32_t count;",
        "};",
        "// Every catalog, in ordinal order.",
        "inline constexpr CatalogEntry kCatalogs[] = {",
        *(f'    {{"{name}", CatalogDef<{name}_msg::Id>::messages, {len(messages)}}},'
          for name, messages in catalogs),
        "};",
        "",
        "}  // namespace ytrace",
        "",
        "#endif",
    ]
    return lines


def write(path, lines):
    with open(path, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")


def main(argv):
    if len(argv) < 4:
        fail("usage: catalog_sections.py OUTPUT.S OUTPUT.h FILE.def ...")
    catalogs = read_catalogs(argv[3:])
    write(argv[1], assembly(catalogs))
    write(argv[2], header(catalogs))


if __name__ == "__main__":
    main(sys.argv)

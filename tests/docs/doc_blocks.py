# SPDX-License-Identifier: MIT
"""The code blocks of README.md and of the scdoc manual pages, as both checks read them.

A block is a list of lines with the file and line it starts at, the language its
fence names, the section heading it stands under and the markers written just
before it: an HTML comment "<!-- name: value -->" in Markdown, a comment line
"; name: value" in scdoc (neither is shown to a reader). Markdown blocks are
fenced or indented by four spaces; scdoc blocks are fenced, their backslash
escapes undone as scdoc undoes them.
"""
import re
from dataclasses import dataclass, field
from pathlib import Path

MARKER = re.compile(r"^(?:<!--|;)\s*([a-z-]+):\s*(.*?)\s*(?:-->)?$")


@dataclass
class Block:
    path: Path
    line: int
    language: str
    heading: str
    lines: list
    markers: dict = field(default_factory=dict)

    def where(self):
        return f"{self.path.name}:{self.line}"


def is_sample(block):
    """A sample of output: the commands after "$ ", then what they print."""
    return bool(block.lines) and block.lines[0].startswith("$ ")


def _unescape_scdoc(line):
    return re.sub(r"\\(.)", r"\1", line)


def blocks(path):
    path = Path(path)
    scdoc = path.suffix == ".scd"
    text = path.read_text().split("\n")
    found, markers, heading = [], {}, ""
    i = 0
    while i < len(text):
        line = text[i]
        fence = re.match(r"^```(\w*)\s*$", line)
        indented = not scdoc and line.startswith("    ") and i > 0 and text[i - 1].strip() == ""
        if fence or indented:
            start, body = i + 1, []
            if fence:
                i += 1
                while i < len(text) and not text[i].startswith("```"):
                    body.append(_unescape_scdoc(text[i]) if scdoc else text[i])
                    i += 1
            else:
                while i < len(text) and (text[i].startswith("    ") or text[i].strip() == ""):
                    body.append(text[i][4:])
                    i += 1
                while body and body[-1].strip() == "":
                    body.pop()
                i -= 1
            found.append(Block(path, start, fence.group(1) if fence else "", heading, body, markers))
            markers = {}
        elif line.startswith("#") and not fence:
            heading, markers = line.lstrip("#").strip(), {}
        elif MARKER.match(line):
            name, value = MARKER.match(line).groups()
            markers[name] = value
        elif line.strip():
            markers = {}
        i += 1
    return found

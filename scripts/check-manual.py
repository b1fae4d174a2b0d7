#!/usr/bin/env python3
"""Checks the operator manual (Markdown) before it is installed or shown.

    scripts/check-manual.py [FOLDER]

FOLDER defaults to docs/manual beside this script's repository; give the
installed copy (/usr/share/virk-gateway/manual) to check that one.

For every .md file in the folder (subfolders included):
  - every link and image with a relative target must name an existing
    file, relative to the .md file (inline links, reference definitions
    and autolinks are read; code blocks and code spans are not);
  - a target with a '#' fragment is an error (the help window cannot
    follow anchors), so is an absolute file path or a file: URL;
  - http(s) and mailto links are allowed and not fetched; an image must
    be a local file;
  - raw HTML (tags or comments) is an error;
  - every .md must be reachable from index.md through relative links.

Each problem is printed as "file:line: message" and the exit code is 1;
a clean folder prints one summary line and exits 0. Standard library only.
"""

import os
import re
import sys
from collections import deque
from urllib.parse import unquote

FENCE = re.compile(r"^ {0,3}(`{3,}|~{3,})")
# [text](target "title") and ![alt](target); the text may hold one level of
# nested brackets and may run over several lines.
INLINE = re.compile(
    r"(!?)\[((?:[^\[\]\\]|\\.|\[(?:[^\[\]\\]|\\.)*\])*)\]"
    r"\(\s*(<[^<>\n]*>|[^\s()<>]*(?:\([^\s()]*\)[^\s()<>]*)*)"
    r"(?:\s+(?:\"[^\"]*\"|'[^']*'|\([^()]*\)))?\s*\)"
)
# [label]: target "title" at the start of a line.
DEFINITION = re.compile(r"^ {0,3}\[([^\]\n]+)\]:\s*(<[^<>\n]*>|\S+)", re.M)
AUTOLINK = re.compile(r"<([A-Za-z][A-Za-z0-9+.-]{1,31}:[^\s<>]*)>")
EMAIL_AUTOLINK = re.compile(r"<[^\s@<>]+@[^\s@<>]+\.[^\s@<>]+>")
HTML_TAG = re.compile(r"</?[A-Za-z][A-Za-z0-9-]*(?:\s+[^<>]*)?/?>")
HTML_COMMENT = re.compile(r"<!--")
SCHEME = re.compile(r"^([A-Za-z][A-Za-z0-9+.-]*):")
WINDOWS_PATH = re.compile(r"^[A-Za-z]:[\\/]")


def blank(text, start, end):
    """The text with [start, end) replaced by spaces, line ends kept."""
    middle = "".join("\n" if c == "\n" else " " for c in text[start:end])
    return text[:start] + middle + text[end:]


def strip_code(text):
    """Blanks fenced code blocks and code spans, keeping offsets and lines."""
    lines = text.split("\n")
    out = []
    fence = None
    for line in lines:
        match = FENCE.match(line)
        if fence is None:
            if match:
                fence = match.group(1)
                out.append(" " * len(line))
            else:
                out.append(line)
        else:
            closing = re.match(r"^ {0,3}(" + re.escape(fence[0]) + "{" + str(len(fence)) + r",})\s*$", line)
            if closing:
                fence = None
            out.append(" " * len(line))
    text = "\n".join(out)
    # Code spans: a run of n backticks up to the next run of exactly n.
    pos = 0
    while True:
        opening = re.compile(r"(?<!`)(`+)(?!`)").search(text, pos)
        if not opening:
            break
        run = opening.group(1)
        closing = re.compile(r"(?<!`)" + run + r"(?!`)").search(text, opening.end())
        if not closing:
            pos = opening.end()
            continue
        text = blank(text, opening.start(), closing.end())
        pos = closing.end()
    return text


def line_of(text, offset):
    return text.count("\n", 0, offset) + 1


class Checker:
    def __init__(self, folder):
        self.folder = os.path.abspath(folder)
        self.problems = []
        self.links = 0
        self.images = 0
        self.edges = {}  # .md file -> .md files it links to

    def report(self, path, line, message):
        self.problems.append((os.path.relpath(path, os.getcwd()), line, message))

    def markdown_files(self):
        found = []
        for root, dirs, files in os.walk(self.folder):
            dirs.sort()
            for name in sorted(files):
                if name.endswith(".md"):
                    found.append(os.path.join(root, name))
        return found

    def check_target(self, path, line, target, image):
        if target.startswith("<") and target.endswith(">"):
            target = target[1:-1]
        what = "image" if image else "link"
        if image:
            self.images += 1
        else:
            self.links += 1
        if not target:
            self.report(path, line, f"{what} with an empty target")
            return
        if "#" in target:
            self.report(path, line, f"{what} target '{target}' has a '#' fragment (anchors are not supported)")
            return
        scheme = SCHEME.match(target)
        if WINDOWS_PATH.match(target) or target.startswith("/") or target.startswith("\\"):
            self.report(path, line, f"{what} target '{target}' is an absolute file path")
            return
        if scheme:
            name = scheme.group(1).lower()
            if name == "file":
                self.report(path, line, f"{what} target '{target}' is an absolute file URL")
            elif image:
                self.report(path, line, f"image '{target}' is not a local file (external images are not allowed)")
            elif name not in ("http", "https", "mailto"):
                self.report(path, line, f"link target '{target}' uses the unsupported scheme '{name}:'")
            return
        resolved = os.path.normpath(os.path.join(os.path.dirname(path), unquote(target)))
        if not os.path.exists(resolved):
            self.report(path, line, f"{what} target '{target}' does not exist ({os.path.relpath(resolved, os.getcwd())})")
            return
        if not os.path.isfile(resolved):
            self.report(path, line, f"{what} target '{target}' is not a file")
            return
        if not image and resolved.endswith(".md"):
            self.edges.setdefault(path, set()).add(resolved)

    def check_file(self, path):
        try:
            with open(path, encoding="utf-8") as f:
                raw = f.read()
        except (OSError, UnicodeDecodeError) as e:
            self.report(path, 1, f"cannot be read as UTF-8 text: {e}")
            return
        text = strip_code(raw)
        for match in INLINE.finditer(text):
            image = match.group(1) == "!"
            self.check_target(path, line_of(text, match.start(3)), match.group(3), image)
        for match in DEFINITION.finditer(text):
            self.check_target(path, line_of(text, match.start(2)), match.group(2), False)
        autolinks = []
        for match in AUTOLINK.finditer(text):
            if match.start() > 0 and text[match.start() - 1] == "\\":
                continue
            autolinks.append((match.start(), match.end()))
            self.check_target(path, line_of(text, match.start()), match.group(1), False)
        for match in EMAIL_AUTOLINK.finditer(text):
            autolinks.append((match.start(), match.end()))
        for pattern, what in ((HTML_TAG, "raw HTML tag"), (HTML_COMMENT, "raw HTML comment")):
            for match in pattern.finditer(text):
                if match.start() > 0 and text[match.start() - 1] == "\\":
                    continue
                if any(a <= match.start() < b for a, b in autolinks):
                    continue
                self.report(path, line_of(text, match.start()), f"{what} '{match.group(0)[:40]}'")

    def check_reachable(self, files):
        index = os.path.join(self.folder, "index.md")
        if not os.path.isfile(index):
            self.report(index, 1, "index.md is missing")
            return
        seen = {index}
        queue = deque([index])
        while queue:
            for target in sorted(self.edges.get(queue.popleft(), ())):
                if target not in seen:
                    seen.add(target)
                    queue.append(target)
        for path in files:
            if path not in seen:
                self.report(path, 1, "not reachable from index.md")

    def run(self):
        if not os.path.isdir(self.folder):
            print(f"{self.folder}: not a folder", file=sys.stderr)
            return 2
        files = self.markdown_files()
        if not files:
            self.report(self.folder, 1, "no .md files")
        for path in files:
            self.check_file(path)
        self.check_reachable(files)
        for path, line, message in self.problems:
            print(f"{path}:{line}: {message}")
        if self.problems:
            return 1
        print(f"{self.folder}: {len(files)} files, {self.links} links, {self.images} images checked, no problems")
        return 0


def main(argv):
    if len(argv) > 2 or (len(argv) == 2 and argv[1] in ("-h", "--help")):
        print(__doc__.strip())
        return 0 if len(argv) == 2 else 2
    default = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "docs", "manual")
    return Checker(argv[1] if len(argv) == 2 else default).run()


if __name__ == "__main__":
    sys.exit(main(sys.argv))

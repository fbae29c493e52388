#!/usr/bin/env python3
"""Checks that the project's Markdown documents point at things that exist.

Usage: check_docs.py SOURCE_DIR

Fails (naming file and line) when a relative link does not resolve, when a file path
written in backquotes (`Hawser/Session.cpp`, `tests/updater/ditto_test.cpp`) names no file
or folder of the tree, when a test file named in backquotes (`LADatabase_test`, `ditto_test.cpp`) is not among
tests/**/*_test.cpp, or when docs/ARCHITECTURE.md, the map, grows past 400 lines.
"""
import os
import re
import sys

MAP_LIMIT = 400
SKIP_DIRS = {".git", "node_modules"}
LINK = re.compile(r"\[[^\]]*\]\(([^)\s]+)\)")
CODE = re.compile(r"`([^`\n]+)`")
# A path of the tree: starts at a top-level folder, ends in a file name with an extension
# (or a slash), and holds no placeholder, wildcard or ellipsis.
PATH = re.compile(r"^[A-Za-z0-9_.+-]+(/[A-Za-z0-9_.+ -]+)+(\.[A-Za-z0-9]+|/)$")
TEST_FILE = re.compile(r"^([A-Za-z0-9_+]+_test)(\.cpp)?$")


def documents(root):
    for folder, dirs, files in os.walk(root):
        dirs[:] = [d for d in dirs if d not in SKIP_DIRS and not d.startswith("build")]
        for name in files:
            if name.endswith(".md"):
                yield os.path.join(folder, name)


def check(root):
    problems = []
    top = {entry for entry in os.listdir(root) if os.path.isdir(os.path.join(root, entry))}
    tests = set()
    for folder, _, files in os.walk(os.path.join(root, "tests")):
        tests.update(name[:-4] for name in files if name.endswith("_test.cpp"))
    for doc in sorted(documents(root)):
        where = os.path.relpath(doc, root)
        with open(doc, encoding="utf-8") as handle:
            lines = handle.read().split("\n")
        if where == os.path.join("docs", "ARCHITECTURE.md") and len(lines) - 1 > MAP_LIMIT:
            problems.append(f"{where}: {len(lines) - 1} lines, the map may have at most {MAP_LIMIT}")
        for number, line in enumerate(lines, 1):
            for target in LINK.findall(line):
                if re.match(r"^[a-z]+:", target) or target.startswith("#"):
                    continue
                path = os.path.normpath(os.path.join(os.path.dirname(doc), target.split("#")[0]))
                if not os.path.exists(path):
                    problems.append(f"{where}:{number}: link to {target}, which does not exist")
            for code in CODE.findall(line):
                code = code.strip()
                test = TEST_FILE.match(code)
                if test and test.group(1) not in tests:
                    problems.append(f"{where}:{number}: `{code}` is not a test file of tests/")
                if not PATH.match(code) or code.split("/")[0] not in top:
                    continue
                if code.split("/")[0].startswith("build"):
                    continue
                if not os.path.exists(os.path.join(root, code)):
                    problems.append(f"{where}:{number}: `{code}` names no file or folder of the tree")
    return problems


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    problems = check(sys.argv[1])
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())

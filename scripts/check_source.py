#!/usr/bin/env python3
"""Checks the house rules that a compiler does not: every C++ source file of the tree is read.

Usage: check_source.py <build>/module_map.json <source folder>

- No source file over 40 KB: a file that large holds more than one idea (LARGE_FILES lists
  the exceptions, each with its reason).
- No `// MARK:` section markers: a file that needs sections wants to be several files.
- No `platform::fatal("")` without a comment on its line or the line above that says which
  programming error it stops.
- No output to standard output from a library (the folders of the module map): a library
  reports through its error values and the logger. STDOUT_ALLOWED lists the files whose
  printing is the behaviour that their callers ask for.
- No process-wide object that is destroyed at exit or held by a bare `new` in a library:
  a static of a type with a destructor (strings, containers, shared pointers, functions,
  regular expressions) is a `platform::NoDestructor<T>`, so no worker thread meets it
  destroyed while the process exits, and one idiom says so.

Folders named `fixture`, build folders and hidden folders are not read. Each finding is
printed as "file:line: ..." and the check fails.
"""
import json
import re
import sys
from pathlib import Path

SOURCE_SUFFIXES = {".h", ".hpp", ".cpp", ".cc", ".inl"}
MAX_BYTES = 40 * 1024
LARGE_FILES = {}

STDOUT_ALLOWED = {
    "logging/ConsoleDestination.cpp": "the console destination writes the log to standard output",
    "logging/FileDestination.cpp": "a log file that cannot be written is reported on standard output",
    "Berth/NetworkLoggerPlugin.cpp": "the network logger's default output prints its lines",
    "Clasp/Constraint.cpp": "a constraint that cannot be activated or updated is printed as a warning",
    "Pledge/Configuration.cpp": "the default log handler prints the promise library's warnings",
    "Pledge/Process+Promise.cpp": "a failed command's promise prints the command and its output",
    "TallockSDK/NetworkManager.cpp": "the event client prints its request plugins when it makes its provider",
}

MARK = re.compile(r"//\s*MARK:")
BARE_FATAL = re.compile(r'\bfatal\(\s*""\s*\)')
STANDARD_OUTPUT = re.compile(r"\bstd::cout\b|\bstdout\b|\bSTDOUT_FILENO\b|\bstd::print(ln)?\b"
                             r"|(?<![\w:])(std::)?(printf|puts|putchar|vprintf)\s*\(")
STATIC_NEW = re.compile(r"\bstatic\b[^;=()]*\*\s*(const\s+)?\w+\s*=\s*new\b")
DESTROYED_STATIC = re.compile(r"^\s*static\s+(const\s+)?(std::(string|map|set|vector|list|deque|regex|"
                              r"unordered_map|unordered_set|shared_ptr|function)\b[^;()]*?|\w+Ptr|auto)"
                              r"\s+\w+\s*(=|\{|;)")
STRING_OR_CHAR = re.compile(r'"(?:\\.|[^"\\])*"|\'(?:\\.|[^\'\\])*\'')


def code_only(line):
    """The line without its string literals and its // comment."""
    line = STRING_OR_CHAR.sub('""', line)
    return line.split("//", 1)[0]


def source_files(root):
    for path in sorted(root.rglob("*")):
        relative = path.relative_to(root)
        if any(part == "fixture" or part.startswith((".", "build")) for part in relative.parts[:-1]):
            continue
        if path.suffix in SOURCE_SUFFIXES and path.is_file():
            yield relative


def library_dirs(map_file):
    return [Path(d) for entry in json.loads(Path(map_file).read_text()) for d in entry["dirs"]]


def in_library(relative, libraries):
    return any(relative.is_relative_to(folder) for folder in libraries)


def check_size(relative, data, lines):
    if len(data) > MAX_BYTES and relative.as_posix() not in LARGE_FILES:
        yield 1, f"{len(data) // 1024} KB, over the {MAX_BYTES // 1024} KB a source file may have"


def check_marks(relative, data, lines):
    for number, line in enumerate(lines, 1):
        if MARK.search(line):
            yield number, "`// MARK:` section marker; split the file or write a plain comment"


def check_bare_fatal(relative, data, lines):
    for number, line in enumerate(lines, 1):
        if not BARE_FATAL.search(line):
            continue
        previous = lines[number - 2].strip() if number > 1 else ""
        if "//" not in line and not previous.startswith("//"):
            yield number, 'platform::fatal("") without a comment saying which programming error it stops'


def check_standard_output(libraries):
    def check(relative, data, lines):
        if not in_library(relative, libraries) or relative.as_posix() in STDOUT_ALLOWED:
            return
        for number, line in enumerate(lines, 1):
            if STANDARD_OUTPUT.search(code_only(line)):
                yield number, "library code writes to standard output; return an error or log instead"
    return check


def check_process_wide_statics(libraries):
    def check(relative, data, lines):
        if not in_library(relative, libraries):
            return
        for number, line in enumerate(lines, 1):
            code = code_only(line)
            if "NoDestructor" in code or "thread_local" in code or "constexpr" in code:
                continue
            if STATIC_NEW.search(code) or DESTROYED_STATIC.search(code):
                yield number, "process-wide object destroyed at exit or held by new; use platform::NoDestructor<T>"
    return check


# A rule is a function of (path relative to the root, bytes, lines) yielding (line, message).
def rules(libraries):
    return [check_size, check_marks, check_bare_fatal, check_standard_output(libraries),
            check_process_wide_statics(libraries)]


def findings(root, libraries):
    for relative in source_files(root):
        data = (root / relative).read_bytes()
        lines = data.decode("utf-8", errors="replace").splitlines()
        for rule in rules(libraries):
            for number, message in rule(relative, data, lines):
                yield f"{relative.as_posix()}:{number}: {message}"


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    root = Path(sys.argv[2]).resolve()
    problems = list(findings(root, library_dirs(sys.argv[1])))
    for problem in problems:
        print(problem)
    if problems:
        sys.exit(1)
    print("check_source: the house rules hold")


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Checks that the C++ lines changed against main keep the tree's format (.clang-format).

Usage: check_format.py <source folder>

Only the changed lines are checked (`clang-format --dry-run --Werror --lines=…`), so
a change is held to the format without having to reformat what it did not touch. The base
is where the checkout left main (`git merge-base HEAD main`, or origin/main); uncommitted
edits count as changed. Exits 77, which CTest reports as skipped, when clang-format, git or
a main branch is missing.
"""
import re
import shutil
import subprocess
import sys

SKIPPED = 77
SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".cc", ".inl")
HUNK = re.compile(r"^@@ -\S+ \+(\d+)(?:,(\d+))? @@", re.MULTILINE)


def git(root, *arguments):
    return subprocess.run(["git", "-C", root, *arguments], capture_output=True, text=True)


def merge_base(root):
    for branch in ("main", "origin/main"):
        result = git(root, "merge-base", "HEAD", branch)
        if result.returncode == 0:
            return result.stdout.strip()
    return None


def changed_ranges(root, base, path):
    """The line ranges that the diff against base adds to path, as clang-format's --lines."""
    diff = git(root, "diff", "-U0", base, "--", path).stdout
    ranges = []
    for start, count in HUNK.findall(diff):
        count = 1 if count == "" else int(count)
        if count:
            ranges.append(f"--lines={start}:{int(start) + count - 1}")
    return ranges


def skip(reason):
    print(f"check_format: skipped: {reason}")
    sys.exit(SKIPPED)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    root = sys.argv[1]
    # The tree is formatted with clang-format 15; older ones read concepts and requires
    # clauses differently, so they are only a fallback.
    clang_format = shutil.which("clang-format-15") or shutil.which("clang-format")
    if not clang_format:
        skip("clang-format is not installed")
    if not shutil.which("git") or git(root, "rev-parse", "HEAD").returncode != 0:
        skip("not a git checkout")
    base = merge_base(root)
    if not base:
        skip("no main branch to compare with")
    names = git(root, "diff", "--name-only", "--diff-filter=ACMR", base).stdout.split()
    failed = False
    for name in (n for n in names if n.endswith(SOURCE_SUFFIXES)):
        ranges = changed_ranges(root, base, name)
        if not ranges:
            continue
        check = subprocess.run([clang_format, "--dry-run", "--Werror", *ranges, name], cwd=root)
        failed = failed or check.returncode != 0
    if failed:
        sys.exit("check_format: changed lines differ from .clang-format; "
                 "run clang-format -i --lines=… on them (clang-format-diff does it for a diff)")
    print("check_format: the changed lines keep the format")


if __name__ == "__main__":
    main()

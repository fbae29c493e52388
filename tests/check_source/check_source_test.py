#!/usr/bin/env python3
"""Each house rule of scripts/check_source.py on a tree of one file: the bad file is reported
at its line, the good one passes.

Usage: check_source_test.py <path of check_source.py>
"""
import json
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

CHECKER = None

# (name, file, content, expected finding or None when the file keeps the rules)
CASES = [
    ("large file", "lib/Big.cpp", "// filler\n" * 4200, "lib/Big.cpp:1: 41 KB, over the 40 KB"),
    ("file at the limit", "lib/Fits.cpp", "x" * (40 * 1024), None),
    ("section marker", "lib/A.cpp", "int a;\n// MARK: helpers\n", "lib/A.cpp:2: `// MARK:`"),
    ("bare fatal", "lib/F.cpp", 'void f() {\n    platform::fatal("");\n}\n',
     'lib/F.cpp:2: platform::fatal("") without a comment'),
    ("bare fatal, comment above", "lib/F.cpp", '// Only a second set-up gets here.\nplatform::fatal("");\n', None),
    ("bare fatal, comment on the line", "lib/F.cpp", 'platform::fatal("");  // set up twice\n', None),
    ("fatal with a message", "lib/F.cpp", 'platform::fatal("set up twice");\n', None),
    ("cout in a library", "lib/P.cpp", 'void p() { std::cout << 1; }\n', "lib/P.cpp:1: library code writes"),
    ("fwrite to stdout in a library", "lib/P.cpp", "\nstd::fwrite(b, 1, n, stdout);\n", "lib/P.cpp:2: library code"),
    ("printf in a library", "lib/P.cpp", 'printf("%d", 1);\n', "lib/P.cpp:1: library code"),
    ("puts in a library", "lib/P.cpp", 'std::puts("x");\n', "lib/P.cpp:1: library code"),
    ("stderr and snprintf are not standard output", "lib/P.cpp",
     'std::fputs("x", stderr);\nstd::snprintf(b, 4, "%d", 1);\nstd::fprintf(stderr, "x");\n', None),
    ("stdout named in a string or a comment", "lib/P.cpp",
     'auto s = "stdout: `x`";  // prints to stdout\nStandardIO stdout_;\n', None),
    ("standard output outside a library", "tools/main.cpp", 'int main() { std::cout << 1; }\n', None),
    ("standard output where the behaviour asks for it", "logging/ConsoleDestination.cpp",
     "std::fwrite(b, 1, n, stdout);\n", None),
    ("static held by new", "lib/S.cpp", "T& t() {\n    static auto* t = new T;\n    return *t;\n}\n",
     "lib/S.cpp:2: process-wide object destroyed at exit"),
    ("static destroyed at exit", "lib/S.cpp", "const std::string& s() {\n    static const std::string s = \"x\";\n}\n",
     "lib/S.cpp:2: process-wide object destroyed at exit"),
    ("static of a deduced type", "lib/S.cpp", "void q() {\n    static const auto queue = make();\n}\n",
     "lib/S.cpp:2: process-wide object"),
    ("never-destroyed static", "lib/S.cpp",
     "T& t() {\n    static platform::NoDestructor<std::vector<int>> t;\n    return *t;\n}\n", None),
    ("trivial statics and declarations", "lib/S.cpp",
     "static constexpr int k = 1;\nstatic std::atomic<int> n{0};\nstatic std::shared_ptr<X> create(int a);\n", None),
    ("bad file inside a fixture folder", "lib/fixture/A.cpp", "// MARK: x\n", None),
]


def run_checker(relative, content):
    with tempfile.TemporaryDirectory() as folder:
        root = Path(folder)
        (root / "module_map.json").write_text(json.dumps([
            {"module": "lib", "dirs": ["lib"], "links": []},
            {"module": "logging", "dirs": ["logging"], "links": []},
        ]))
        path = root / relative
        path.parent.mkdir(parents=True)
        path.write_text(content)
        return subprocess.run([sys.executable, CHECKER, str(root / "module_map.json"), str(root)],
                              capture_output=True, text=True)


class CheckSourceTest(unittest.TestCase):
    def test_each_rule(self):
        for name, relative, content, expected in CASES:
            with self.subTest(name):
                result = run_checker(relative, content)
                if expected is None:
                    self.assertEqual(result.returncode, 0, result.stdout)
                else:
                    self.assertEqual(result.returncode, 1, result.stdout)
                    self.assertIn(expected, result.stdout)
                    self.assertEqual(len(result.stdout.splitlines()), 1, result.stdout)


if __name__ == "__main__":
    CHECKER = sys.argv.pop(1)
    unittest.main()

#!/usr/bin/env python3
"""Runs every test executable once as a whole, its tests in a random order.

Usage: run_shuffled.py <build folder> [jobs]

CTest runs one test per process, so a test that leans on what another left behind (a
process-wide object, a file, a registration) passes there and fails here. The executables,
the launcher that gives each its own home and their environment come from CTest itself
(`ctest --show-only=json-v1`); executables that share a resource lock under CTest (the
virtual X display) run one at a time here too.
A failed run is printed with the command that repeats its order (the seed it was given).
Exits non-zero when any executable fails, after naming them all.
"""
import json
import os
import random
import subprocess
import sys
import threading
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

TIMEOUT_SECONDS = 900


def gtest_executables(build):
    """Maps each gtest executable to its environment and resource locks, as CTest runs it."""
    listing = subprocess.run(["ctest", "--show-only=json-v1"], cwd=build, check=True,
                             capture_output=True, text=True).stdout
    executables = {}
    for test in json.loads(listing)["tests"]:
        command = test.get("command") or []
        filters = [i for i, arg in enumerate(command) if arg.startswith("--gtest_filter=")]
        if not filters or filters[0] == 0:
            continue
        properties = {p["name"]: p["value"] for p in test.get("properties", [])}
        # What stands before the executable is the launcher CTest starts it through.
        executables[command[filters[0] - 1]] = {
            "launcher": command[:filters[0] - 1],
            "environment": properties.get("ENVIRONMENT", []),
            "locks": properties.get("RESOURCE_LOCK", []),
            "directory": properties.get("WORKING_DIRECTORY", build),
        }
    return executables


def run_one(command, settings, locks):
    environment = dict(os.environ)
    for assignment in settings["environment"]:
        key, _, value = assignment.partition("=")
        environment[key] = value
    held = [locks[name] for name in sorted(settings["locks"])]
    for lock in held:
        lock.acquire()
    try:
        result = subprocess.run(command,
                                cwd=settings["directory"], env=environment, timeout=TIMEOUT_SECONDS,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        return result.returncode, result.stdout
    except subprocess.TimeoutExpired as expired:
        output = expired.stdout.decode(errors="replace") if expired.stdout else ""
        return "timeout", output
    finally:
        for lock in reversed(held):
            lock.release()


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    build = str(Path(sys.argv[1]).resolve())
    jobs = int(sys.argv[2]) if len(sys.argv) == 3 else os.cpu_count()
    executables = gtest_executables(build)
    lock_names = {name for settings in executables.values() for name in settings["locks"]}
    locks = {name: threading.Lock() for name in lock_names}

    failed = []
    with ThreadPoolExecutor(max_workers=jobs) as pool:
        runs = {}
        for executable, settings in sorted(executables.items()):
            seed = f"--gtest_random_seed={random.randint(1, 99999)}"
            command = settings["launcher"] + [executable, "--gtest_shuffle", seed, "--gtest_brief=1"]
            runs[executable] = (command, pool.submit(run_one, command, settings, locks))
        for executable, (command, run) in runs.items():
            status, output = run.result()
            name = Path(executable).name
            if status == 0:
                print(f"shuffled: passed {name}")
                continue
            failed.append(name)
            print(f"shuffled: FAILED {name} ({status}); again: {' '.join(command)}\n{output}")
    print(f"shuffled: {len(executables) - len(failed)} of {len(executables)} executables passed")
    if failed:
        print("shuffled: failed: " + " ".join(failed))
        sys.exit(1)


if __name__ == "__main__":
    main()

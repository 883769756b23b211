#!/usr/bin/env python3
"""Writes the emulated PC's job from ctest's list of tests (read on stdin as
`ctest --show-only=json-v1`): each test the build hands to the PC (its
command starts with result.sh) becomes one run_test line with the command,
environment, folder and time limit ctest would use, in ctest's order.
Usage: jobs.py RUN_TESTS_SH RESULTS DEFAULT_TIMEOUT < ctest-json > job.sh"""
import json
import shlex
import sys


def properties(test):
    return {p["name"]: p["value"] for p in test.get("properties", [])}


def job_lines(tests, default_timeout):
    lines = []
    for test in tests:
        command = test.get("command", [])
        if len(command) < 5 or not command[1].endswith("/result.sh"):
            continue
        props = properties(test)
        environment = props.get("ENVIRONMENT", [])
        timeout = int(float(props.get("TIMEOUT", default_timeout)))
        folder = props.get("WORKING_DIRECTORY", "/")
        words = ["run_test", command[3], str(timeout), folder, *environment, "--", *command[4:]]
        lines.append(" ".join(shlex.quote(w) for w in words))
    return lines


def main():
    run_tests, results, default_timeout = sys.argv[1:4]
    tests = json.load(sys.stdin)["tests"]
    lines = job_lines(tests, default_timeout)
    if not lines:
        sys.exit("jobs.py: no test is handed to the emulated PC")
    print(f"source {shlex.quote(run_tests)} {shlex.quote(results)}")
    print("\n".join(lines))
    print("finish_tests")


if __name__ == "__main__":
    main()

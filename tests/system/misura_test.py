#!/usr/bin/env python3
"""misura-libreria as a library maker runs it: a short run against the stand-in
with every export read back by Python's own parsers; a real comparison of the
stand-in with a slowed copy of it, whose verdict is "slower"; a baseline round
trip (status 3 for the slow copy, 0 for the same build, 2 for a figure finer
than the run resolves or an export from before); wrong libraries, writing past
the block or the text among them (status 1); a faulting library beside a
sound one; Ctrl+C during a run, and with the progress line on a terminal
(INTERRUPTER, preloaded, interrupts the command just after it writes the
line); the exports' mode under any umask; a scan with its plot and labels that
tell two builds apart, and one with fewer sizes than steps; every example line
of the documentation, with short settings; the numbered errors and usage
errors. No check looks at a time; the bounds on each run guard against a
command that never ends, and grow with the build's factor
(VC_TEST_TIME_SCALE). Short runs use few processes and rounds.
Usage: misura_test.py TOOL STAND_IN FAULTING SLOW ZEROS CHEATS INTERRUPTER SOURCE_FOLDER WORK_FOLDER"""
import csv
import json
import os
import pty
import re
import shutil
import signal
import subprocess
import sys
import xml.etree.ElementTree as ET

tool, stand_in, faulting, slow, zeros, cheats, interrupter, source, work = (
    os.path.abspath(a) for a in sys.argv[1:10])
# A fresh folder: an earlier run's files would be refused as export targets.
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what)


def patience(seconds):
    """A bound of seconds for the ordinary build on a busy machine, for this build."""
    return seconds * int(os.environ.get("VC_TEST_TIME_SCALE", "1"))


def run(*args, cwd=work, umask=-1):
    return subprocess.run([tool, *args], cwd=cwd, capture_output=True, text=True, timeout=patience(120),
                          umask=umask)


def path(name):
    return os.path.join(work, name)


stand_in_real = os.path.realpath(stand_in)
CONVERSIONS = ("bytes-to-text", "text-to-bytes")

# Few processes and rounds, and few samples in each, for the runs that check what is written, not its figures.
SHORT = ("--processes", "2", "--rounds", "2", "--runs", "3", "--warmup", "1")

# A short run with every export, under a umask that would leave them unreadable.
r = run(*SHORT, "--bytes", "64", "--export-json", path("r.json"), "--export-csv", path("r.csv"),
        "--export-markdown", path("r.md"), stand_in, umask=0o777)
check(r.returncode == 0, f"short run failed: {r.returncode} {r.stderr}")
check(r.stdout.startswith("Library: " + stand_in_real + "\n"), "output does not start with the path: " + r.stdout[:200])
for words in ("of which binding", "Run: ", "Call: ", "95% interval", "p ≤ 0.5, the least 2 pairs of processes allow",
              "2 processes × 2 rounds; 12 samples", "Time: "):
    check(words in r.stdout, f"no '{words}' in the output: " + r.stdout)
check(r.stderr == "", "something on stderr: " + r.stderr)
check(not [f for f in os.listdir(work) if f.endswith(".partial")], "a temporary export was left behind")
for f in ("r.json", "r.csv", "r.md"):
    mode = os.stat(path(f)).st_mode & 0o777
    check(mode == 0o644, f"{f} has mode {mode:o}, not 644")

data = json.load(open(path("r.json")))
context = data["context"]
check(all(k in context for k in ("version", "build_type", "cpu", "cores", "clock", "date", "load_average")),
      f"json context: {context}")
check(context["cores"] >= 1 and isinstance(context["load_average"], list), "json context values")
measurement = data["measurement"]
check(measurement["processes"] == 2 and measurement["rounds"] == 2 and measurement["cores"]
      and 0 < measurement["measuring_seconds"] <= measurement["seconds"], f"json measurement: {measurement}")
results = data["results"]
check({(x["conversion"], x["method"]) for x in results} ==
      {(c, m) for c in CONVERSIONS for m in ("library", "in-program")}, "json cases")
for x in results:
    library = x["method"] == "library"
    check(len(x["processes"]) == 2 and x["bytes"] == 64 and x["wrong"] is None, "json processes")
    rounds = [r for p in x["processes"] for r in p["rounds"]]
    check(len(rounds) == 4 and all(r["samples"] == 3 and r["core"] in measurement["cores"] for r in rounds),
          f"json rounds {rounds}")
    runs = sorted(r["run_s"] for r in rounds)
    check(x["run"]["lowest_process_s"] <= x["run"]["highest_process_s"] and runs[0] <= x["run"]["median_s"] <= runs[-1],
          "json run's spread")
    check((x["library"] == stand_in_real) == library and (x["first_call_s"] is not None) == library, "json library")
    check((x["call"] is not None) == library and all((r["call_s"] is not None) == library for r in rounds), "json call")
    check((x["first_call_binding_s"] is not None) == library
          and (x["first_call_binding_s"] or 0) <= (x["first_call_s"] or 0), "json first call's binding")
    check(all(r["call_s"] <= r["run_s"] for r in rounds if library), "a call longer than its run")
comparisons = data["comparisons"]
check(len(comparisons) == 2, f"json comparisons: {comparisons}")
for c in comparisons:
    check(set(c) >= {"conversion", "library", "baseline", "figure", "ratio", "ratio_low", "ratio_high",
                     "resolution_percent", "p_value", "p_value_is_floor", "units", "verdict", "warnings"},
          f"comparison fields {c.keys()}")
    check(c["ratio_low"] <= c["ratio"] <= c["ratio_high"] and 0 < c["p_value"] <= 1 and c["units"] == 2,
          f"comparison values {c}")
    check(c["library"] == "in-program routines" and c["baseline"] == os.path.basename(stand_in)
          and c["figure"] == "run", f"comparison names {c}")

rows = list(csv.DictReader(open(path("r.csv"), newline="")))
check(list(rows[0].keys()) == ["library", "label", "conversion", "method", "part", "bytes", "process", "round", "core",
                               "samples", "per_sample", "seconds", "result"], "csv header")
for x in results:
    for part, key in (("run", "run_s"), ("call", "call_s")):
        got = [float(row["seconds"]) for row in rows if (row["conversion"], row["method"], row["part"]) ==
               (x["conversion"], x["method"], part)]
        want = [r[key] for p in x["processes"] for r in p["rounds"] if r[key] is not None]
        check(got == want, f"csv {part} seconds differ from json for {x['conversion']}, {x['method']}")

markdown = open(path("r.md"), encoding="utf-8").read()
tables = [l for l in markdown.splitlines() if l.startswith("| Measured")]
check(len(tables) == 2 and "Ratio (95% interval)" in tables[0] and "Ratio of" in tables[0],
      "markdown: one table per conversion")
check("| the whole run |" in markdown and "e-" not in markdown, "markdown: the ratio's figure, numbers as written")

# The stand-in against a slowed copy of it: slower, on the library call, for both conversions; each
# named by the part of its path that tells it from the other.
# Eight rounds a process, so that a round or two of a slow episode (a busy machine, the sanitizers'
# allocator) are trimmed rather than decide the verdict.
r = run("--processes", "4", "--rounds", "8", "--bytes", "4096", "--method", "library", "--export-json",
        path("c.json"), stand_in, slow)
check(r.returncode == 0, f"comparison failed: {r.returncode} {r.stderr}")
verdicts = [(c["conversion"], c["figure"], c["verdict"]) for c in json.load(open(path("c.json")))["comparisons"]]
check(verdicts == [(c, "call", "slower") for c in CONVERSIONS], f"slow copy's verdicts: {verdicts}\n{r.stdout}")
slow_label = os.path.join(os.path.basename(os.path.dirname(slow)), os.path.basename(slow))
check(f"  {slow_label} against " in r.stdout, f"the slow copy is not told apart by its folder: {r.stdout}")
print(r.stdout)

# Baselines: the slow copy fails --fail-if-slower, the same build never does (the bound is wide: two
# separate runs on a busy machine differ more than two builds in one; where even that is finer than
# the two runs resolve, the gate says so and judges nothing); a figure finer than the run can
# resolve is refused, as are a mismatch and an export from before.
BASE = ("--processes", "6", "--rounds", "4", "--bytes", "50000", "--method", "library")
r = run(*BASE, "--export-json", path("base.json"), stand_in)
check(r.returncode == 0, f"baseline run failed: {r.stderr}")
r = run(*BASE, "--baseline", path("base.json"), "--fail-if-slower", "200", slow)
check(r.returncode == 3 and "slower by more than 200 %" in r.stderr, f"slow copy against the baseline: {r.returncode} {r.stderr}")
r = run(*BASE, "--baseline", path("base.json"), "--fail-if-slower", "200", stand_in)
check((r.returncode == 0 or r.returncode == 2 and "not judged" in r.stderr) and "baseline " in r.stdout,
      f"same build against the baseline: {r.returncode} {r.stderr}")
r = run(*BASE, "--baseline", path("base.json"), "--fail-if-slower", "0.0001", stand_in)
check(r.returncode == 2 and "asks for less than this run can resolve" in r.stderr,
      f"a figure finer than the run resolves: {r.returncode} {r.stderr}")
# The gate judges libraries, and the in-program routines only when --method names them.
r = run(*SHORT, "--bytes", "64", "--conversion", "bytes-to-text", "--export-json", path("both.json"), stand_in)
for named in ([], ["--method", "both"]):
    r = run(*SHORT, "--bytes", "64", "--conversion", "bytes-to-text", *named, "--baseline", path("both.json"),
            "--fail-if-slower", "0.0001", stand_in)
    judged = [l for l in r.stderr.splitlines() if "asks for less than this run can resolve" in l]
    check(r.returncode == 2 and len(judged) == (2 if named else 1)
          and any("in-program routines against" in l for l in judged) == bool(named), f"judged {named}: {r.stderr}")
for args in (["--bytes", "64"], ["--bytes", "50000", "--conversion", "text-to-bytes"]):
    r = run(*SHORT, *args, "--method", "library", "--baseline", path("base.json"), stand_in)
    check(r.returncode == 2 and "--baseline" in r.stderr, f"baseline mismatch {args}: {r.returncode} {r.stderr}")
json.dump({"context": {}, "results": [{"conversion": "bytes-to-text", "method": "library", "library": "a.so",
                                       "bytes": 50000, "times_s": [1e-6]}]}, open(path("old.json"), "w"))
r = run(*SHORT, "--bytes", "50000", "--conversion", "bytes-to-text", "--baseline", path("old.json"), stand_in)
check(r.returncode == 2 and "export the baseline again" in r.stderr, f"an export from before: {r.returncode} {r.stderr}")

# A library that gives zeros whatever it is given: wrong, status 1, marked in the exports.
r = run(*SHORT, "--bytes", "64", "--export-json", path("w.json"), "--export-csv", path("w.csv"), zeros)
check(r.returncode == 1 and "wrong result: " in r.stderr, f"wrong library: {r.returncode} {r.stderr}")
wrong = {x["conversion"]: x["wrong"] for x in json.load(open(path("w.json")))["results"] if x["method"] == "library"}
check(all(wrong.get(c) for c in CONVERSIONS), f"wrong results not marked in the json: {wrong}")
check({row["result"] for row in csv.DictReader(open(path("w.csv"))) if row["method"] == "library"} == {"wrong"},
      "wrong results not marked in the csv")

# Libraries that write past the bytes they convert, past the text they store, or into their input:
# wrong, as the checker finds them.
for cheat, words in (("writes_past_input", "past the bytes converted"), ("one_past", "past the text stored"),
                     ("writes_input", "of the block converted")):
    r = subprocess.run([tool, *SHORT, "--bytes", "64", "--method", "library", cheats], cwd=work, capture_output=True,
                       text=True, timeout=patience(120), env=dict(os.environ, VC_CHEAT=cheat))
    check(r.returncode == 1 and "wrong result: " in r.stderr and words in r.stderr, f"{cheat}: {r.returncode} {r.stderr}")

# A faulting library ends its own measurement with its numbered error; the other one is measured.
r = run(*SHORT, "--bytes", "8", "--method", "library", faulting, stand_in)
check(r.returncode == 1 and "error 51: " in r.stderr and "Errore" not in r.stderr, f"fault: {r.returncode} {r.stderr}")
check("Library: " + stand_in_real in r.stdout and "Measured: " in r.stdout, "the sound library was not measured")

# Ctrl+C during a run, once the first size has been written (the second, with its in-program
# runs, would last minutes): status 130, no export and no temporary file.
for f in ("i.json", "i.json.partial"):
    if os.path.exists(path(f)):
        os.remove(path(f))
p = subprocess.Popen([tool, "--scan", "1:200000:2", "--runs", "300", "--export-json", path("i.json"), stand_in],
                     cwd=work, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
first = p.stdout.readline()
p.send_signal(signal.SIGINT)
# The bound guards against a command that goes on after Ctrl+C.
out, err = p.communicate(timeout=patience(60))
check(first.startswith("Library: ") and p.returncode == 130, f"Ctrl+C: status {p.returncode} {first!r} {err!r}")
check(not os.path.exists(path("i.json")) and not os.path.exists(path("i.json.partial")), "Ctrl+C left an export")

# Ctrl+C with the progress line on a terminal, at the moment the second case's line has been
# written (the preloaded library interrupts the command then): the line is cleared.
master, terminal = pty.openpty()
environment = dict(os.environ, LD_PRELOAD=interrupter)
if "ASAN_OPTIONS" in environment:
    environment["ASAN_OPTIONS"] += ":verify_asan_link_order=0"
p = subprocess.Popen([tool, "--runs", "2", "--warmup", "0", "--bytes", "64", stand_in], cwd=work, env=environment,
                     stdout=subprocess.DEVNULL, stderr=terminal)
os.close(terminal)


def shown_on_terminal():
    """Everything written on the terminal until its other side has closed."""
    text = b""
    while True:
        try:
            chunk = os.read(master, 4096)
        except OSError:  # the terminal's other side has closed
            return text
        if not chunk:
            return text
        text += chunk


shown = shown_on_terminal()
p.wait()
os.close(master)
last = shown.rpartition(b"Measuring")[2]
check(p.returncode == 130 and b"Measuring text-to-bytes" in shown and last.endswith(b"\r")
      and last.rstrip(b"\r").split(b"\r")[-1].strip() == b"",
      f"Ctrl+C left the progress line: status {p.returncode}, {shown[-200:]!r}")

# A scan with its plot: a table per size and the exponents; two builds that share a file name are told
# apart by their folders in the legend.
svg = path("q.svg")
r = run("--scan", "16:256:3", *SHORT, "--plot", svg, "--export-json", path("s.json"), stand_in, slow)
check(r.returncode == 0, f"scan failed: {r.stderr}")
for size in ("16 bytes", "64 bytes", "256 bytes", "Growth"):
    check(size in r.stdout, f"scan output lacks '{size}'")
scan = json.load(open(path("s.json")))
check(sorted({x["bytes"] for x in scan["results"]}) == [16, 64, 256], "scan sizes")
check(len(scan["growth"]) == 6, "scan exponents")
plot = ET.parse(svg).getroot()
check(len(plot.findall("{http://www.w3.org/2000/svg}polyline")) == 6, "plot series")
legend = [t.text for t in plot.iter("{http://www.w3.org/2000/svg}text") if t.text and "bytes-to-text, " in t.text]
check(len(set(legend)) == 3 and any(slow_label in t for t in legend), f"plot legend: {legend}")

# A scan with fewer distinct sizes than steps says so and goes on.
r = run("--scan", "1:3:10", *SHORT, "--method", "library", stand_in)
check(r.returncode == 0 and r.stderr == "note: --scan 1:3:10 gives 3 distinct sizes, not 10\n",
      f"short scan: {r.returncode} {r.stderr}")

# Every example line of the documentation, in a folder holding what the examples name, with short
# settings: each ends as an example should (the baseline's gate may refuse a figure finer than so few
# processes resolve, never trip for the same build).
examples = work + "/examples"
for folder in ("old", "new", "."):
    os.makedirs(os.path.join(examples, folder), exist_ok=True)
    shutil.copy(stand_in, os.path.join(examples, folder))
lines = []
for doc in ("README.md", "docs/measuring.md"):
    for block in re.findall(r"```sh\n(.*?)```", open(os.path.join(source, doc), encoding="utf-8").read(), re.S):
        lines += [l.split("#")[0].split() for l in block.splitlines() if l.startswith("misura-libreria")]
check(len(lines) >= 6, f"the documentation's examples: {lines}")
# The sanitizers' build runs the in-program routines some thousand times slower than the release
# build: there the examples measure the libraries alone.
lean = ("--method", "library") if "ASAN_OPTIONS" in os.environ else ()
for line in lines:
    r = run(*line[1:], *SHORT, *(lean if "--method" not in line else ()), cwd=examples)
    ok = r.returncode in ((0, 2) if "--fail-if-slower" in line else (0,))
    check(ok and "Library: " in r.stdout and "Time: " in r.stdout, f"example {' '.join(line)}: {r.returncode} {r.stderr}")

# A bare name is the file in the current folder.
r = run(*SHORT, "--bytes", "8", "--method", "library", os.path.basename(stand_in),
        cwd=os.path.dirname(stand_in))
check(r.returncode == 0 and r.stdout.startswith("Library: " + stand_in_real), "bare name: " + r.stdout[:200] + r.stderr)

# Numbered errors in English, status 1; usage errors, status 2.
missing = path("missing-" + os.path.basename(stand_in))
r = run(*SHORT, "--bytes", "8", missing)
check(r.returncode == 1 and f"error 53: cannot find library '{missing}'" in r.stderr, f"error 53: {r.returncode} {r.stderr}")
for args in (["--runs", "0"], ["--method", "dll"], ["--plot", svg], ["--conversion", "x"], ["--frobnicate"],
             ["--runs"]):
    r = run(*args)
    check(r.returncode == 2 and len(r.stderr.splitlines()) <= 3 and "try 'misura-libreria --help'" in r.stderr
          and r.stdout == "", f"usage error for {args}: {r.returncode} {r.stderr}")
for option in ("-V", "--version"):
    r = run(option)
    check(r.returncode == 0 and r.stdout.startswith("misura-libreria "), f"{option}: {r.returncode} {r.stdout}")

# '--' ends the options: a library whose name begins with '-', by a path as given or made clean.
shutil.copy(stand_in, path("-dashed.so"))
r = run(*SHORT, "--bytes", "8", "--method", "library", "--", "-dashed.so")
check(r.returncode == 0 and r.stdout.startswith("Library: " + os.path.realpath(path("-dashed.so")) + "\n"),
      f"'--': {r.returncode} {r.stderr}")
r = run(*SHORT, "--bytes", "8", "--method", "library", "./sub/../missing.so")
check(r.returncode == 1 and f"cannot find library '{os.path.realpath(path('missing.so'))}'" in r.stderr,
      f"a path made clean: {r.stderr}")
open(path("notalib.so"), "w").write("not a library\n")
r = run(*SHORT, "--bytes", "8", "--method", "library", "notalib.so")
check(r.returncode == 1 and f"cannot load library '{os.path.realpath(path('notalib.so'))}'" in r.stderr,
      f"a file that is no library: {r.stderr}")

# An export that cannot be written is found before anything is measured.
for args in (["--export-json", path("no-such-folder/r.json")], ["--export-csv", path("r.json/r.csv")]):
    r = run(*SHORT, "--bytes", "8", *args, stand_in)
    check(r.returncode == 1 and "cannot write" in r.stderr and r.stdout == "", f"export {args}: {r.returncode} {r.stderr}")

# Exports that would destroy something are refused before anything runs; one given by a relative
# name lands in the folder it was given in.
open(path("notes.txt"), "w").write("my notes\n")
for args in (["--export-json", stand_in, stand_in], ["--export-json", path("d.out"), "--export-csv", path("d.out")],
             ["--export-markdown", path("notes.txt")], ["--export-csv", path("r.json")]):
    r = run(*SHORT, "--bytes", "8", *args)
    check(r.returncode == 2 and "try 'misura-libreria --help'" in r.stderr, f"export target {args}: {r.returncode} {r.stderr}")
check(open(path("notes.txt")).read() == "my notes\n", "a file that is not an export was overwritten")
r = run(*SHORT, "--bytes", "8", "--method", "library", "--export-csv", "again.csv", stand_in)
check(r.returncode == 0 and os.path.exists(path("again.csv")), f"a relative export: {r.returncode} {r.stderr}")

# A report that cannot be written is status 1: standard output full, or closed.
if os.path.exists("/dev/full"):
    with open("/dev/full", "w") as full:
        r = subprocess.run([tool, *SHORT, "--bytes", "8", stand_in], stdout=full, stderr=subprocess.PIPE,
                           text=True, timeout=patience(60))
    check(r.returncode == 1 and "cannot write" in r.stderr, f"full device: {r.returncode} {r.stderr}")
r = subprocess.run([tool, *SHORT, "--bytes", "8", stand_in], stdout=subprocess.DEVNULL,
                   stderr=subprocess.PIPE, text=True, timeout=patience(60), preexec_fn=lambda: os.close(1))
check(r.returncode == 1 and "cannot write" in r.stderr, f"closed stdout: {r.returncode} {r.stderr}")

print("misura-libreria: %d failures" % len(failures))
sys.exit(1 if failures else 0)

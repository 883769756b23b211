#!/usr/bin/env python3
"""misura-libreria as a library maker runs it: a short run against the stand-in
with every export read back by Python's own parsers; a real comparison of the
stand-in with a slowed copy of it, whose verdict is "slower"; a baseline round
trip (status 3 for the slow copy, 0 for the same build); a wrong library
(status 1); a faulting library beside a sound one; Ctrl+C during a run, and
with the progress line on a terminal (INTERRUPTER, preloaded, interrupts the
command just after it writes the line); the exports' mode under any umask; a
scan with its plot, and one with fewer sizes than steps; the export's field
names; the numbered errors and usage errors. No check looks at a time; the
bounds on each run guard against a command that never ends, and grow with the
build's factor (VC_TEST_TIME_SCALE).
Usage: misura_test.py TOOL STAND_IN FAULTING SLOW ZEROS INTERRUPTER WORK_FOLDER"""
import csv
import json
import os
import pty
import shutil
import signal
import subprocess
import sys
import xml.etree.ElementTree as ET

tool, stand_in, faulting, slow, zeros, interrupter, work = (os.path.abspath(a) for a in sys.argv[1:8])
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

# A short run with every export, under a umask that would leave them unreadable.
r = run("--runs", "4", "--warmup", "1", "--bytes", "64", "--export-json", path("r.json"),
        "--export-csv", path("r.csv"), "--export-markdown", path("r.md"), stand_in, umask=0o777)
check(r.returncode == 0, f"short run failed: {r.returncode} {r.stderr}")
check(r.stdout.startswith("Library: " + stand_in_real + "\n"), "output does not start with the path: " + r.stdout[:200])
for words in ("of which binding", "Run (mean ± σ)", "Call (mean ± σ)", "95% interval", "p = "):
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
results = data["results"]
check({(x["conversion"], x["method"]) for x in results} ==
      {(c, m) for c in CONVERSIONS for m in ("library", "in-program")}, "json cases")
for x in results:
    t = x["times_s"]
    check(len(t) == x["runs"] == 4 and x["bytes"] == 64 and x["wrong"] is None, "json runs")
    s = sorted(t)
    check(x["min_s"] == s[0] and x["max_s"] == s[3] and abs(x["median_s"] - (s[1] + s[2]) / 2) < 1e-15,
          "json summary vs times")
    library = x["method"] == "library"
    check((x["library"] == stand_in_real) == library and (x["first_call_s"] is not None) == library, "json library")
    check((x["call"] is not None) == library, "json call")
    check((x["first_call_binding_s"] is not None) == library
          and (x["first_call_binding_s"] or 0) <= (x["first_call_s"] or 0), "json first call's binding")
    if library:
        check(len(x["call"]["times_s"]) == 4 and all(c <= w for c, w in zip(x["call"]["times_s"], t)),
              "a call longer than its run")
comparisons = data["comparisons"]
check(len(comparisons) == 2, f"json comparisons: {comparisons}")
for c in comparisons:
    check(set(c) >= {"conversion", "library", "baseline", "ratio", "ratio_low", "ratio_high", "p_value", "verdict"},
          f"comparison fields {c.keys()}")
    check(c["ratio_low"] <= c["ratio"] <= c["ratio_high"] and 0 <= c["p_value"] <= 1, f"comparison values {c}")
    check(c["library"] == "in-program routines" and c["baseline"] == stand_in_real, f"comparison names {c}")

rows = list(csv.DictReader(open(path("r.csv"), newline="")))
check(list(rows[0].keys()) == ["library", "conversion", "method", "part", "bytes", "run", "seconds", "result"],
      "csv header")
for x in results:
    for part, key in (("run", None), ("call", "call")):
        got = [float(row["seconds"]) for row in rows if (row["conversion"], row["method"], row["part"]) ==
               (x["conversion"], x["method"], part)]
        want = x["times_s"] if part == "run" else (x["call"]["times_s"] if x["call"] else [])
        check(got == want, f"csv {part} seconds differ from json for {x['conversion']}, {x['method']}")

markdown = open(path("r.md"), encoding="utf-8").read()
tables = [l for l in markdown.splitlines() if l.startswith("| Measured")]
check(len(tables) == 2 and "Ratio (95% interval)" in tables[0], "markdown: one table per conversion")

# The stand-in against a slowed copy of it: slower, on the library call, for both conversions.
r = run("--runs", "30", "--warmup", "2", "--bytes", "4096", "--method", "library", "--export-json", path("c.json"),
        stand_in, slow)
check(r.returncode == 0, f"comparison failed: {r.returncode} {r.stderr}")
verdicts = [(c["conversion"], c["figure"], c["verdict"]) for c in json.load(open(path("c.json")))["comparisons"]]
check(verdicts == [(c, "call", "slower") for c in CONVERSIONS], f"slow copy's verdicts: {verdicts}\n{r.stdout}")
print(r.stdout)

# Baselines: the slow copy fails --fail-if-slower, the same build passes it (the bound is wide: two
# separate runs on a busy machine differ more than two builds in one); a mismatch is a usage error.
r = run("--runs", "30", "--bytes", "50000", "--method", "library", "--export-json", path("base.json"), stand_in)
check(r.returncode == 0, f"baseline run failed: {r.stderr}")
r = run("--runs", "30", "--bytes", "50000", "--method", "library", "--baseline", path("base.json"),
        "--fail-if-slower", "200", slow)
check(r.returncode == 3 and "slower by more than 200 %" in r.stderr, f"slow copy against the baseline: {r.returncode} {r.stderr}")
r = run("--runs", "30", "--bytes", "50000", "--method", "library", "--baseline", path("base.json"),
        "--fail-if-slower", "200", stand_in)
check(r.returncode == 0, f"same build against the baseline: {r.returncode} {r.stderr}")
for args in (["--bytes", "64"], ["--bytes", "50000", "--conversion", "text-to-bytes"]):
    r = run("--runs", "2", *args, "--method", "library", "--baseline", path("base.json"), stand_in)
    check(r.returncode == 2 and "--baseline" in r.stderr, f"baseline mismatch {args}: {r.returncode} {r.stderr}")

# A library that gives zeros whatever it is given: wrong, status 1, marked in the exports.
r = run("--runs", "2", "--bytes", "64", "--export-json", path("w.json"), "--export-csv", path("w.csv"), zeros)
check(r.returncode == 1 and "wrong result: " in r.stderr, f"wrong library: {r.returncode} {r.stderr}")
wrong = {x["conversion"]: x["wrong"] for x in json.load(open(path("w.json")))["results"] if x["method"] == "library"}
check(all(wrong.get(c) for c in CONVERSIONS), f"wrong results not marked in the json: {wrong}")
check({row["result"] for row in csv.DictReader(open(path("w.csv"))) if row["method"] == "library"} == {"wrong"},
      "wrong results not marked in the csv")

# A faulting library ends its own measurement with its numbered error; the other one is measured.
r = run("--runs", "2", "--bytes", "8", "--method", "library", faulting, stand_in)
check(r.returncode == 1 and "error 51: " in r.stderr and "Errore" not in r.stderr, f"fault: {r.returncode} {r.stderr}")
check("Library: " + stand_in_real in r.stdout and "Runs:" in r.stdout, "the sound library was not measured")

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

# A scan with its plot: a table per size and the exponents.
svg = path("q.svg")
r = run("--scan", "16:256:3", "--runs", "2", "--warmup", "0", "--plot", svg, "--export-json", path("s.json"), stand_in)
check(r.returncode == 0, f"scan failed: {r.stderr}")
for size in ("16 bytes", "64 bytes", "256 bytes", "Growth"):
    check(size in r.stdout, f"scan output lacks '{size}'")
scan = json.load(open(path("s.json")))
check(sorted({x["bytes"] for x in scan["results"]}) == [16, 64, 256], "scan sizes")
check(len(scan["growth"]) == 4, "scan exponents")
plot = ET.parse(svg).getroot()
check(len(plot.findall("{http://www.w3.org/2000/svg}polyline")) == 4, "plot series")

# A scan with fewer distinct sizes than steps says so and goes on.
r = run("--scan", "1:3:10", "--runs", "1", "--warmup", "0", "--method", "library", stand_in)
check(r.returncode == 0 and r.stderr == "note: --scan 1:3:10 gives 3 distinct sizes, not 10\n",
      f"short scan: {r.returncode} {r.stderr}")

# A bare name is the file in the current folder.
r = run("--runs", "1", "--warmup", "0", "--bytes", "8", "--method", "library", os.path.basename(stand_in),
        cwd=os.path.dirname(stand_in))
check(r.returncode == 0 and r.stdout.startswith("Library: " + stand_in_real), "bare name: " + r.stdout[:200] + r.stderr)

# Numbered errors in English, status 1; usage errors, status 2.
missing = path("missing-" + os.path.basename(stand_in))
r = run("--runs", "1", "--bytes", "8", missing)
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
r = run("--runs", "1", "--warmup", "0", "--bytes", "8", "--method", "library", "--", "-dashed.so")
check(r.returncode == 0 and r.stdout.startswith("Library: " + os.path.realpath(path("-dashed.so")) + "\n"),
      f"'--': {r.returncode} {r.stderr}")
r = run("--runs", "1", "--bytes", "8", "--method", "library", "./sub/../missing.so")
check(r.returncode == 1 and f"cannot find library '{os.path.realpath(path('missing.so'))}'" in r.stderr,
      f"a path made clean: {r.stderr}")
open(path("notalib.so"), "w").write("not a library\n")
r = run("--runs", "1", "--bytes", "8", "--method", "library", "notalib.so")
check(r.returncode == 1 and f"cannot load library '{os.path.realpath(path('notalib.so'))}'" in r.stderr,
      f"a file that is no library: {r.stderr}")

# An export that cannot be written is found before anything is measured.
for args in (["--export-json", path("no-such-folder/r.json")], ["--export-csv", path("r.json/r.csv")]):
    r = run("--runs", "1", "--bytes", "8", *args, stand_in)
    check(r.returncode == 1 and "cannot write" in r.stderr and r.stdout == "", f"export {args}: {r.returncode} {r.stderr}")

# Exports that would destroy something are refused before anything runs; one given by a relative
# name lands in the folder it was given in.
open(path("notes.txt"), "w").write("my notes\n")
for args in (["--export-json", stand_in, stand_in], ["--export-json", path("d.out"), "--export-csv", path("d.out")],
             ["--export-markdown", path("notes.txt")], ["--export-csv", path("r.json")]):
    r = run("--runs", "1", "--bytes", "8", *args)
    check(r.returncode == 2 and "try 'misura-libreria --help'" in r.stderr, f"export target {args}: {r.returncode} {r.stderr}")
check(open(path("notes.txt")).read() == "my notes\n", "a file that is not an export was overwritten")
r = run("--runs", "1", "--bytes", "8", "--method", "library", "--export-csv", "again.csv", stand_in)
check(r.returncode == 0 and os.path.exists(path("again.csv")), f"a relative export: {r.returncode} {r.stderr}")

# A report that cannot be written is status 1: standard output full, or closed.
if os.path.exists("/dev/full"):
    with open("/dev/full", "w") as full:
        r = subprocess.run([tool, "--runs", "1", "--bytes", "8", stand_in], stdout=full, stderr=subprocess.PIPE,
                           text=True, timeout=patience(60))
    check(r.returncode == 1 and "cannot write" in r.stderr, f"full device: {r.returncode} {r.stderr}")
r = subprocess.run([tool, "--runs", "1", "--bytes", "8", stand_in], stdout=subprocess.DEVNULL,
                   stderr=subprocess.PIPE, text=True, timeout=patience(60), preexec_fn=lambda: os.close(1))
check(r.returncode == 1 and "cannot write" in r.stderr, f"closed stdout: {r.returncode} {r.stderr}")

print("misura-libreria: %d failures" % len(failures))
sys.exit(1 if failures else 0)

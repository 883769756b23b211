#!/usr/bin/env python3
"""Turns one Google Benchmark JSON run of conversion_bench into the ratio
table, the growth orders and a log-log plot; the library runs of a second
build (RelWithDebInfo, -O2) are set against the first's.
Usage: report.py RESULTS.json OUT.md OUT.png COMMAND O2_RESULTS.json"""
import json
import os
import platform
import subprocess
import sys


def load(path):
    with open(path) as f:
        return json.load(f)


def to_us(b):
    scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}[b["time_unit"]]
    return b["real_time"] * scale


FIRST = "FirstPress_InProgram/iterations:10/manual_time"
FIRST_DEFAULT = "FirstPress_InProgram_DefaultHeap/iterations:5/manual_time"
FIRST_LIBRARY = "FirstPress_Library/iterations:10/manual_time"
AFTER = "Press_AfterLibrary_InProgram/iterations:10"
MIXED = "Interleaved_InProgram/iterations:5/manual_time"


def cpu_model():
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or "unknown"


def main():
    results, out_md, out_png, command, o2_results = sys.argv[1:6]
    data = load(results)
    o2 = {b["name"]: to_us(b) for b in load(o2_results)["benchmarks"] if "aggregate_name" not in b}
    runs = {b["name"]: b for b in data["benchmarks"] if "aggregate_name" not in b}
    orders = {b["run_name"]: b["big_o"] for b in data["benchmarks"]
              if b.get("aggregate_name") == "BigO"}

    def t(name):
        return to_us(runs[name])

    n = 50000
    peak = runs["PeakHeap_Run1_InProgram/iterations:1"]
    limit = 2 * peak["final_text_bytes"] + 64 * 1024
    rows = [
        ("run 1, library, vs library floor", t(f"Run1_Library/{n}") / t(f"Floor_Library/{n}"), "<= 3x"),
        ("run 2, library, vs library floor", t(f"Run2_Library/{n}") / t(f"Floor_Library/{n}"), "<= 3x"),
        ("run 2, library, vs library floor with narrowing",
         t(f"Run2_Library/{n}") / t(f"Floor_Library_Run2/{n}"), "<= 3x"),
        ("run 1, library, vs the bare call and its conversion",
         t(f"Run1_Library/{n}") / t(f"Floor_LibraryCall/{n}"), "<= 1.5x"),
        ("run 2, library, vs the bare call and its conversions",
         t(f"Run2_Library/{n}") / t(f"Floor_LibraryCall_Run2/{n}"), "<= 1.5x"),
        ("run 1, in-program, vs its floor", t(f"Run1_InProgram/{n}") / t(f"Floor_BytesToText/{n}"), "<= 1.3x"),
        ("run 2, in-program, vs its floor", t(f"Run2_InProgram/{n}") / t(f"Floor_TextToBytes/{n}"), "<= 2x"),
        ("run 1, in-program, first press of a fresh process, vs its floor",
         t(FIRST) / t(f"Floor_BytesToText/{n}"), "<= 1.3x"),
        ("run 1, in-program, after both library runs, vs its floor",
         t(AFTER) / t(f"Floor_BytesToText/{n}"), "<= 1.3x"),
        ("run 1, in-program, first press vs the floor in the same process (worst of 5)",
         runs[MIXED]["worst_first_over_floor"], "<= 1.3x"),
        ("the same, processor time", runs[MIXED]["worst_first_over_floor_cpu"], "<= 1.3x"),
        ("run 1, in-program, ten presses between library runs, max over min (worst of 5)",
         runs[MIXED]["worst_max_over_min"], "<= 1.3x"),
        ("the same, processor time", runs[MIXED]["worst_max_over_min_cpu"], "<= 1.3x"),
        ("run 1, library, RelWithDebInfo (-O2) build vs this Release build",
         o2[f"Run1_Library/{n}"] / t(f"Run1_Library/{n}"), "<= 1.3x"),
        ("run 2, library, RelWithDebInfo (-O2) build vs this Release build",
         o2[f"Run2_Library/{n}"] / t(f"Run2_Library/{n}"), "<= 1.3x"),
        ("start-up to window shown, vs minimal Qt program",
         t("Startup_Tarmelo/iterations:15/real_time") / t("Startup_MinimalQt/iterations:15/real_time"),
         "<= 1.3x"),
    ]

    def verdict(value, target):
        return "met" if value <= float(target.strip("<= x")) else "missed"

    lines = [
        "# Benchmarks",
        "",
        "What each timed conversion costs at the run's 50000 bytes, how it grows,",
        "and how close it is to the least work it could do. Made by `scripts/bench`",
        "from one run of `conversion_bench`; every ratio compares two cases of that",
        "same run.",
        "",
        f"- Machine: {cpu_model()}, {data['context']['num_cpus']} cores, "
        f"{data['context']['mhz_per_cpu']} MHz; {platform.system()} {platform.release()}",
        f"- Date: {data['context']['date']}",
        f"- Load average at the start: {', '.join(f'{v:.2f}' for v in data['context'].get('load_avg', []))}"
        " (other programs' load stretches the times on the clock)",
        f"- Command: `{command}`",
        "",
        "## Targets",
        "",
        "| measure | figure | target | |",
        "|---|---|---|---|",
    ]
    for label, value, target in rows:
        lines.append(f"| {label} | {value:.2f}x | {target} | {verdict(value, target)} |")
    for mark in ("Inizio", "Fine"):
        b = runs[f"Stopwatch_{mark}"]
        ns = to_us(b) * 1e3
        allocs = b["allocations"]
        ok = "met" if ns <= 50 and allocs == 0 else "missed"
        lines.append(f"| `{mark}` | {ns:.1f} ns, {allocs:g} allocations | <= 50 ns, 0 | {ok} |")
    first_ms = t(FIRST_LIBRARY) / 1000
    ok = "met" if first_ms <= 3 else "missed"
    lines.append(f"| run 1, library, first press of a fresh process (binding included, loading tried ahead at start-up) "
                 f"| {first_ms:.2f} ms | <= 3 ms | {ok} |")
    ok = "met" if peak["peak_bytes"] <= limit else "missed"
    lines.append(f"| peak heap, run 1 in-program | {peak['peak_bytes']:.0f} B "
                 f"(text {peak['final_text_bytes']:.0f} B) | <= {limit:.0f} B | {ok} |")

    lines += ["", "## Times at 50000 bytes", "", "| case | time |", "|---|---|"]
    for name in sorted(runs):
        if name.endswith(f"/{n}"):
            lines.append(f"| {name} | {t(name):.2f} us |")
    for name in (f"Run1_Library/{n}", f"Run2_Library/{n}"):
        lines.append(f"| {name}, RelWithDebInfo (-O2) build | {o2[name]:.2f} us |")
    for name in (FIRST, FIRST_DEFAULT, FIRST_LIBRARY, AFTER, MIXED):
        faults = runs[name].get("minor_faults", runs[name].get("most_minor_faults"))
        extra = f" ({faults:.0f} minor page faults)" if faults is not None else ""
        lines.append(f"| {name} | {t(name):.2f} us{extra} |")
    for name in ("Startup_Tarmelo/iterations:15/real_time", "Startup_MinimalQt/iterations:15/real_time"):
        lines.append(f"| {name} | {t(name) / 1000:.1f} ms |")

    lines += ["", "## Presses", "",
              "`FirstPress_*` start the press probe (`press_probe p`) once per sample: one",
              "in-program Quendril in a fresh process, with the heap set up as the",
              "programs' start-up does it, or with the C library's defaults (`default-heap`).",
              "`FirstPress_Library` (`press_probe wq`) is the library's Quendril in a fresh",
              "process: binding the library and one conversion, its loading tried ahead",
              "in another process (`w`) as the programs do once their window shows.",
              "`Press_AfterLibrary_InProgram` presses after both library runs, in this",
              "process. `Interleaved_InProgram` runs `press_probe plplplplplplplplplp ffff`",
              "five times: ten presses with both library runs between them, then the floor;",
              "its page faults are the most any one press took. Times are on the clock,",
              "so other programs' load widens their spread; processor time and page faults",
              "do not depend on it."]

    lines += ["", "## Growth", "", "Fitted by Google Benchmark over n = 1k ... 64k.", "",
              "| path | fitted order |", "|---|---|"]
    for name in sorted(orders):
        lines.append(f"| {name.replace('Growth/', '')} | {orders[name]} |")

    series = sorted({name.rsplit("/", 1)[0] for name in runs if name.startswith("Growth/")})
    datafile = out_png + ".dat"
    with open(datafile, "w") as f:
        for s in series:
            f.write(f'"{s.replace("Growth/", "")}"\n')
            points = sorted((int(k.rsplit("/", 1)[1]), t(k)) for k in runs if k.startswith(s + "/"))
            for x, y in points:
                f.write(f"{x} {y}\n")
            f.write("\n\n")
    plot = ", ".join(f"'{datafile}' index {i} with linespoints title columnheader(1)"
                     for i in range(len(series)))
    script = (f"set terminal pngcairo size 900,600\nset output '{out_png}'\n"
              "set termoption noenhanced\nset logscale xy\nset xlabel 'n (bytes or characters)'\nset ylabel 'time (us)'\n"
              "set key left top\nset grid\n"
              f"set title 'Time against n, conversions and their floors'\nplot {plot}\n")
    subprocess.run(["gnuplot"], input=script.encode(), check=True)
    os.remove(datafile)
    lines += ["", f"![Time against n]({os.path.basename(out_png)})", ""]

    with open(out_md, "w") as f:
        f.write("\n".join(lines))
    print("\n".join(lines))


if __name__ == "__main__":
    main()

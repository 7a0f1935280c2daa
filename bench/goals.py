#!/usr/bin/env python3
"""Prints one table of the benches' figures beside their goals (bench/goals.txt), from the JSON
results Google Benchmark wrote (scripts/bench).

Usage: goals.py GOALS RESULTS_DIR BENCH...
Exit status: 0 when every goal of the benches run is met, 1 otherwise.
"""
import json
import os
import sys


def read_goals(path):
    goals = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            bench, case, counter, goal, what = (p.strip() for p in line.split("|", 4))
            goals.append((bench, case, counter, goal, what))
    return goals


def case_of(name):
    # "BM_X/50/iterations:1/real_time" -> "BM_X/50"
    parts = [p for p in name.split("/") if ":" not in p and p != "real_time"]
    return "/".join(parts)


def find(results, case, counter):
    for b in results:
        if case_of(b.get("run_name", b["name"])) != case and case_of(b["name"]) != case:
            continue
        if b.get("error_occurred"):
            return None, b.get("error_message", "error")
        if b.get("run_type") == "aggregate":
            continue
        if counter in b:
            return float(b[counter]), None
    return None, "not run"


def met(value, goal):
    if goal == "-":
        return "—"
    op, limit = goal.split()
    limit = float(limit)
    ok = value <= limit if op == "<=" else value >= limit
    return "met" if ok else "NOT MET"


def main():
    goals_path, results_dir, benches = sys.argv[1], sys.argv[2], sys.argv[3:]
    rows = []
    failed = False
    for bench, case, counter, goal, what in read_goals(goals_path):
        if bench not in benches:
            continue
        load = "?"
        try:
            with open(os.path.join(results_dir, bench + ".load"), encoding="utf-8") as f:
                load = "–".join(l.strip() for l in f if l.strip())
        except OSError:
            pass
        try:
            with open(os.path.join(results_dir, bench + ".json"), encoding="utf-8") as f:
                results = json.load(f).get("benchmarks", [])
        except (OSError, ValueError):
            results = []
        value, error = find(results, case, counter) if results else (None, "no result")
        if value is None:
            rows.append((what, goal, error, "NOT RUN" if goal != "-" else "—", load, bench))
            failed = failed or goal != "-"
            continue
        verdict = met(value, goal)
        failed = failed or verdict == "NOT MET"
        rows.append((what, goal, f"{value:.3g}" if abs(value) < 1000 else f"{value:.0f}",
                     verdict, load, bench))
    head = ("figure", "goal", "measured", "", "load", "bench")
    widths = [max(len(r[i]) for r in rows + [head]) for i in range(len(head))]
    for r in [head] + rows:
        print("  ".join(c.ljust(widths[i]) for i, c in enumerate(r)).rstrip())
    print(f"\nload: the 1-minute load average at the bench's start and end, on {os.cpu_count()} cores")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Prints the table of `make bench`: each work item of the library against its peer,
timed in the same program run, from Google Benchmark's JSON output files.

Times are the median CPU time of the repetitions. A "time" row compares time per item
(library / peer, lower is better); a "speed" row compares throughput (library / peer,
higher is better); an "ns" row gives the library's own time per item. Both sides of a
row process the same amount (bytes or keys), so the ratio of times is the ratio of costs."""
import json
import sys

SCALE = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}


def load(paths):
    times = {}
    for path in paths:
        try:
            with open(path) as f:
                data = json.load(f)
        except (OSError, ValueError) as e:
            print(f"report: skipping {path}: {e}", file=sys.stderr)
            continue
        for b in data.get("benchmarks", []):
            if b.get("error_occurred"):
                continue
            if b.get("run_type") == "aggregate" and b.get("aggregate_name") != "median":
                continue
            name = b.get("run_name", b["name"])
            ns = b["cpu_time"] * SCALE[b.get("time_unit", "ns")]
            if b.get("run_type") == "aggregate" or name not in times:
                times[name] = ns
    return times


def rows():
    yield ("DScomp, records: fast / portable (today's code)", "Compress/fast/records:1",
           "Compress/portable/records:1", "speed", 2.0)
    yield ("DScomp, random bytes / memcpy", "Compress/fast/records:0", "Memcpy/16777216/0",
           "speed", 0.5)
    yield ("DSdecomp, records / memcpy", "Expand/fast/records:1", "Memcpy/16777216/1", "speed", 0.4)
    yield ("DSdecomp, random bytes / memcpy", "Expand/fast/records:0", "Memcpy/16777216/0",
           "speed", 0.9)
    yield ("DScomp, records / zlib level 1", "Compress/fast/records:1", "ZlibCompress/records:1",
           "speed", None)
    yield ("DSdecomp, records / zlib", "Expand/fast/records:1", "ZlibExpand/records:1", "speed",
           None)
    for n in (10000, 100000, 1000000):
        for op in ("Insert", "Find", "Erase", "Iterate"):
            yield (f"TnRBTree {op.lower()}, {n} / std::multimap", f"BM_RBTree_{op}/{n}",
                   f"BM_{op}<Multimap>/{n}", "time", 1.0)
        for op in ("Insert", "Find", "Erase", "Iterate"):
            goal = {"Find": 2.0, "Erase": 2.0, "Iterate": 4.0}.get(op) if n == 1000000 else None
            yield (f"TnRBTree {op.lower()}, {n} / absl::btree_multimap", f"BM_RBTree_{op}/{n}",
                   f"BM_{op}<Btree>/{n}", "time", goal)
    for n in (10000, 100000, 1000000):
        for op in ("Insert", "Find", "Erase"):
            yield (f"TnRBTree {op.lower()}, caller's compare function, {n} / std::multimap",
                   f"BM_RBTree_{op}_Callback/{n}", f"BM_{op}<Multimap>/{n}", "time", None)
    shapes = ("random", "16 distinct", "ascending", "descending", "organ pipe")
    for array, n in (("TnCList", 32767), ("TnLList", 1048576)):
        for s, shape in enumerate(shapes):
            yield (f"Sort {shape}, {n} / std::sort", f"BM_Sort<{array}>/shape:{s}/n:{n}",
                   f"BM_Sort_std_sort/shape:{s}/n:{n}", "time", 1.2)
    for array, n in (("TnCList", 32767), ("TnLList", 1048576)):
        yield (f"Binary search hit, {n} / std::lower_bound", f"BM_Search<{array}>/{n}",
               f"BM_Search_lower_bound/{n}", "time", 1.2)
    yield ("TnError text / unordered_map", "BM_TnErrorText", "BM_UnorderedMapText", "time", 1.5)
    yield ("MemFile::Write int32 / vector push_back", "BM_WriteInt32_MemFile",
           "BM_WriteInt32_vector", "time", 2.0)
    yield ("Statistics update while publishing (ns)", "BM_StatisticsIncWhilePublishing", None,
           "ns", 2.0)
    yield ("  atomic relaxed add (ns)", "BM_AtomicRelaxedAdd", None, "ns", None)
    yield ("  ++ in a non-inlined call (ns)", "BM_IncrementNotInlined", None, "ns", None)


def main(paths):
    times = load(paths)
    print("| Work | Library | Peer | Ratio | Goal | Met |")
    print("|---|---|---|---|---|---|")
    for work, lib, peer, kind, goal in rows():
        a = times.get(lib)
        b = times.get(peer) if peer else None
        if a is None or (peer and b is None):
            print(f"| {work} | - | - | - | - | not run |")
            continue
        if kind == "ns":
            ratio, goal_text = a, (f"<= {goal:g} ns" if goal else "")
            met = a <= goal if goal else None
            print(f"| {work} | {a:.2f} ns | | {ratio:.2f} | {goal_text} | "
                  f"{'' if met is None else 'yes' if met else 'no'} |")
            continue
        if kind == "speed":
            ratio = b / a
            goal_text = f">= {goal:g}x" if goal else ""
            met = ratio >= goal if goal else None
        else:
            ratio = a / b
            goal_text = f"<= {goal:g}x" if goal else ""
            met = ratio <= goal if goal else None
        print(f"| {work} | {fmt(a)} | {fmt(b)} | {ratio:.2f}x | {goal_text} | "
              f"{'' if met is None else 'yes' if met else 'no'} |")


def fmt(ns):
    if ns >= 1e6:
        return f"{ns / 1e6:.2f} ms"
    if ns >= 1e3:
        return f"{ns / 1e3:.1f} us"
    return f"{ns:.2f} ns"


if __name__ == "__main__":
    main(sys.argv[1:])

#!/usr/bin/env python3
"""Line and branch coverage of basics/src per subsystem, from the coverage build's profiles.

    coverage_report.py <build dir> <source dir> <line bar %> <branch bar %>

Merges <build dir>/profiles/*.profraw, asks llvm-cov for a summary over every
instrumented program and shared object of the build, prints one row per subsystem
(basics/src/<subsystem>, the OS layer per backend) and the total, and exits 1 when
the total line or branch coverage of basics/src is below its bar. The uncovered lines
of each file: <build dir>/coverage.txt (llvm-cov show).
"""
import glob
import json
import os
import shutil
import subprocess
import sys


def tool(name):
    for candidate in (name + "-14", name):
        if shutil.which(candidate):
            return candidate
    sys.exit(f"coverage: {name} (llvm-14) not found")


def instrumented_objects(build):
    objects = []
    for root, dirs, files in os.walk(build):
        dirs[:] = [d for d in dirs if d not in ("CMakeFiles", "profiles", "_deps")]
        for f in files:
            path = os.path.join(root, f)
            if not os.access(path, os.X_OK) and not f.endswith(".so"):
                continue
            try:
                with open(path, "rb") as fh:
                    if fh.read(4) != b"\x7fELF":
                        continue
                    fh.seek(0)
                    if b"__llvm_covmap" not in fh.read():
                        continue
            except OSError:
                continue
            objects.append(path)
    return sorted(objects)


def subsystem(relative):
    parts = relative.split("/")
    if parts[0] == "os" and len(parts) > 2:
        return "os/" + parts[1]
    return parts[0] if len(parts) > 1 else relative


def percent(covered, count):
    return 100.0 * covered / count if count else 100.0


def main():
    build, source, line_bar, branch_bar = sys.argv[1], sys.argv[2], float(sys.argv[3]), float(sys.argv[4])
    profiles = glob.glob(os.path.join(build, "profiles", "*.profraw"))
    if not profiles:
        sys.exit("coverage: no profiles; run the tests of the coverage build first")
    merged = os.path.join(build, "coverage.profdata")
    subprocess.run([tool("llvm-profdata"), "merge", "-sparse", "-o", merged] + profiles, check=True)
    objects = instrumented_objects(build)
    args = ["-instr-profile=" + merged, objects[0]] + [a for o in objects[1:] for a in ("-object", o)]
    src = os.path.join(os.path.abspath(source), "basics", "src")
    llvm_cov = tool("llvm-cov")
    summary = json.loads(subprocess.run([llvm_cov, "export", "-summary-only"] + args,
                                        check=True, capture_output=True, text=True).stdout)
    # File names as compiled (relative ones, e.g. through ccache, are kept as given).
    files = [f for f in summary["data"][0]["files"]
             if not os.path.relpath(os.path.normpath(f["filename"]), src).startswith("..")]
    with open(os.path.join(build, "coverage.txt"), "w") as out:
        # (llvm-cov 14 does not match relative file names given as filters)
        subprocess.run([llvm_cov, "show", "-show-branches=count",
                        "-ignore-filename-regex=/(tests|tools|fuzz|examples|bench)/|/basics/inc/|^/usr/"] + args,
                       check=True, stdout=out)

    rows = {}
    for f in files:
        relative = os.path.relpath(os.path.normpath(f["filename"]), src)
        row = rows.setdefault(subsystem(relative), [0, 0, 0, 0])
        s = f["summary"]
        row[0] += s["lines"]["covered"]
        row[1] += s["lines"]["count"]
        row[2] += s["branches"]["covered"]
        row[3] += s["branches"]["count"]
    total = [sum(r[i] for r in rows.values()) for i in range(4)]
    print(f"{'basics/src':<14}{'lines':>16}{'':>9}{'branches':>16}")
    for name in sorted(rows) + ["TOTAL"]:
        r = total if name == "TOTAL" else rows[name]
        print(f"{name:<14}{r[0]:>8}/{r[1]:<7}{percent(r[0], r[1]):6.1f}%  {r[2]:>7}/{r[3]:<7}{percent(r[2], r[3]):6.1f}%")
    lines, branches = percent(total[0], total[1]), percent(total[2], total[3])
    print(f"bar: lines {line_bar}%, branches {branch_bar}% (uncovered lines: {build}/coverage.txt)")
    if lines < line_bar or branches < branch_bar:
        print(f"coverage: below the bar (lines {lines:.1f}%, branches {branches:.1f}%)", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/python3
"""Whole-process load of triview on grey series of 120 and 2,000 slices and a
colour series of 120, against a baseline build of triview when one is given.

The grey series are what the converter writes: phantom slice files turned into
8-bit JPEGs by slicejpeg; the colour series is the 120-slice one tinted. With
DISPLAY unset triview loads the whole stack, prints its console text and ends,
so its run time is start -> stack in memory -> exit. Peak RSS on the full list
minus peak RSS on a one-slice list is what the stack costs; for a grey series
the goal is W x H x N + 2 MiB, a colour one holds three times that. Runs of
the programs alternate; medians are printed.

    bench/triview/load_bench.py BUILD_DIR [RUNS] [BASELINE_TRIVIEW]
"""
import os
import shutil
import statistics
import subprocess
import sys
import time

WIDTH, HEIGHT = 512, 512
MIB = 1024 * 1024


def run(command, cwd):
    """Wall time in seconds and peak RSS in bytes of one run."""
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    start = time.perf_counter()
    process = subprocess.Popen(command, cwd=cwd, env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    _, _, usage = os.wait4(process.pid, 0)
    return time.perf_counter() - start, usage.ru_maxrss * 1024


def write_list(path, names):
    with open(path, "w") as out:
        out.write("".join("%s\n" % n for n in names))


def make_grey_series(build, work, name, slices):
    """Phantom slice files through slicejpeg; the list in slice order."""
    listed = [name + "\\IM.%d" % (i + 1) for i in range(slices)]
    if not os.path.isdir(os.path.join(work, name)):
        subprocess.run([os.path.join(build, "bin", "phantom_series"), "--width", str(WIDTH),
                        "--height", str(HEIGHT), "--slices", str(slices),
                        os.path.join(work, name)], check=True, stdout=subprocess.DEVNULL)
        write_list(os.path.join(work, name + "_list.txt"), listed)
        subprocess.run([os.path.join(build, "bin", "slicejpeg"), name + "_list.txt"], cwd=work,
                       check=True, stdout=subprocess.DEVNULL)
        for i in range(slices):
            os.remove(os.path.join(work, name, "IM.%d" % (i + 1)))
    jpegs = sorted(os.listdir(os.path.join(work, name)), key=lambda n: (len(n), n))
    write_list(os.path.join(work, name + "_jpg.txt"), [name + "\\" + n for n in jpegs])
    write_list(os.path.join(work, name + "_one.txt"), [name + "\\" + jpegs[0]])
    return name + "_jpg.txt", name + "_one.txt"


def make_colour_series(build, work, grey_list, name):
    if not os.path.isdir(os.path.join(work, name)):
        listing = subprocess.run([os.path.join(build, "bin", "triview_tint_series"), grey_list,
                                  name], cwd=work, check=True, capture_output=True, text=True)
        write_list(os.path.join(work, name + "_jpg.txt"), listing.stdout.split())
    names = open(os.path.join(work, name + "_jpg.txt")).read().split()
    write_list(os.path.join(work, name + "_one.txt"), names[:1])
    return name + "_jpg.txt", name + "_one.txt"


def main():
    build = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    programs = {"triview": [os.path.join(build, "bin", "triview")]}
    if len(sys.argv) > 3:
        programs["baseline"] = [os.path.abspath(sys.argv[3])]
    work = os.path.join(build, "bench-triview")
    os.makedirs(work, exist_ok=True)
    series = {
        "grey 120": (120,) + make_grey_series(build, work, "g120", 120),
        "grey 2000": (2000,) + make_grey_series(build, work, "g2000", 2000),
    }
    series["colour 120"] = (120,) + make_colour_series(build, work, series["grey 120"][1], "c120")

    results = {}
    for label, (_, full, one) in series.items():
        for program, command in programs.items():
            run(command + [full], work)  # warm the page cache
        for _ in range(runs):
            for program, command in programs.items():
                for kind, lst in (("full", full), ("one", one)):
                    elapsed, peak = run(command + [lst], work)
                    results.setdefault((label, program, kind), []).append((elapsed, peak))

    print("512 x 512 series, %d runs each, alternating; median wall time, peak RSS" % runs)
    for label, (slices, _, _) in series.items():
        stack = WIDTH * HEIGHT * slices
        for program in programs:
            full = results[(label, program, "full")]
            one = results[(label, program, "one")]
            t_full = statistics.median(t for t, _ in full)
            t_one = statistics.median(t for t, _ in one)
            cost = max(p for _, p in full) - max(p for _, p in one)
            print("%-10s %-9s load %.3f s (one slice %.3f s), peak RSS %.1f MiB, "
                  "stack %.1f MiB = %.2f x W*H*N (grey goal: <= %.1f MiB)"
                  % (label, program, t_full, t_one, max(p for _, p in full) / MIB, cost / MIB,
                     cost / stack, (stack + 2 * MIB) / MIB))
    if "baseline" in programs:
        for label in series:
            new = statistics.median(t for t, _ in results[(label, "triview", "full")])
            old = statistics.median(t for t, _ in results[(label, "baseline", "full")])
            print("%-10s load time triview / baseline: %.2f" % (label, new / old))


if __name__ == "__main__":
    main()

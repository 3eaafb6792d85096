#!/usr/bin/python3
"""Whole-process load of triview against a bare single-threaded imread loop.

Both run alternately on the same 512 x 512 x 120 JPEG phantom series. With
DISPLAY unset triview loads the whole stack, prints its console text and
ends, so its run time is start -> stack in memory -> exit. Peak RSS is
measured too: triview on the full list minus triview on a one-slice list is
what the stack costs, to be held under 3 x W x H x (N - 1) + 2 MiB.
The imread loop pays the start-up of OpenCV's image codec library (tens of
ms), which triview does not load for JPEG slices; the ratio is also given for
the loading alone: each program's time on the full list minus its time on a
one-slice list.

    bench/triview/load_bench.py BUILD_DIR [RUNS]
"""
import os
import statistics
import subprocess
import sys
import time

WIDTH, HEIGHT, SLICES = 512, 512, 120


def run(command, cwd):
    """Wall time in seconds and peak RSS in bytes of one run."""
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    start = time.perf_counter()
    process = subprocess.Popen(command, cwd=cwd, env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(process.pid, 0)
    elapsed = time.perf_counter() - start
    return elapsed, usage.ru_maxrss * 1024, os.waitstatus_to_exitcode(status)


def main():
    build = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 7
    work = os.path.join(build, "bench-triview")
    series = os.path.join(work, "bench")
    if not os.path.isdir(series):
        os.makedirs(work, exist_ok=True)
        subprocess.run([os.path.join(build, "bin", "phantom_series"), "--width", str(WIDTH),
                        "--height", str(HEIGHT), "--slices", str(SLICES), "--jpeg", series],
                       check=True)
    names = sorted(os.listdir(series))
    with open(os.path.join(work, "bench_list.txt"), "w") as out:
        out.write("".join("bench\\%s\n" % n for n in names))
    with open(os.path.join(work, "one_list.txt"), "w") as out:
        out.write("bench\\%s\n" % names[0])

    triview = [os.path.join(build, "bin", "triview")]
    loop = [os.path.join(build, "bin", "triview_imread_loop")]
    times = {"triview": [], "imread loop": [], "triview, one slice": [],
             "imread loop, one slice": []}
    rss = {"triview": [], "imread loop": [], "triview, one slice": []}
    run(triview + ["bench_list.txt"], work)  # warm the page cache
    for _ in range(runs):
        for name, command in (("triview", triview + ["bench_list.txt"]),
                              ("imread loop", loop + ["bench_list.txt"])):
            elapsed, peak, code = run(command, work)
            if name == "imread loop" and code != 0:
                sys.exit("imread loop failed")
            times[name].append(elapsed)
            rss[name].append(peak)
        elapsed, peak, _ = run(triview + ["one_list.txt"], work)
        times["triview, one slice"].append(elapsed)
        rss["triview, one slice"].append(peak)
        times["imread loop, one slice"].append(run(loop + ["one_list.txt"], work)[0])

    mib = 1024 * 1024
    t_view = statistics.median(times["triview"])
    t_loop = statistics.median(times["imread loop"])
    print("series: %d x %d x %d JPEG, %d runs each, alternating, median wall time"
          % (WIDTH, HEIGHT, SLICES, runs))
    print("triview load:   %.3f s" % t_view)
    print("imread loop:    %.3f s" % t_loop)
    print("ratio:          %.2f (goal <= 0.70)" % (t_view / t_loop))
    s_view = statistics.median(times["triview, one slice"])
    s_loop = statistics.median(times["imread loop, one slice"])
    print("one-slice runs: triview %.3f s, imread loop %.3f s (start-up)" % (s_view, s_loop))
    print("loading alone:  triview %.3f s, imread loop %.3f s, ratio %.2f"
          % (t_view - s_view, t_loop - s_loop, (t_view - s_view) / (t_loop - s_loop)))
    stack_cost = max(rss["triview"]) - max(rss["triview, one slice"])
    allowed = 3 * WIDTH * HEIGHT * (SLICES - 1) + 2 * mib
    print("peak RSS triview %.1f MiB, one slice %.1f MiB, imread loop %.1f MiB"
          % (max(rss["triview"]) / mib, max(rss["triview, one slice"]) / mib,
             max(rss["imread loop"]) / mib))
    print("stack cost:     %.1f MiB (goal <= 3*W*H*(N-1) + 2 MiB = %.1f MiB)"
          % (stack_cost / mib, allowed / mib))


if __name__ == "__main__":
    main()

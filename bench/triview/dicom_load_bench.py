#!/usr/bin/python3
"""triview on a 512 x 512 x 640 uncompressed DICOM series (phantom slice files
with positions, named head first so the viewer ranks them) against the floor
of reading the files and copying their samples (triview_dicom_floor, on as
many threads). With DISPLAY unset triview loads the series and ends, so its
run time is start -> volume in memory -> exit. Runs alternate; medians are
printed, and triview's peak RSS against 2 x W x H x N + 64 MiB.

    bench/triview/dicom_load_bench.py BUILD_DIR [RUNS]
"""
import os
import statistics
import subprocess
import sys
import time

WIDTH, HEIGHT, SLICES = 512, 512, 640
MIB = 1024 * 1024


def run(command, cwd):
    """Wall time in seconds and peak RSS in bytes of one run."""
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    start = time.perf_counter()
    process = subprocess.Popen(command, cwd=cwd, env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    _, _, usage = os.wait4(process.pid, 0)
    return time.perf_counter() - start, usage.ru_maxrss * 1024


def main():
    build = os.path.realpath(sys.argv[1] if len(sys.argv) > 1 else "build")
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 7
    subprocess.run(["cmake", "--build", build, "-j2", "--target", "triview", "triview_dicom_floor",
                    "phantom_series"], check=True, stdout=subprocess.DEVNULL)
    work = os.path.join(build, "dicom-load-bench")
    series = os.path.join(work, "ct")
    if not os.path.isdir(series):
        os.makedirs(work, exist_ok=True)
        subprocess.run([os.path.join(build, "bin", "phantom_series"), "--width", str(WIDTH),
                        "--height", str(HEIGHT), "--slices", str(SLICES), "--geometry",
                        "--head-first", series], check=True, stdout=subprocess.DEVNULL)
    with open(os.path.join(work, "ct_list.txt"), "w") as out:
        out.write("".join("ct\\IM.%d\n" % (i + 1) for i in range(SLICES)))
    commands = {
        "triview": [os.path.join(build, "bin", "triview"), "ct_list.txt"],
        "floor": [os.path.join(build, "bin", "triview_dicom_floor"), "ct_list.txt"],
    }
    times = {name: [] for name in commands}
    peaks = []
    for name, command in commands.items():
        run(command, work)  # warm the page cache
    for _ in range(runs):
        for name, command in commands.items():
            seconds, peak = run(command, work)
            times[name].append(seconds)
            if name == "triview":
                peaks.append(peak)
    viewer, floor = statistics.median(times["triview"]), statistics.median(times["floor"])
    volume = 2 * WIDTH * HEIGHT * SLICES
    peak = statistics.median(peaks)
    print("%d x %d x %d, %d runs each, medians" % (WIDTH, HEIGHT, SLICES, runs))
    print("triview load %.3f s, floor %.3f s: %.2f x the floor (goal <= 1.3)" %
          (viewer, floor, viewer / floor))
    print("triview peak RSS %.0f MiB; 2 x W x H x N + 64 MiB = %.0f MiB" %
          (peak / MIB, (volume + 64 * MIB) / MIB))


main()

#!/usr/bin/env python3
"""Times conv2model ingest --all-times on one GRIB 2 file of many validity times.

The file is made once: TIMES synthetic global cases (conv2model synth --global
--res RES --lm LM, seeds 1..TIMES, dates 6 hours apart from 2026-12-01 00 UTC),
each written as GRIB 2 with 16-bit simple packing (synth --grib) and the
messages concatenated into one file, as a month of analyses comes in one
download.  Then `ingest --all-times -j 1` and `-j 2` are run alternately, RUNS
times each, so that both see the same state of a machine that others share;
the output of a run is removed before the next, outside the timing.  Printed:
the median wall, user and system times of each (with minimum and maximum and
the spread), the median of the paired speed-ups j1 / j2, and the load
average before and after.

Beside it, in the same alternation, the machine's own ceiling: a fixed amount
of pure computation done by one process, and split between two processes at
once.  On a machine that others share (or whose two processors are not two
whole cores) two processes may finish little sooner than one, and no program
can do better than that ratio there.

The cases go to --out (default WORK_DIR/.../cases); `make bench-all-times`
puts them in /dev/shm: 24 global cases are 4.2 GB a run, and on a disk that
writes back a few hundred megabytes a second the run would time the disk.

  all_times_bench.py BUILD_DIR WORK_DIR [--runs N] [--times N] [--res DEG] [--lm N] [--out DIR] [--regional]
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time


def run(argv, cwd):
    """Wall, user and system time of ARGV, from the rusage of its own process."""
    start = time.perf_counter()
    proc = subprocess.Popen(argv, cwd=cwd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    elapsed = time.perf_counter() - start
    code = os.waitstatus_to_exitcode(status)
    if code != 0:
        sys.exit(f"{' '.join(argv)} failed with status {code}")
    return elapsed, usage.ru_utime, usage.ru_stime


SPIN = "x = 0\nfor i in range({n}):\n    x = (x * 1103515245 + 12345) & 0x7fffffff\n"


def ceiling(work_items):
    """Wall time of WORK_ITEMS of pure computation in one process, then split between two at once."""
    start = time.perf_counter()
    subprocess.run([sys.executable, "-c", SPIN.format(n=work_items)], check=True)
    one = time.perf_counter() - start
    start = time.perf_counter()
    procs = [subprocess.Popen([sys.executable, "-c", SPIN.format(n=work_items // 2)]) for _ in range(2)]
    for p in procs:
        if p.wait() != 0:
            sys.exit("the computation of the ceiling failed")
    two = time.perf_counter() - start
    return one, two


def med(v):
    return f"{statistics.median(v):7.2f} s ({min(v):.2f}-{max(v):.2f}, spread {(max(v) - min(v)) / statistics.median(v) * 100:3.0f} %)"


def make_file(c2m, work, grib, times, res, lm, regional):
    parts = os.path.join(work, "parts")
    os.makedirs(parts, exist_ok=True)
    tmp = grib + ".partial"
    with open(tmp, "wb") as out:
        for k in range(times):
            day, hour = 1 + (6 * k) // 24, (6 * k) % 24
            date = f"202612{day:02d}{hour:02d}"
            case = os.path.join(parts, date)
            part = os.path.join(parts, date + ".grib2")
            grid = [] if regional else ["--global"]
            print(f"  {date}: conv2model synth {' '.join(grid)} --res {res} --lm {lm} --seed {k + 1} --grib", flush=True)
            subprocess.run([c2m, "synth", case, *grid, "--res", res, "--lm", lm, "--seed", str(k + 1),
                            "--date", date, "--grib", part], check=True, stdout=subprocess.DEVNULL)
            with open(part, "rb") as f:
                shutil.copyfileobj(f, out, 1 << 24)
            shutil.rmtree(case)
            os.remove(part)
    os.rename(tmp, grib)
    os.rmdir(parts)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("build")
    ap.add_argument("work")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--times", type=int, default=24)
    ap.add_argument("--res", default="0.5")
    ap.add_argument("--lm", default="26")
    ap.add_argument("--out", help="where the cases are made (removed after every run)")
    ap.add_argument("--regional", action="store_true",
                    help="synth's regional grid (Europe and the eastern North Atlantic) instead of the globe")
    args = ap.parse_args()
    c2m = os.path.abspath(os.path.join(args.build, "tools", "conv2model", "conv2model"))

    name = f"times{args.times}-{'r' if args.regional else 'g'}{args.res.replace('.', '')}-l{args.lm}"
    work = os.path.abspath(os.path.join(args.work, name))
    os.makedirs(work, exist_ok=True)
    grib = os.path.join(work, "times.grib2")
    if not os.path.exists(grib):
        print(f"generating {name}: {args.times} synth cases as GRIB 2, one file", flush=True)
        make_file(c2m, work, grib, args.times, args.res, args.lm, args.regional)
    out = os.path.abspath(args.out) if args.out else os.path.join(work, "cases")

    def ingest(jobs):
        shutil.rmtree(out, ignore_errors=True)  # outside the timing
        return run([c2m, "ingest", "--all-times", "--quiet", "-j", str(jobs), out, grib], work)

    load_before = os.getloadavg()
    ingest(2)  # untimed, so that both find the file cached
    one, two, spin = [], [], []
    for _ in range(args.runs):
        one.append(ingest(1))
        two.append(ingest(2))
        spin.append(ceiling(10_000_000))
    made = len(os.listdir(out))
    shutil.rmtree(out, ignore_errors=True)
    load_after = os.getloadavg()

    speedups = [a[0] / b[0] for a, b in zip(one, two)]
    print()
    print(f"GRIB file: {os.path.getsize(grib) / 1e6:.0f} MB, {args.times} validity times ({name}); "
          f"{made} cases made each run; {os.cpu_count()} cores; "
          f"load average {load_before[0]:.2f} before, {load_after[0]:.2f} after; {args.runs} runs each, alternating")
    for label, v in (("--all-times -j 1", one), ("--all-times -j 2", two)):
        print(f"{label}  wall {med([x[0] for x in v])}")
        print(f"{'':16}  user {med([x[1] for x in v])}")
        print(f"{'':16}  sys  {med([x[2] for x in v])}")
    print(f"speed-up -j 1 / -j 2: {statistics.median(speedups):.2f} (paired runs {min(speedups):.2f}-{max(speedups):.2f})")
    ceilings = [a / b for a, b in spin]
    print(f"the machine's ceiling, pure computation in one process against two: {statistics.median(ceilings):.2f} "
          f"(runs {min(ceilings):.2f}-{max(ceilings):.2f}; one process {statistics.median([a for a, _ in spin]):.2f} s)")
    print(f"cases made in {out}")


if __name__ == "__main__":
    main()

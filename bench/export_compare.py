#!/usr/bin/env python3
"""Times conv2model export --netcdf against the copy floor of its model data file.

The case is a global one made once with conv2model synth and converted with
conv2model convert (by default 0.25 degree, 1440 x 721 points, 26 levels: a
590 MB model data file).  The export (without compression) and the floor
(bench/read_write_floor: the model data file read once, in blocks of one
record, and the same number of bytes written once) run alternately, RUNS
times each after one untimed run of each, so that both see the same state of
the machine and the file in the page cache: first each writing a new output
(the earlier one removed, untimed), then each replacing its earlier output,
with a third run of the floor that writes beside its output and renames the
new file over it, as every output of the project is written.
Printed: the median wall and CPU times of each (with minimum and maximum),
their ratios, the export's peak resident memory, and whether the runs on new
outputs keep to the targets (ratio at most 1.5, at most 64 MB); the exit
status is 1 when they do not.  Then, for information, the time and size of a
compressed export.

  export_compare.py BUILD_DIR WORK_DIR [--runs N] [--res DEG] [--lm N] [--compress N]
"""
import argparse
import os
import statistics
import subprocess
import sys
import time

RATIO_TARGET = 1.5
MEMORY_TARGET_MB = 64.0


def timed(argv, cwd):
    """Wall time (s), peak resident memory (KiB) and CPU time (s) of one run."""
    start = time.perf_counter()
    proc = subprocess.Popen(argv, cwd=cwd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    elapsed = time.perf_counter() - start
    code = os.waitstatus_to_exitcode(status)
    if code != 0:
        sys.exit(f"{argv[0]} failed with status {code} in {cwd}")
    return elapsed, usage.ru_maxrss, usage.ru_utime + usage.ru_stime


def grid_of(case_dir):
    with open(os.path.join(case_dir, "InputModelInf.txt")) as f:
        f.readline()
        im, jm, lm = (int(x) for x in f.readline().split()[:3])
    return im, jm, lm


def spread(values):
    return f"{statistics.median(values):.3f} ({min(values):.3f}-{max(values):.3f})"


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("build")
    ap.add_argument("work")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--res", default="0.25")
    ap.add_argument("--lm", default="26")
    ap.add_argument("--compress", type=int, default=1,
                    help="deflate level of the informative compressed export (0: none)")
    args = ap.parse_args()
    c2m = os.path.abspath(os.path.join(args.build, "tools", "conv2model", "conv2model"))
    floor = os.path.abspath(os.path.join(args.build, "bench", "read_write_floor"))

    case_dir = os.path.abspath(os.path.join(args.work, f"export-{args.res}-{args.lm}"))
    data = os.path.join(case_dir, "case.bin.KVOwrk")
    if not os.path.exists(data):
        print(f"making the case: conv2model synth {case_dir} --global --res {args.res} --lm {args.lm}"
              " and conv2model convert", flush=True)
        subprocess.run([c2m, "synth", case_dir, "--global", "--res", args.res, "--lm", args.lm],
                       check=True, stdout=subprocess.DEVNULL)
        subprocess.run([c2m, "convert", "--quiet", os.path.join(case_dir, "case.bin")], check=True)
        os.remove(os.path.join(case_dir, "case.bin"))  # only the model data file is needed
    im, jm, lm = grid_of(case_dir)
    record = im * jm * 4

    export = [c2m, "export", "case.bin.KVOwrk", "--netcdf", "export.nc"]
    copy = [floor, "case.bin.KVOwrk", "floor.out", str(record)]
    outputs = [os.path.join(case_dir, name) for name in ("export.nc", "floor.out")]

    def remove_outputs():
        for path in outputs:
            if os.path.exists(path):
                os.remove(path)

    beside = [floor, "case.bin.KVOwrk", "beside.out", str(record), "--beside"]
    outputs.append(os.path.join(case_dir, "beside.out"))

    def alternate(programs, fresh):
        """RUNS alternating runs of each of PROGRAMS: lists of wall times, peak memories and CPU
        times per program.  FRESH: the outputs removed before each (untimed)."""
        walls, peaks, cpus = ([[] for _ in programs] for _ in range(3))
        for _ in range(args.runs):
            if fresh:
                remove_outputs()
            for n, argv in enumerate(programs):
                t, m, c = timed(argv, case_dir)
                walls[n].append(t)
                peaks[n].append(m)
                cpus[n].append(c)
        return walls, peaks, cpus

    def ratio_of(a, b):
        return statistics.median(a) / statistics.median(b)

    timed(export, case_dir)
    timed(copy, case_dir)
    (times, floors), (rss, _), (cpu, floor_cpu) = alternate([export, copy], fresh=True)
    ratio = ratio_of(times, floors)
    peak_mb = max(rss) / 1024
    size = os.path.getsize(data)
    nc_size = os.path.getsize(os.path.join(case_dir, "export.nc"))

    print()
    print(f"model data file {im}x{jm}x{lm}, {size / 1e6:.0f} MB; netCDF file {nc_size / 1e6:.0f} MB")
    print(f"{'':30} {'export --netcdf s':>24} {'copy floor s':>24} {'ratio':>6} {'peak RSS MB':>11}")
    print(f"{'new outputs':30} {spread(times):>24} {spread(floors):>24} {ratio:6.2f} {peak_mb:11.1f}")
    print(f"{'  CPU time (user + system)':30} {spread(cpu):>24} {spread(floor_cpu):>24} "
          f"{ratio_of(cpu, floor_cpu):6.2f}")
    (r_times, r_floors, r_beside), (r_rss, _, _), (r_cpu, r_floor_cpu, r_beside_cpu) = alternate(
        [export, copy, beside], fresh=False)
    print(f"{'replacing the earlier ones':30} {spread(r_times):>24} {spread(r_floors):>24} "
          f"{ratio_of(r_times, r_floors):6.2f} {max(r_rss) / 1024:11.1f}")
    print(f"{'  CPU time (user + system)':30} {spread(r_cpu):>24} {spread(r_floor_cpu):>24} "
          f"{ratio_of(r_cpu, r_floor_cpu):6.2f}")
    print(f"{'  floor written beside, renamed':30} {'':>24} {spread(r_beside):>24} "
          f"{ratio_of(r_times, r_beside):6.2f}")
    print(f"{'  CPU time (user + system)':30} {'':>24} {spread(r_beside_cpu):>24} "
          f"{ratio_of(r_cpu, r_beside_cpu):6.2f}")
    print(f"median (min-max) of {args.runs} alternating runs each; ratio = median export / median floor.")
    print("The export writes a new file beside the name and renames it over the earlier one, which")
    print("then gives up its pages; the floor truncates and rewrites its output in place, or (beside)")
    print("writes a new file and renames it over its earlier one as the export does.")
    ratio_ok = ratio <= RATIO_TARGET
    memory_ok = peak_mb <= MEMORY_TARGET_MB
    print(f"ratio {ratio:.2f} (new outputs) {'within' if ratio_ok else 'ABOVE'} the target {RATIO_TARGET}; "
          f"peak {peak_mb:.1f} MB {'within' if memory_ok else 'ABOVE'} the target {MEMORY_TARGET_MB:.0f} MB")

    if args.compress > 0:
        deflated = export + ["--compress", str(args.compress)]
        runs = [timed(deflated, case_dir) for _ in range(min(args.runs, 3))]
        packed = os.path.getsize(os.path.join(case_dir, "export.nc"))
        print(f"--compress {args.compress}: {spread([r[0] for r in runs])} s over {len(runs)} runs, "
              f"{packed / 1e6:.0f} MB ({packed / size:.2f} of the model data file), "
              f"peak RSS {max(r[1] for r in runs) / 1024:.1f} MB")

    remove_outputs()
    sys.exit(0 if ratio_ok and memory_ok else 1)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Times conv2model ingest of a netCDF file against its floor.

The case is a global synthetic one (conv2model synth --global --res RES --lm LM),
written once as netCDF in ERA5's newer layout: netCDF-4, 4-byte reals,
deflate level 1, one chunk a plane (case_to_netcdf).  The floor
(netcdf_read_floor) reads every variable whole with libnetcdf
(nc_get_var_float, each once) and does nothing else.  The two are run
alternately, RUNS times each, so that both see the same state of the
machine; the medians (with minimum and maximum), the median of the paired
ratios and ingest's peak resident memory are printed.

  netcdf_ingest_bench.py BUILD_DIR WORK_DIR [--runs N] [--res DEG] [--lm N] [--threads N]
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time


def timed(argv, cwd):
    """Wall time (s), peak resident memory (KiB) and processor time (s) of one run."""
    start = time.perf_counter()
    proc = subprocess.Popen(argv, cwd=cwd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    elapsed = time.perf_counter() - start
    code = os.waitstatus_to_exitcode(status)
    if code != 0:
        sys.exit(f"{argv[0]} failed with status {code} in {cwd}")
    return elapsed, usage.ru_maxrss, usage.ru_utime + usage.ru_stime


def med(v):
    return f"{statistics.median(v):.3f} s ({min(v):.3f}-{max(v):.3f})"


def spread(v):
    return (max(v) - min(v)) / statistics.median(v) * 100


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("build")
    ap.add_argument("work")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--res", default="0.25")
    ap.add_argument("--lm", default="26")
    ap.add_argument("--threads", default=None, help="ingest --threads (default: its own)")
    args = ap.parse_args()
    tool = lambda *p: os.path.abspath(os.path.join(args.build, *p))
    to_nc = tool("bench", "case_to_netcdf")
    floor, c2m = tool("bench", "netcdf_read_floor"), tool("tools", "conv2model", "conv2model")

    name = f"nc-g{args.res.replace('.', '')}-l{args.lm}"
    case_dir = os.path.abspath(os.path.join(args.work, name))
    nc = os.path.join(case_dir, "era5.nc")
    out = os.path.join(case_dir, "ingested")
    if not os.path.exists(nc):
        print(f"generating {name}: conv2model synth --global --res {args.res} --lm {args.lm}, then netCDF-4", flush=True)
        subprocess.run([c2m, "synth", case_dir, "--global", "--res", args.res, "--lm", args.lm], check=True,
                       stdout=subprocess.DEVNULL)
        subprocess.run([to_nc, case_dir, nc], check=True)

    ingest_argv = [c2m, "ingest", "--quiet"] + (["--threads", args.threads] if args.threads else []) + [out, nc]

    def ingest():
        shutil.rmtree(out, ignore_errors=True)  # outside the timing: no old case to free
        return timed(ingest_argv, case_dir)

    # One run of each first, untimed, so that both find the file cached.
    timed([floor, nc], case_dir)
    ingest()
    base, ing, rss, base_cpu, ing_cpu = [], [], [], [], []
    for _ in range(args.runs):
        t, _, c = timed([floor, nc], case_dir)
        base.append(t)
        base_cpu.append(c)
        t, m, c = ingest()
        ing.append(t)
        rss.append(m)
        ing_cpu.append(c)
    ratios = [i / b for i, b in zip(ing, base)]
    print()
    print(f"netCDF file: {os.path.getsize(nc) / 1e6:.0f} MB, {name}; case made: "
          f"{os.path.getsize(os.path.join(out, 'case.bin')) / 1e6:.0f} MB; {os.cpu_count()} cores; "
          f"load average {os.getloadavg()[0]:.2f}")
    print(f"floor (nc_get_var_float of each variable)  {med(base)}   spread {spread(base):.0f} %   "
          f"processor {statistics.median(base_cpu):.3f} s")
    print(f"conv2model ingest                          {med(ing)}   spread {spread(ing):.0f} %   "
          f"processor {statistics.median(ing_cpu):.3f} s")
    print(f"ratio ingest / floor                       {statistics.median(ratios):.2f} "
          f"(paired runs {min(ratios):.2f}-{max(ratios):.2f})")
    print(f"ingest peak resident memory                {max(rss) / 1024:.1f} MB")


if __name__ == "__main__":
    main()

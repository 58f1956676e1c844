#!/usr/bin/env python3
"""Times conv2model ingest against its floor on a large GRIB file.

The case is a global synthetic one (conv2model synth --global --res RES --lm LM),
written once as GRIB 2 with 16-bit simple packing (case_to_grib).  The
floor (grib_decode_floor) decodes every message's values with ecCodes on
one thread and does nothing else.  The two are run alternately, RUNS times
each, so that both see the same state of the machine; the medians (with
minimum and maximum), the median of the paired ratios and ingest's peak
resident memory are printed, then the converter's time on the case ingest
made, and how closely the converter gives back the file's own q
(ingest_humidity_check).  Beside them, in the same alternation, the
machine's own ceiling for two threads of work: a fixed amount of pure
computation in one process, and split between two at once; on a machine
shared with others it can be far below 2, and ingest's two threads gain no
more than that over the one-threaded floor.

  ingest_bench.py BUILD_DIR WORK_DIR [--runs N] [--res DEG] [--lm N]
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time


def timed(argv, cwd, stdin_text=None):
    """Wall time (s), peak resident memory (KiB) and processor time (s) of one run."""
    stdin = subprocess.PIPE if stdin_text is not None else subprocess.DEVNULL
    start = time.perf_counter()
    proc = subprocess.Popen(argv, cwd=cwd, stdin=stdin, stdout=subprocess.DEVNULL)
    if stdin_text is not None:
        proc.stdin.write(stdin_text.encode())
        proc.stdin.close()
    _, status, usage = os.wait4(proc.pid, 0)
    elapsed = time.perf_counter() - start
    code = os.waitstatus_to_exitcode(status)
    if code != 0:
        sys.exit(f"{argv[0]} failed with status {code} in {cwd}")
    return elapsed, usage.ru_maxrss, usage.ru_utime + usage.ru_stime


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
    return one, time.perf_counter() - start


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
    args = ap.parse_args()
    tool = lambda *p: os.path.abspath(os.path.join(args.build, *p))
    to_grib = tool("bench", "case_to_grib")
    floor, c2m = tool("bench", "grib_decode_floor"), tool("tools", "conv2model", "conv2model")
    check = tool("bench", "ingest_humidity_check")

    name = f"grib-g{args.res.replace('.', '')}-l{args.lm}"
    case_dir = os.path.abspath(os.path.join(args.work, name))
    grib = os.path.join(case_dir, "case.grib2")
    out = os.path.join(case_dir, "ingested")
    if not os.path.exists(grib):
        print(f"generating {name}: conv2model synth --global --res {args.res} --lm {args.lm}, then GRIB 2", flush=True)
        subprocess.run([c2m, "synth", case_dir, "--global", "--res", args.res, "--lm", args.lm], check=True,
                       stdout=subprocess.DEVNULL)
        subprocess.run([to_grib, case_dir, "case.bin", grib], check=True)

    def ingest():
        shutil.rmtree(out, ignore_errors=True)  # outside the timing: no old case to free
        return timed([c2m, "ingest", "--quiet", out, grib], case_dir)

    # One run of each first, untimed, so that both find the file cached.
    timed([floor, grib], case_dir)
    ingest()
    base, ing, rss, base_cpu, ing_cpu, spin = [], [], [], [], [], []
    for _ in range(args.runs):
        spin.append(ceiling(5_000_000))
        t, _, c = timed([floor, grib], case_dir)
        base.append(t)
        base_cpu.append(c)
        t, m, c = ingest()
        ing.append(t)
        rss.append(m)
        ing_cpu.append(c)
    conv = []
    for _ in range(3):
        t, _, _ = timed([c2m, "convert", "--quiet", os.path.join(out, "case.bin")], case_dir)
        conv.append(t)
    ratios = [i / b for i, b in zip(ing, base)]
    print()
    print(f"GRIB file: {os.path.getsize(grib) / 1e6:.0f} MB, {name}; case made: "
          f"{os.path.getsize(os.path.join(out, 'case.bin')) / 1e6:.0f} MB; {os.cpu_count()} cores; "
          f"load average {os.getloadavg()[0]:.2f}")
    print(f"floor (decode on one thread)  {med(base)}   spread {spread(base):.0f} %   "
          f"processor {statistics.median(base_cpu):.3f} s")
    print(f"conv2model ingest             {med(ing)}   spread {spread(ing):.0f} %   "
          f"processor {statistics.median(ing_cpu):.3f} s")
    print(f"ratio ingest / floor          {statistics.median(ratios):.2f} (paired runs {min(ratios):.2f}-{max(ratios):.2f})")
    print(f"processor ingest / floor      {statistics.median(ing_cpu) / statistics.median(base_cpu):.2f}")
    print(f"ingest peak resident memory   {max(rss) / 1024:.1f} MB")
    ceilings = [a / b for a, b in spin]
    print(f"machine's ceiling for two     {statistics.median(ceilings):.2f} (runs {min(ceilings):.2f}-{max(ceilings):.2f}): "
          f"pure computation in one process against two")
    print(f"conv2model convert on it      {med(conv)}")
    print()
    subprocess.run([check, case_dir], check=True)


if __name__ == "__main__":
    main()

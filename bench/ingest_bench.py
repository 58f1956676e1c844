#!/usr/bin/env python3
"""Times conv2model ingest against its floor and its peers on large GRIB files.

The case is a global synthetic one (conv2model synth --global --res RES --lm LM),
written once as GRIB 2 with 16-bit simple packing (case_to_grib, ERA5's
packing), and repacked once with grib_set into the packings of the other
providers: complex packing with spatial differencing (GFS's), CCSDS (ECMWF's
open data) and JPEG 2000.  For each packing, in one alternation, RUNS times
after a run of each untimed (so that every one finds the file cached):

  floor    grib_decode_floor: every message's values decoded by ecCodes on one
           thread, nothing written;
  ingest   conv2model ingest of the file;
  write    dd of the case's own case.bin to a new file: what writing the case
           costs this machine, which ingest pays and the floor does not;
  cdo      cdo -f nc copy of the file, what a user would run instead;
  python   grib_to_float32.py: ecCodes' Python module reading each message's
           values and writing them as 4-byte reals (Debian's python3-eccodes,
           unpacked into BUILD_DIR/python-eccodes by scripts/python-eccodes.sh,
           as Debian 12 cannot install it beside libcurl4-openssl-dev).

Printed for each packing: the file's size, the median wall time of each (with
minimum and maximum), the median of the paired ratios to the floor of the same
round, and each one's peak resident memory.  Beside them, in the same
alternation, the machine's own ceiling for two threads of work: a fixed amount
of pure computation in one process, and split between two at once; on a
machine shared with others it can be far below 2, and ingest's two threads
gain no more than that over the one-threaded floor.  Then the converter's time
on the case ingest made of the simple packing, and how closely the converter
gives back the file's own q (ingest_humidity_check).

  ingest_bench.py BUILD_DIR WORK_DIR [--runs N] [--res DEG] [--lm N]
                  [--packings simple,complex,ccsds,jpeg] [--no-peers]
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time


def timed(argv, cwd, stdin_text=None, quiet=False, env=None):
    """Wall time (s), peak resident memory (KiB) and processor time (s) of one run."""
    stdin = subprocess.PIPE if stdin_text is not None else subprocess.DEVNULL
    start = time.perf_counter()
    proc = subprocess.Popen(argv, cwd=cwd, stdin=stdin, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL if quiet else None, env=env)
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


PACKINGS = {
    "simple": "grid_simple",
    "complex": "grid_complex_spatial_differencing",
    "ccsds": "grid_ccsds",
    "jpeg": "grid_jpeg",
}


def made_files(args, c2m, to_grib, packings):
    """The case's directory and its GRIB file in each packing, made when missing."""
    name = f"grib-g{args.res.replace('.', '')}-l{args.lm}"
    case_dir = os.path.abspath(os.path.join(args.work, name))
    simple = os.path.join(case_dir, "case.grib2")
    if not os.path.exists(simple):
        print(f"generating {name}: conv2model synth --global --res {args.res} --lm {args.lm}, then GRIB 2", flush=True)
        subprocess.run([c2m, "synth", case_dir, "--global", "--res", args.res, "--lm", args.lm], check=True,
                       stdout=subprocess.DEVNULL)
        subprocess.run([to_grib, case_dir, "case.bin", simple], check=True)
    files = {}
    for p in packings:
        f = simple if p == "simple" else os.path.join(case_dir, f"case-{p}.grib2")
        if not os.path.exists(f):
            print(f"repacking: grib_set -r -s packingType={PACKINGS[p]}", flush=True)
            subprocess.run(["grib_set", "-r", "-s", f"packingType={PACKINGS[p]}", simple, f + ".part"], check=True)
            os.rename(f + ".part", f)
        files[p] = f
    return case_dir, files


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("build")
    ap.add_argument("work")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--res", default="0.25")
    ap.add_argument("--lm", default="26")
    ap.add_argument("--packings", default="simple,complex,ccsds,jpeg")
    ap.add_argument("--no-peers", action="store_true", help="time the floor and ingest only")
    args = ap.parse_args()
    packings = args.packings.split(",")
    for p in packings:
        if p not in PACKINGS:
            sys.exit(f"no packing {p}: one of {', '.join(PACKINGS)}")
    tool = lambda *p: os.path.abspath(os.path.join(args.build, *p))
    to_grib = tool("bench", "case_to_grib")
    floor, c2m = tool("bench", "grib_decode_floor"), tool("tools", "conv2model", "conv2model")
    check = tool("bench", "ingest_humidity_check")
    here = os.path.dirname(os.path.abspath(__file__))
    peer = os.path.join(here, "grib_to_float32.py")
    python_path = None
    if not args.no_peers:
        site = subprocess.run([os.path.join(here, "..", "scripts", "python-eccodes.sh"),
                               os.path.join(os.path.abspath(args.build), "python-eccodes")],
                              check=True, capture_output=True, text=True).stdout.strip()
        python_path = dict(os.environ, PYTHONPATH=site)
    case_dir, files = made_files(args, c2m, to_grib, packings)
    scratch = os.path.join(case_dir, "out")
    os.makedirs(scratch, exist_ok=True)

    def ways(grib):
        """Each way of reading GRIB: its name and the function that times one run."""
        out = os.path.join(case_dir, "ingested")

        def ingest():
            shutil.rmtree(out, ignore_errors=True)  # outside the timing: no old case to free
            return timed([c2m, "ingest", "--quiet", out, grib], case_dir)

        def fresh(path, argv, env=None):
            def run():
                if os.path.exists(path):
                    os.remove(path)
                return timed(argv, case_dir, quiet=True, env=env)  # cdo's warnings of names used twice
            return run

        # The machine's own cost of writing a new file of the case's size
        # (the 0.7 GB case.bin synth made, cached), which ingest pays and
        # the decode floor does not.
        copy = os.path.join(scratch, "write.bin")
        write = fresh(copy, ["dd", "if=case.bin", "of=" + copy, "bs=4M", "status=none"])
        w = [("floor", lambda: timed([floor, grib], case_dir)), ("ingest", ingest), ("write", write)]
        if not args.no_peers:
            nc = os.path.join(scratch, "cdo.nc")
            w.append(("cdo", fresh(nc, ["cdo", "-s", "-f", "nc", "copy", grib, nc])))
            raw = os.path.join(scratch, "python.bin")
            w.append(("python", fresh(raw, ["/usr/bin/python3", peer, grib, raw], python_path)))
        return w

    plan = {p: ways(files[p]) for p in packings}
    for p in packings:  # once each, untimed
        for _, run in plan[p]:
            run()
    wall = {p: {n: [] for n, _ in plan[p]} for p in packings}
    rss = {p: {n: [] for n, _ in plan[p]} for p in packings}
    spin = []
    for _ in range(args.runs):
        spin.append(ceiling(5_000_000))
        for p in packings:
            for n, run in plan[p]:
                t, m, _ = run()
                wall[p][n].append(t)
                rss[p][n].append(m)
    print()
    print(f"{os.cpu_count()} cores; load average {os.getloadavg()[0]:.2f}; {args.runs} rounds; "
          f"{args.res}-degree global case of {args.lm} levels")
    for p in packings:
        print(f"\n{PACKINGS[p]}: {os.path.getsize(files[p]) / 1e6:.0f} MB")
        base = wall[p]["floor"]
        for n in wall[p]:
            v = wall[p][n]
            ratio = [a / b for a, b in zip(v, base)]
            print(f"  {n:<8} {med(v)}   spread {spread(v):3.0f} %   / floor {statistics.median(ratio):5.2f} "
                  f"({min(ratio):.2f}-{max(ratio):.2f})   peak {max(rss[p][n]) / 1024:6.1f} MB")
        if not args.no_peers:
            ing = wall[p]["ingest"]
            print(f"  cdo / ingest {statistics.median([c / i for c, i in zip(wall[p]['cdo'], ing)]):.2f}, "
                  f"python / ingest {statistics.median([c / i for c, i in zip(wall[p]['python'], ing)]):.2f}")
    ceilings = [a / b for a, b in spin]
    print(f"\nmachine's ceiling for two     {statistics.median(ceilings):.2f} (runs {min(ceilings):.2f}-{max(ceilings):.2f}): "
          f"pure computation in one process against two")
    if "simple" in packings:
        out = os.path.join(case_dir, "ingested")
        shutil.rmtree(out, ignore_errors=True)
        timed([c2m, "ingest", "--quiet", out, files["simple"]], case_dir)
        conv = [timed([c2m, "convert", "--quiet", os.path.join(out, "case.bin")], case_dir)[0] for _ in range(3)]
        print(f"conv2model convert on it      {med(conv)}")
        print()
        subprocess.run([check, case_dir], check=True)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Times input_driver against the copy floor on generated cases.

For each case the two are run alternately, RUNS times each, so that both see
the same state of the machine; the medians, their ratio and the converter's
peak resident memory are printed.

  compare.py BUILD_DIR WORK_DIR [--runs N] [--case NAME:IM:JM:LM:ARGS ...]
"""
import argparse
import os
import statistics
import subprocess
import sys
import time


def timed(argv, cwd, stdin_text=None):
    """Wall time (s) and peak resident memory (KiB) of one run."""
    stdin = subprocess.PIPE if stdin_text is not None else subprocess.DEVNULL
    start = time.perf_counter()
    proc = subprocess.Popen(argv, cwd=cwd, stdin=stdin, stdout=subprocess.DEVNULL)
    if stdin_text is not None:
        proc.stdin.write(stdin_text.encode())
        proc.stdin.close()
    _, status, usage = os.wait4(proc.pid, 0)
    elapsed = time.perf_counter() - start
    proc.returncode = os.waitstatus_to_exitcode(status)
    if proc.returncode != 0:
        sys.exit(f"{argv[0]} failed with status {proc.returncode} in {cwd}")
    return elapsed, usage.ru_maxrss


def grid_of(case_dir):
    with open(os.path.join(case_dir, "InputModelInf.txt")) as f:
        f.readline()
        im, jm, lm = (int(x) for x in f.readline().split()[:3])
    return im, jm, lm


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("build")
    ap.add_argument("work")
    ap.add_argument("--runs", type=int, default=7)
    ap.add_argument("--case", action="append", default=[],
                    help="NAME=options of conv2model synth, e.g. g025='--global --res 0.25 --lm 26'")
    args = ap.parse_args()
    driver = os.path.abspath(os.path.join(args.build, "src", "input_driver"))
    floor = os.path.abspath(os.path.join(args.build, "bench", "copy_floor"))
    synth = [os.path.abspath(os.path.join(args.build, "tools", "conv2model", "conv2model")), "synth"]

    results = []
    for case in args.case:
        name, _, options = case.partition("=")
        case_dir = os.path.abspath(os.path.join(args.work, name))
        if not os.path.exists(os.path.join(case_dir, "case.bin")):
            print(f"generating {name}: conv2model synth {case_dir} {options}", flush=True)
            subprocess.run(synth + [case_dir] + options.split(), check=True, stdout=subprocess.DEVNULL)
        im, jm, lm = grid_of(case_dir)
        conv, base, rss = [], [], []
        # One run of each first, untimed, so that both find the files cached.
        timed([driver], case_dir, "case.bin\nbench\n")
        timed([floor, "case.bin", "floor.out", str(im), str(jm), str(lm)], case_dir)
        for _ in range(args.runs):
            t, m = timed([driver], case_dir, "case.bin\nbench\n")
            conv.append(t)
            rss.append(m)
            t, _ = timed([floor, "case.bin", "floor.out", str(im), str(jm), str(lm)], case_dir)
            base.append(t)
        ratios = [c / b for c, b in zip(conv, base)]
        size = os.path.getsize(os.path.join(case_dir, "case.bin"))
        results.append((name, im, jm, lm, size, conv, base, ratios, max(rss)))

    print()
    print(f"{'case':8} {'grid':>16} {'input MB':>9} {'input_driver s':>22} {'copy floor s':>22} "
          f"{'ratio':>6} {'peak RSS MB':>11}")
    for name, im, jm, lm, size, conv, base, ratios, rss in results:
        def med(v):
            return f"{statistics.median(v):.3f} ({min(v):.3f}-{max(v):.3f})"
        print(f"{name:8} {f'{im}x{jm}x{lm}':>16} {size / 1e6:9.0f} {med(conv):>22} {med(base):>22} "
              f"{statistics.median(conv) / statistics.median(base):6.2f} {rss / 1024:11.1f}")
    print(f"\nmedian (min-max) of {args.runs} alternating runs each; ratio = median input_driver / "
          f"median copy floor")


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Times input_driver against the copy floor on generated cases.

For each case the two programs are run alternately, RUNS times each, so that
both see the same state of the machine:

  converter   input_driver, where no outputs of an earlier run stand: the
              first conversion of a case (the outputs of the run before are
              removed, untimed, just before it);
  copy floor  bench/copy_floor: the input read record by record and
              5 x lm + 12 records of the same length written in place over
              its output of the run before.

Before each timed run everything written so far is flushed to the disk
(sync, untimed).  The medians (with minimum and maximum) of wall, user and
system time, the ratio of each median wall time to the floor's in the same
series, the spread of the wall times and the peak resident memory of one
run are printed.  A case named with --replacing-case is timed again with the
converter's outputs of the run before standing, so that each run replaces
them (the file system then frees the old files inside the timed run); one
named with --busy-case is timed again while a 'yes > /dev/null', started
before its series and stopped after it, keeps another core busy.

  compare.py BUILD_DIR WORK_DIR [--runs N] [--case NAME=OPTIONS ...]
             [--replacing-case NAME ...] [--busy-case NAME ...]
             [--target ROW=RATIO ...]

Cases are generated into WORK_DIR/NAME once (OPTIONS are the generator's
options, GENERATOR below) and kept; the outputs are removed after each
series.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

# The generator of synthetic cases, relative to the build directory, with
# any arguments that come before the case directory.
GENERATOR = ["tools/conv2model/conv2model", "synth"]


class Times:
    """Wall, user and system times (s) of a series of runs."""

    def __init__(self):
        self.wall, self.user, self.sys = [], [], []
        self.rss = None  # peak resident memory (KiB) of one run, if measured

    def add(self, wall, usage):
        self.wall.append(wall)
        self.user.append(usage.ru_utime)
        self.sys.append(usage.ru_stime)

    def median(self):
        return statistics.median(self.wall)

    def spread(self):
        """(max - min) / median of the wall times, in percent."""
        return 100.0 * (max(self.wall) - min(self.wall)) / self.median()


def timed(argv, cwd, stdin_text=None):
    """Wall time (s) and resource usage of one run, which must succeed."""
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
    return elapsed, usage


def peak_rss(argv, cwd, stdin_text=None):
    """Peak resident memory (KiB) of one run, untimed, through GNU time:
    the resource usage of a child of this script would count the script's
    own memory, which the child holds until it starts the program."""
    if not os.path.exists("/usr/bin/time"):
        return None
    r = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", "/dev/stderr"] + argv, cwd=cwd,
                       input=(stdin_text or "").encode(), stdout=subprocess.DEVNULL,
                       stderr=subprocess.PIPE, check=True)
    return int(r.stderr.decode().split()[-1])


def grid_of(case_dir):
    with open(os.path.join(case_dir, "InputModelInf.txt")) as f:
        f.readline()
        im, jm, lm = (int(x) for x in f.readline().split()[:3])
    return im, jm, lm


OUTPUTS = ("case.bin.KVOwrk", "case.bin.KVOwrk.gdsinfo", "floor.out")


def remove_outputs(case_dir, names=OUTPUTS):
    for name in names:
        try:
            os.remove(os.path.join(case_dir, name))
        except FileNotFoundError:
            pass


def make_case(build, work, name, options):
    """The case directory, generated if it is not there yet."""
    case_dir = os.path.abspath(os.path.join(work, name))
    if os.path.exists(os.path.join(case_dir, "case.bin")):
        return case_dir
    generator = [os.path.abspath(os.path.join(build, GENERATOR[0]))] + GENERATOR[1:]
    print(f"generating {name}: {' '.join(GENERATOR)} {case_dir} {options}", flush=True)
    subprocess.run(generator + [case_dir] + options.split(), check=True, stdout=subprocess.DEVNULL)
    return case_dir


def enough_space(case_dir):
    """Whether the file system holds the outputs of the case beside it: the
    model data file three times (the converter's, the one it replaces and
    the floor's), with a margin of a tenth."""
    im, jm, lm = grid_of(case_dir)
    need = 3 * (5 * lm + 12) * im * jm * 4 * 1.1
    free = shutil.disk_usage(case_dir).free
    if free < need:
        print(f"{case_dir}: skipped, {free / 1e9:.1f} GB free, its outputs need {need / 1e9:.1f} GB")
    return free >= need


def series(build, case_dir, runs, replacing=False):
    """Alternating runs of the converter and of the floor.  The converter
    finds no earlier outputs, or (REPLACING) its own outputs of the run
    before."""
    driver = os.path.abspath(os.path.join(build, "src", "input_driver"))
    floor = os.path.abspath(os.path.join(build, "bench", "copy_floor"))
    im, jm, lm = grid_of(case_dir)
    floor_argv = [floor, "case.bin", "floor.out", str(im), str(jm), str(lm)]
    stdin_text = "case.bin\nbench\n"
    conv, base = Times(), Times()
    remove_outputs(case_dir)
    # One run of each first, untimed, so that every one finds the input
    # cached and the floor finds its output to write over.
    timed([driver], case_dir, stdin_text)
    timed(floor_argv, case_dir)
    conv.rss = peak_rss([driver], case_dir, stdin_text)
    base.rss = peak_rss(floor_argv, case_dir)
    for _ in range(runs):
        # Each run starts with nothing of the runs before left to write back
        # to the disk, so that it neither pays for their writing nor is held
        # back by the system's limit on data not yet written.
        os.sync()
        base.add(*timed(floor_argv, case_dir))
        os.sync()
        # The earlier outputs go just before the run, so that the pages the
        # system gives the new files are ones it has just freed.  A virtual
        # machine that hands idle free memory back to its host (as this
        # project's build machines do, after about two seconds) pays a fault
        # in the host at the first touch of any other page, which can cost
        # ten times the write itself; the floor, writing in place, takes no
        # new pages at all.
        if not replacing:
            remove_outputs(case_dir, OUTPUTS[:2])
        conv.add(*timed([driver], case_dir, stdin_text))
    remove_outputs(case_dir)
    return conv, base


def med(v):
    return f"{statistics.median(v):.3f} ({min(v):.3f}-{max(v):.3f})"


def report(rows, runs, targets):
    print()
    print(f"{'case':15} {'grid':>15} {'in GB':>6} {'program':11} {'wall s':>21} {'user s':>7} "
          f"{'sys s':>7} {'ratio':>6} {'spread':>7} {'RSS MB':>7}")
    for name, grid, size, conv, base in rows:
        floor_wall = base.median()
        for label, t in (("converter", conv), ("copy floor", base)):
            print(f"{name:15} {grid:>15} {size / 1e9:6.2f} {label:11} {med(t.wall):>21} "
                  f"{statistics.median(t.user):7.3f} {statistics.median(t.sys):7.3f} "
                  f"{t.median() / floor_wall:6.2f} {t.spread():6.0f}% "
                  f"{'' if t.rss is None else f'{t.rss / 1024:7.1f}':>7}")
    print(f"\nmedians (min-max) of {runs} alternating runs each; ratio = median wall time / "
          f"median wall time of the copy floor in the same series; spread = (max - min) / median "
          f"of the wall times; RSS = peak resident memory of one run (under /usr/bin/time)")
    for name, grid, size, conv, base in rows:
        if name in targets:
            ratio = conv.median() / base.median()
            verdict = "within" if ratio <= targets[name] else "ABOVE"
            print(f"target {name}: converter at most {targets[name]:.2f} x the floor: "
                  f"{ratio:.2f}, {verdict}")


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("build")
    ap.add_argument("work")
    ap.add_argument("--runs", type=int, default=7)
    ap.add_argument("--case", action="append", default=[],
                    help="NAME=generator options, e.g. g025='--global --res 0.25 --lm 26'")
    ap.add_argument("--busy-case", action="append", default=[],
                    help="NAME of a --case timed again with another core kept busy")
    ap.add_argument("--replacing-case", action="append", default=[],
                    help="NAME of a --case timed again with the outputs of the run before standing")
    ap.add_argument("--target", action="append", default=[],
                    help="ROW=RATIO, e.g. 'g025 busy=1.4': says whether the row's ratio is within")
    args = ap.parse_args()
    targets = {}
    for t in args.target:
        row, _, ratio = t.rpartition("=")
        targets[row] = float(ratio)
    os.makedirs(args.work, exist_ok=True)

    rows = []
    cases = {}

    def add_row(label, case_dir, conv, base):
        im, jm, lm = grid_of(case_dir)
        size = os.path.getsize(os.path.join(case_dir, "case.bin"))
        rows.append((label, f"{im}x{jm}x{lm}", size, conv, base))

    for case in args.case:
        name, _, options = case.partition("=")
        case_dir = make_case(args.build, args.work, name, options)
        if not enough_space(case_dir):
            continue
        cases[name] = case_dir
        add_row(name, case_dir, *series(args.build, case_dir, args.runs))

    for name in args.replacing_case:
        if name not in cases:
            sys.exit(f"--replacing-case {name}: not among the cases timed")
        add_row(name + " replacing", cases[name],
                *series(args.build, cases[name], args.runs, replacing=True))

    for name in args.busy_case:
        if name not in cases:
            sys.exit(f"--busy-case {name}: not among the cases timed")
        busy = subprocess.Popen(["yes"], stdout=subprocess.DEVNULL)
        try:
            time.sleep(0.2)
            conv, base = series(args.build, cases[name], args.runs)
        finally:
            busy.terminate()
            busy.wait()
        add_row(name + " busy", cases[name], conv, base)

    report(rows, args.runs, targets)


if __name__ == "__main__":
    main()

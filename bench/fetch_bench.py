#!/usr/bin/env python3
"""conv2model fetch against the whole file and against curl, from a local server.

The file is a GFS-like one: a global synthetic case (conv2model synth
--global --res RES --lm LM --grib, 16-bit packing) with, beside each
level's temperature, ten messages no case needs (as GFS's vertical
velocity, vorticity, cloud and ozone fields are), and its index in NCEP's
format; generated once into WORK_DIR/fetch-mirror.  nginx (nginx-light)
serves it on a free port of 127.0.0.1 for the time of the benchmark.

It prints the bytes and requests of a case against downloading the whole
file (from the server's log), and the wall times, alternately and RUNS
times each, medians with minimum and maximum, of
  fetch: conv2model fetch --no-cache --rate 0 (index, ranges, the case made),
  ingest: conv2model ingest of the messages fetch downloaded (the case alone),
  curl:  one curl downloading the same ranges, as many at once (-Z),
  whole: curl downloading the whole file.

  fetch_bench.py BUILD_DIR WORK_DIR [--runs N] [--res DEG] [--lm N]
"""
import argparse
import os
import re
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import time

EXTRAS = ["VVEL", "DZDT", "ABSV", "CLMR", "ICMR", "RWMR", "SNMR", "GRLE", "O3MR", "TCDC"]
NCEP = {"129": "HGT", "157": "RH", "133": "SPFH", "130": "TMP", "131": "UGRD", "132": "VGRD",
        "172": "LAND", "151": "PRMSL", "134": "PRES", "139": "TSOIL", "170": "TSOIL", "183": "TSOIL",
        "236": "TSOIL", "39": "SOILW", "40": "SOILW", "41": "SOILW", "42": "SOILW"}
CYCLE = "2024011500"


def messages(data):
    """The messages of a GRIB 2 file, by the lengths their section 0 states."""
    out, at = [], 0
    while at + 16 <= len(data):
        total = int.from_bytes(data[at + 8:at + 16], "big")
        out.append(data[at:at + total])
        at += total
    return out


def level_words(kind, level, top, bottom):
    if kind == "isobaricInhPa":
        return f"{level} mb"
    if kind == "surface":
        return "surface"
    if kind == "meanSea":
        return "mean sea level"
    return f"{top:g}-{bottom:g} m below ground"


def make_mirror(c2m, work, res, lm):
    """The GFS-like file and its index below WORK/fetch-mirror; the file's path below it."""
    root = os.path.join(work, "fetch-mirror")
    word = {"0.25": "0p25", "0.5": "0p50", "1": "1p00"}[res]
    path = f"gfs.{CYCLE[:8]}/00/atmos/gfs.t00z.pgrb2.{word}.f000"
    full = os.path.join(root, path)
    if os.path.exists(full + ".idx"):
        return root, path
    case = os.path.join(work, f"fetch-case-{word}")
    grib = os.path.join(work, f"fetch-case-{word}.grib2")
    subprocess.run([c2m, "synth", "--global", "--res", res, "--lm", str(lm), "--date", CYCLE, "--grib", grib, case],
                   check=True, stdout=subprocess.DEVNULL)
    keys = subprocess.run(["grib_ls", "-p", "paramId,typeOfLevel,level,scaledValueOfFirstFixedSurface,"
                           "scaledValueOfSecondFixedSurface", grib], check=True, capture_output=True, text=True)
    rows = [l.split() for l in keys.stdout.splitlines()[2:] if len(l.split()) == 5 and l.split()[0].isdigit()]
    parts = messages(open(grib, "rb").read())
    if len(rows) != len(parts):
        sys.exit("grib_ls and the file disagree on the messages")
    os.makedirs(os.path.dirname(full), exist_ok=True)
    idx, offset, n = [], 0, 0
    with open(full + ".part", "wb") as f:
        for (pid, kind, level, top, bottom), m in zip(rows, parts):
            name = NCEP.get(pid, "VAR" + pid)
            if pid == "129" and kind == "surface":
                name = "HGT"
            words = level_words(kind, level, int(top) / 100 if top.isdigit() else 0,
                                int(bottom) / 100 if bottom.isdigit() else 0)
            for extra in [name] + (EXTRAS if pid == "130" else []):
                n += 1
                idx.append(f"{n}:{offset}:d={CYCLE}:{extra}:{words}:anl:")
                f.write(m)
                offset += len(m)
    with open(full + ".idx", "w") as f:
        f.write("\n".join(idx) + "\n")
    os.rename(full + ".part", full)
    return root, path


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def start_nginx(work, root):
    d = os.path.join(work, "fetch-nginx")
    shutil.rmtree(d, ignore_errors=True)
    os.makedirs(os.path.join(d, "temp"))
    port = free_port()
    with open(os.path.join(d, "nginx.conf"), "w") as f:
        f.write(f"daemon off;\nmaster_process off;\npid {d}/nginx.pid;\nerror_log {d}/error.log;\n"
                "events { worker_connections 64; }\nhttp {\n"
                "  log_format b '$request_method $uri $status $http_range $body_bytes_sent';\n"
                f"  access_log {d}/access.log b;\n  client_body_temp_path {d}/temp/b;\n"
                f"  proxy_temp_path {d}/temp/p;\n  fastcgi_temp_path {d}/temp/f;\n"
                "  keepalive_requests 10000;\n"
                f"  server {{ listen 127.0.0.1:{port}; root {root}; }}\n}}\n")
    proc = subprocess.Popen(["/usr/sbin/nginx", "-e", f"{d}/error.log", "-p", d, "-c", f"{d}/nginx.conf"])
    for _ in range(500):
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return proc, port, os.path.join(d, "access.log")
        except OSError:
            time.sleep(0.01)
    proc.kill()
    sys.exit("nginx did not start (scripts/install-deps.sh installs nginx-light)")


def log_since(log, start):
    with open(log) as f:
        lines = f.read().splitlines()[start:]
    return [l.split() for l in lines]


def timed(argv, cwd):
    start = time.perf_counter()
    subprocess.run(argv, cwd=cwd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start


def summary(name, times):
    return f"  {name:6s} median {statistics.median(times):7.3f} s  (min {min(times):.3f}, max {max(times):.3f})"


def main():
    p = argparse.ArgumentParser()
    p.add_argument("build")
    p.add_argument("work")
    p.add_argument("--runs", type=int, default=5)
    p.add_argument("--res", default="0.5")
    p.add_argument("--lm", type=int, default=26)
    a = p.parse_args()
    c2m = os.path.abspath(os.path.join(a.build, "tools", "conv2model", "conv2model"))
    work = os.path.abspath(a.work)
    os.makedirs(work, exist_ok=True)
    root, path = make_mirror(c2m, work, a.res, a.lm)
    size = os.path.getsize(os.path.join(root, path))
    nginx, port, log = start_nginx(work, root)
    url = f"http://127.0.0.1:{port}"
    out = os.path.join(work, "fetch-out")
    fetch = [c2m, "fetch", "--quiet", "--no-cache", "--keep-grib", "--rate", "0", "--res", a.res, "--cycle", CYCLE,
             "--root", url]
    ingest = [c2m, "ingest", "--quiet", os.path.join(work, "fetch-ingest"), os.path.join(out, "source.grib2")]
    try:
        dry = subprocess.run(fetch + ["--dry-run", out], check=True, capture_output=True, text=True).stdout
        ranges = re.findall(r"^  bytes (\d+)-(\d*) ", dry, re.M)
        curl = ["curl", "-s", "-Z", "--parallel-max", "4"]
        for first, last in ranges:
            curl += ["-s", "-r", f"{first}-{last}", f"{url}/{path}", "-o", "/dev/null", "--next"]
        curl = curl[:-1]
        mark = len(open(log).read().splitlines())
        timed(fetch + [out], work)
        served = log_since(log, mark)
        grib = [l for l in served if not l[1].endswith(".idx")]
        fetched = sum(int(l[-1]) for l in grib)
        times = {"fetch": [], "ingest": [], "curl": [], "whole": []}
        for _ in range(a.runs):
            shutil.rmtree(out, ignore_errors=True)
            times["fetch"].append(timed(fetch + [out], work))
            times["ingest"].append(timed(ingest, work))
            times["curl"].append(timed(curl, work))
            times["whole"].append(timed(["curl", "-s", f"{url}/{path}", "-o", "/dev/null"], work))
    finally:
        nginx.send_signal(signal.SIGTERM)
        nginx.wait()
    print(f"conv2model fetch, a global {a.res}-degree case of {a.lm} levels from a GFS-like file "
          f"({size / 1e6:.1f} MB, {len(open(os.path.join(root, path) + '.idx').read().splitlines())} messages):")
    print(f"  a case:     {fetched / 1e6:8.1f} MB in {len(grib)} requests (+ the index), "
          f"{100 * fetched / size:.0f}% of the file")
    print(f"  whole file: {size / 1e6:8.1f} MB in 1 request")
    print(f"wall times, {a.runs} runs each, alternately:")
    for name in ("fetch", "ingest", "curl", "whole"):
        print(summary(name, times[name]))
    print(f"  fetch / curl of the same ranges: {statistics.median(times['fetch']) / statistics.median(times['curl']):.1f}"
          f" (fetch also makes the case, which ingest alone takes {statistics.median(times['ingest']):.3f} s)")


if __name__ == "__main__":
    main()

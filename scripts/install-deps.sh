#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and the examples
# need, where the machine lacks them.  Run by `make deps` (and so by
# `make test`); with --minimal only what building the programs needs.
set -euo pipefail
build=(cmake ninja-build g++ pkg-config git
       libeccodes-dev libaec-dev libopenjp2-7-dev libnetcdf-dev libhdf5-dev libcairo2-dev fonts-dejavu-core
       libcurl4-openssl-dev)
tests=(libgtest-dev libgmock-dev libbenchmark-dev
       libeccodes-tools python-grib-doc
       cdo netcdf-bin python3-xarray python3-netcdf4 python3-numpy python3-cffi python3-attr
       parallel slurm-wlm munge man-db strace
       nginx-light curl
       clang libclang-rt-14-dev)
need=("${build[@]}")
[ "${1:-}" = "--minimal" ] || need+=("${tests[@]}")
missing=()
for p in "${need[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd=sudo
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

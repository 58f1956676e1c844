#!/usr/bin/env bash
# Makes ecCodes' Python module importable from DIR (default
# build/python-eccodes) for the Python peer of `make bench-ingest`: the
# files of Debian's python3-eccodes and python3-findlibs, unpacked there.
#
# Debian 12 cannot install python3-eccodes beside libcurl4-openssl-dev, which
# fetch builds with: the package depends, through python3-ecmwflibs and
# libmagics++-dev, on libeckit-dev, which requires libcurl4-gnutls-dev, and
# the two curl development packages exclude each other.  The module itself
# is pure Python over the libeccodes0 the build already has (with
# python3-cffi, python3-attr and python3-numpy, which scripts/install-deps.sh
# installs), so its files are unpacked rather than the package installed.
# Prints the directory to put on PYTHONPATH.
set -euo pipefail
dir=$(realpath -m "${1:-build/python-eccodes}")
site="$dir/usr/lib/python3/dist-packages"
if ! PYTHONPATH="$site" /usr/bin/python3 -c 'import eccodes' >/dev/null 2>&1; then
  debs=$(mktemp -d)
  trap 'rm -rf "$debs"' EXIT
  (cd "$debs" && apt-get download -qq python3-eccodes python3-findlibs 2>/dev/null)
  rm -rf "$dir.part" && mkdir -p "$dir.part"
  for d in "$debs"/*.deb; do dpkg-deb -x "$d" "$dir.part"; done
  PYTHONPATH="$dir.part/usr/lib/python3/dist-packages" /usr/bin/python3 -c 'import eccodes' >/dev/null
  rm -rf "$dir" && mv "$dir.part" "$dir"
fi
echo "$site"

#!/usr/bin/env bash
# Installs the Debian packages the build needs, where the machine lacks them.
set -euo pipefail
need=(cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev libpng-dev pkg-config)
missing=()
for p in "${need[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd=sudo
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}"
fi

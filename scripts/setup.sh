#!/usr/bin/env bash
# Installs the Debian packages the build needs, when they are missing.
set -euo pipefail
pkgs=(cmake g++ make libsqlite3-dev libgtest-dev libgmock-dev nlohmann-json3-dev gettext
      postgresql postgresql-contrib libpq-dev)
if [ "${QUELBARIX_BENCH:-0}" = 1 ]; then pkgs+=(libbenchmark-dev); fi
missing=()
for p in "${pkgs[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  echo "Installing: ${missing[*]}"
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "${missing[@]}"
fi

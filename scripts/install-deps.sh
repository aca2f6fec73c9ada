#!/usr/bin/env bash
# Installs what korvi needs to build and test on Debian 12, as root.
set -euo pipefail
packages=(
  build-essential cmake pkg-config
  libutf8proc-dev libsodium-dev uthash-dev
  libgtest-dev libbenchmark-dev
  python3 binutils locales
  python3-pytest python3-pandas python3-dask python3-distributed
  libcli11-dev libcsv-dev nlohmann-json3-dev
  zlib1g-dev libzstd-dev zstd
  clang-14 libclang-rt-14-dev
  python3-venv python3-pip python3-setuptools
  default-jdk-headless libjna-java junit4 help2man
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
fi

# A decimal-comma locale, so tests can prove numbers ignore the process locale.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi

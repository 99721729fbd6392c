#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine for the package and runs its jobs.
#   scripts/dev.sh run     build, then install into a fresh demonstration root and show it
#   scripts/dev.sh test    build, then run every test
#   scripts/dev.sh asan    build with AddressSanitizer/UBSan and run every test
#   scripts/dev.sh setup   only install what is missing, configure and build
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

packages=(build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
          libsqlite3-dev libgtest-dev libgmock-dev libbenchmark-dev
          libcli11-dev nlohmann-json3-dev qt6-base-dev libgl-dev xdg-utils fonts-dejavu-core)

install_packages() {
  local missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages: ${missing[*]}" >&2
    echo "Run this script as root once, or: sudo apt-get install ${missing[*]}" >&2
    exit 1
  fi
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q >/dev/null || true
  apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
}

build() {
  local preset=$1
  install_packages
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
}

case "${1:-}" in
  setup)
    build default
    ;;
  run)
    build default
    root="$top/build/demo-root"
    rm -rf "$root"
    export KLM71_ROOT="$root" KLM71_ADMIN=1
    bin="$top/build/default/bin"
    set -x
    "$bin/klm71" install
    "$bin/klm71" printer add "Koravel LM-7100" --port COM1:
    "$bin/klm71" printer show "Koravel LM-7100"
    "$bin/klm71" caps "Koravel LM-7100" DC_PAPERNAMES
    "$bin/klm71" devmode merge "Koravel LM-7100" --request-paper 366 --request-cut every --out "$root/job.devmode"
    "$bin/klm71" query "Koravel LM-7100" --devmode "$root/job.devmode"
    data="$root/spool/drivers/x64/3"
    "$data/KLM71cv" "$data/klm71ad.qmd" "$root/pdt15.bin"
    set +x
    echo "Registration command file: $(stat -c %s "$root/pdt15.bin") bytes"
    echo "Machine root: $root"
    ;;
  test)
    build default
    ctest --preset default
    ;;
  asan)
    build asan
    ctest --preset asan
    ;;
  *)
    sed -n '2,7p' "$0" | sed 's/^# \{0,1\}//'
    exit 2
    ;;
esac

#!/usr/bin/env bash
# Installs what vexolin needs on a fresh Debian machine: system packages, a virtual environment
# in .venv, and vexolin itself with its test tools. Safe to run again; it skips what is there.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

debian_packages=(g++ libgtest-dev libsimdjson-dev iverilog)
missing=()
for p in "${debian_packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
fi

[ -x .venv/bin/python ] || python3 -m venv .venv
.venv/bin/python -m pip install -q --disable-pip-version-check cmake ninja
# VEXOLIN_WERROR=ON (set by the test command) makes compiler warnings errors in the module build.
.venv/bin/python -m pip install -q --disable-pip-version-check \
  -Ccmake.define.VEXOLIN_WERROR="${VEXOLIN_WERROR:-OFF}" ".[test]"

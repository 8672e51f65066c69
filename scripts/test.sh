#!/usr/bin/env bash
# Sets up a fresh machine and runs every test: the C++ core tests (ctest), the Python tests, both
# again under the sanitizers, and a short fuzzing run.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
VEXOLIN_WERROR=ON bash scripts/setup.sh
export PATH="$PWD/.venv/bin:$PATH"

cmake -S . -B build/tests -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVEXOLIN_WERROR=ON
cmake --build build/tests
ctest --test-dir build/tests --output-on-failure

# Run from the tests folder so that the installed module, not the source tree, is imported.
python -m pytest -q -p no:cacheprovider tests

# The same tests under AddressSanitizer + UBSan, then a short fuzzing run of every target
# (fuzz/run.sh installs clang and fails if it cannot).
bash scripts/sanitize.sh
bash fuzz/run.sh "${VEXOLIN_FUZZ_SECONDS:-30}"

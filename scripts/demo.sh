#!/usr/bin/env bash
# Sets up a fresh machine and runs the example tour: examples/demo.py on the committed netlists.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
bash scripts/setup.sh
.venv/bin/python examples/demo.py "$@"

#!/usr/bin/env bash
# Runs every benchmark once and prints the figures next to their targets.
set -euo pipefail
build=${1:-build}
for b in "$build"/bench_*; do [ -x "$b" ] && "$b"; done

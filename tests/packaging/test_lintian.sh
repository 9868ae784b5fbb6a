#!/usr/bin/env bash
# Runs lintian on the built package: any error fails the test, and so does
# any hardening tag (the programs are built with Debian's hardening flags);
# other warnings and notes are printed for the reader.
set -euo pipefail

source "$(dirname "$0")/common.sh"

deb=$(built_deb)
status=0
lintian --fail-on error --display-info "$deb" >"$SCRATCH/lintian.log" 2>&1 || status=$?
cat "$SCRATCH/lintian.log"
[ $status -eq 0 ] || fail "lintian reports errors on $(basename "$deb") (status $status)"
if grep -E ' hardening-' "$SCRATCH/lintian.log"; then
    fail "lintian finds the programs in $(basename "$deb") not hardened"
fi
echo "lintian: no errors and no hardening tags on $(basename "$deb")"

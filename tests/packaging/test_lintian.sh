#!/usr/bin/env bash
# Runs lintian on the built package: any error fails the test; warnings and
# notes are printed for the reader.
set -euo pipefail

source "$(dirname "$0")/common.sh"

deb=$(built_deb)
status=0
lintian --fail-on error --display-info "$deb" || status=$?
[ $status -eq 0 ] || fail "lintian reports errors on $(basename "$deb") (status $status)"
echo "lintian: no errors on $(basename "$deb")"

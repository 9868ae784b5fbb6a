# Shared by the packaging tests: where things are, scratch folders removed on
# every way out, and a clear failure message.

: "${SORIMBA_SOURCE:=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}"
: "${SORIMBA_BUILD:=$SORIMBA_SOURCE/build}"
: "${SORIMBA_APP_ID:=org.example.Sorimba}"
: "${CMAKE_COMMAND:=cmake}"
: "${CPACK_COMMAND:=cpack}"
# The package built by build_deb.sh, shared by the tests that need it.
SORIMBA_DEB_DIR=$SORIMBA_BUILD/packaging-test

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Every scratch folder of a test lies in one, removed on every way out.
SCRATCH=$(mktemp -d "${TMPDIR:-/tmp}/sorimba-packaging.XXXXXX")
trap 'rm -rf "$SCRATCH"' EXIT

# A new empty folder inside SCRATCH.
scratch_dir() {
    mktemp -d "$SCRATCH/$1.XXXXXX"
}

# The one .deb that build_deb.sh made.
built_deb() {
    local debs=("$SORIMBA_DEB_DIR"/*.deb)
    [ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "no package in $SORIMBA_DEB_DIR (packaging.deb builds it)"
    echo "${debs[0]}"
}

#!/usr/bin/env bash
# Builds the Debian package from the build folder, as `make package` does,
# into a folder of its own that the package tests share, and checks its
# control fields: dependencies from dpkg-shlibdeps plus Qt's X11 plugin, the
# maintainer, and no homepage.
set -euo pipefail

source "$(dirname "$0")/common.sh"

rm -rf "$SORIMBA_DEB_DIR"
mkdir -p "$SORIMBA_DEB_DIR"
"$CPACK_COMMAND" --config "$SORIMBA_BUILD/CPackConfig.cmake" -G DEB -B "$SORIMBA_DEB_DIR" \
    >"$SCRATCH/cpack.log" 2>&1 || fail "cpack failed: $(cat "$SCRATCH/cpack.log")"
rm -rf "$SORIMBA_DEB_DIR/_CPack_Packages"
deb=$(built_deb)
dpkg-deb --info "$deb"

field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = sorimba ] || fail "the package is not named sorimba"
[ "$(field Maintainer)" = "Sorimba authors <sorimba@example.org>" ] ||
    fail "unexpected maintainer: $(field Maintainer)"
[ -z "$(field Homepage)" ] || fail "the package names a homepage"
depends=$(field Depends)
# Libraries found by dpkg-shlibdeps in the binaries, with version bounds.
names=$(sed 's/, /\n/g' <<<"$depends" | sed 's/ .*//')
for library in libc6 libqt6core6 libqt6gui6 libqt6widgets6 libstdc++6; do
    grep -Fq "$library (>= " <<<"$depends" || fail "Depends lacks $library with a version: $depends"
done
grep -Fxq qt6-qpa-plugins <<<"$names" || fail "Depends lacks qt6-qpa-plugins: $depends"
echo "built $deb"

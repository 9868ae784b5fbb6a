#!/usr/bin/env bash
# Installs the build into a scratch DESTDIR, as `make install` and the Debian
# package do, and checks the tree: exactly the expected files, each of them
# well-formed (desktop entry, AppStream file, icons, manual pages, changelog),
# and the installed programs run from there.
set -euo pipefail

source "$(dirname "$0")/common.sh"

root=$(scratch_dir install)
DESTDIR=$root "$CMAKE_COMMAND" --install "$SORIMBA_BUILD" --prefix /usr >"$SCRATCH/install.log" ||
    fail "cmake --install failed: $(cat "$SCRATCH/install.log")"

id=$SORIMBA_APP_ID
expected=$(
    cat <<EOF | sort
usr/bin/sorimba
usr/bin/sorimba-clip
usr/share/applications/$id.desktop
usr/share/bash-completion/completions/sorimba-clip
usr/share/doc/sorimba/changelog.gz
usr/share/doc/sorimba/copyright
usr/share/icons/hicolor/128x128/apps/$id.png
usr/share/icons/hicolor/16x16/apps/$id.png
usr/share/icons/hicolor/22x22/apps/$id.png
usr/share/icons/hicolor/24x24/apps/$id.png
usr/share/icons/hicolor/256x256/apps/$id.png
usr/share/icons/hicolor/32x32/apps/$id.png
usr/share/icons/hicolor/48x48/apps/$id.png
usr/share/icons/hicolor/64x64/apps/$id.png
usr/share/icons/hicolor/scalable/apps/$id.svg
usr/share/man/man1/sorimba-clip.1.gz
usr/share/man/man1/sorimba.1.gz
usr/share/metainfo/$id.metainfo.xml
EOF
)
actual=$(cd "$root" && find . -type f -o -type l | sed 's|^\./||' | sort)
if [ "$actual" != "$expected" ]; then
    diff <(echo "$expected") <(echo "$actual") >&2 || true
    fail "the installed tree differs from the expected one (- expected, + installed)"
fi
echo "installed tree:"
sed 's/^/  /' <<<"$actual"

# The programs are executable and run from the installed tree.
for program in sorimba sorimba-clip; do
    [ -x "$root/usr/bin/$program" ] || fail "usr/bin/$program is not executable"
done
"$root/usr/bin/sorimba-clip" --help >/dev/null || fail "the installed sorimba-clip --help failed"

# Desktop entry and AppStream file pass the freedesktop validators.
desktop=$root/usr/share/applications/$id.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate reports errors"
appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml" ||
    fail "appstreamcli validate reports errors"
grep -qx 'Exec=sorimba %F' "$desktop" || fail "the desktop entry does not start 'sorimba %F'"
grep -qx "Icon=$id" "$desktop" || fail "the desktop entry's icon is not $id"
grep -E '^MimeType=' "$desktop" | grep -q '[=;]text/plain;' ||
    fail "the desktop entry does not offer to open text/plain"
grep -E '^MimeType=' "$desktop" | grep -q '[=;]message/rfc822;' ||
    fail "the desktop entry does not offer to open mail messages (message/rfc822)"
for binary in $(sed -n 's|.*<binary>\(.*\)</binary>.*|\1|p' "$root/usr/share/metainfo/$id.metainfo.xml"); do
    [ -x "$root/usr/bin/$binary" ] || fail "the AppStream file provides $binary, which is not installed"
done

# Each PNG icon has the size its folder names.
python3 - "$root/usr/share/icons/hicolor" "$id" <<'EOF' || fail "an icon has the wrong size"
import glob, os, struct, sys
bad = False
for path in glob.glob(os.path.join(sys.argv[1], "*x*", "apps", sys.argv[2] + ".png")):
    folder = path.split(os.sep)[-3]
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n":
        print(f"{path}: not a PNG file"); bad = True; continue
    width, height = struct.unpack(">II", head[16:24])
    if f"{width}x{height}" != folder:
        print(f"{path}: {width}x{height}"); bad = True
sys.exit(1 if bad else 0)
EOF

# Manual pages render without a warning and show every flag of their
# program's --help.
for page in "$root"/usr/share/man/man1/*.1.gz; do
    name=$(basename "$page" .1.gz)
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$name(1) renders with warnings: $warnings"
    text=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -E UTF-8 -l "$page" 2>/dev/null)
    grep -q "^NAME" <<<"$text" || fail "$name(1) has no NAME section"
    flags=$(QT_QPA_PLATFORM=offscreen "$root/usr/bin/$name" --help 2>&1 | grep -oE -- '--[[:alnum:]-]+' | sort -u)
    [ -n "$flags" ] || fail "$name --help shows no flag"
    for flag in $flags; do
        grep -qF -- "$flag" <<<"$text" || fail "$name(1) does not show $flag"
    done
done

# The changelog is compressed as Debian expects and names this version, as
# does the newest release of the AppStream file.
changelog=$root/usr/share/doc/sorimba/changelog.gz
gzip -t "$changelog" || fail "changelog.gz is not a valid gzip file"
version=$(zcat "$changelog" | dpkg-parsechangelog -l - -S Version)
[ "$version" = "$SORIMBA_VERSION" ] ||
    fail "the changelog's newest entry is $version, the project is $SORIMBA_VERSION"
release=$(grep -o '<release version="[^"]*"' "$root/usr/share/metainfo/$id.metainfo.xml" | head -1 | cut -d'"' -f2)
[ "$release" = "$SORIMBA_VERSION" ] ||
    fail "the AppStream file's newest release is $release, the project is $SORIMBA_VERSION"

echo "install tree checks passed"

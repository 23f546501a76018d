#!/usr/bin/env bash
# Checks the Debian package built by `make deb`: lintian reports no error
# and no missing hardening, its dependencies come from the libraries, and
# unpacked into a throwaway root (dpkg -x) it holds the programs, manual pages, icons and a desktop
# entry, MIME package and AppStream metadata that their validators accept.
set -euo pipefail
build=${1:-build}
source=$(cd "$(dirname "$0")/../.." && pwd)
deb=$(ls -t "$build"/zx840_*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || { echo "no zx840_*.deb in $build (make deb)" >&2; exit 1; }
root=$(mktemp -d "${TMPDIR:-/tmp}/zx840-deb.XXXXXX")
trap 'rm -rf "$root"' EXIT
fail=0
problem() { echo "$deb: $*" >&2; fail=1; }

# Warnings and notes are shown; errors fail, and so does any hardening tag
# (fortify, stack protector, relro, bindnow: a notice at most, but the build
# carries Debian's hardening flags).
status=0
report=$(lintian --fail-on error --display-info "$deb" 2>&1) || status=$?
[ -z "$report" ] || printf '%s\n' "$report" >&2
[ "$status" = 0 ] || problem "lintian reports errors"
if grep -qE '^[EWI]: .*hardening-' <<<"$report"; then
  problem "not built with Debian's hardening flags:" \
    "$(grep -oE 'hardening-[a-z-]+' <<<"$report" | sort -u | tr '\n' ' ')"
fi

depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6printsupport6 libqt6sql6 \
    libqt6sql6-sqlite; do
  grep -qE "(^|, )$library( |,|$)" <<<"$depends" || problem "Depends lacks $library: $depends"
done

dpkg -x "$deb" "$root"
share=$root/usr/share
for f in usr/bin/zx840 usr/bin/zx840-cli usr/bin/zx840-meter-sim \
         usr/share/man/man1/zx840.1.gz usr/share/man/man1/zx840-cli.1.gz \
         usr/share/man/man1/zx840-meter-sim.1.gz usr/share/doc/zx840/copyright \
         usr/share/applications/com.orvalisto.zx840.desktop \
         usr/share/applications/com.orvalisto.zx840.print.desktop \
         usr/share/mime/packages/zx840.xml usr/share/metainfo/com.orvalisto.zx840.metainfo.xml \
         usr/share/icons/hicolor/scalable/apps/zx840.svg usr/share/icons/hicolor/48x48/apps/zx840.png \
         usr/share/icons/hicolor/32x32/apps/zx840.png \
         usr/share/icons/hicolor/scalable/mimetypes/application-x-zx840-document.svg \
         usr/share/icons/hicolor/48x48/mimetypes/application-x-zx840-document.png; do
  [ -s "$root/$f" ] || problem "missing $f"
done
for page in zx840 zx840-cli zx840-meter-sim; do
  zcat "$share/man/man1/$page.1.gz" | grep -q '^\.TH' || problem "$page.1.gz is no manual page"
done

apps=$share/applications
for entry in com.orvalisto.zx840 com.orvalisto.zx840.print; do
  desktop-file-validate "$apps/$entry.desktop" || problem "desktop entry $entry invalid"
done
# Printing needs a file: it is no action of the program's entry (the
# launcher's menu would offer it without one) but a hidden entry for test
# files, which sorts after the program's so that opening stays the default.
! grep -q '^Actions=' "$apps/com.orvalisto.zx840.desktop" || problem "the program's entry has actions"
for line in 'NoDisplay=true' 'Exec=zx840 -p %f' 'MimeType=application/x-zx840-document;'; do
  grep -qxF "$line" "$apps/com.orvalisto.zx840.print.desktop" || problem "print entry lacks $line"
done
update-desktop-database "$apps" || problem "update-desktop-database failed"
grep -qxF 'application/x-zx840-document=com.orvalisto.zx840.desktop;com.orvalisto.zx840.print.desktop;' \
  "$apps/mimeinfo.cache" || problem "test files do not open with the program first: $(cat "$apps/mimeinfo.cache")"
metainfo=$share/metainfo/com.orvalisto.zx840.metainfo.xml
appstreamcli validate --no-net "$metainfo" || problem "metainfo invalid"
# Software centres show screenshots: the project's own pictures (docs/,
# published beside the home page), each at the size it has.
grep -q '<screenshot type="default">' "$metainfo" || problem "metainfo has no default screenshot"
shots=0
while read -r width height url; do
  shots=$((shots + 1))
  size=$(file -b "$source/docs/${url##*/}" | grep -oE '[0-9]+ x [0-9]+' | tr -d ' ' || true)
  [ "$size" = "${width}x${height}" ] ||
    problem "screenshot $url is ${width}x${height}, docs/${url##*/} ${size:-is missing}"
done < <(sed -nE 's|.*<image type="source" width="([0-9]+)" height="([0-9]+)">([^<]+)</image>.*|\1 \2 \3|p' "$metainfo")
[ "$shots" -gt 0 ] || problem "metainfo has no screenshots"
# The MIME package builds a database that knows the file type by its name
# and by the signature at its start.
errors=$(XDG_DATA_DIRS=$share update-mime-database "$share/mime" 2>&1) ||
  problem "update-mime-database failed"
[ -z "$errors" ] || problem "update-mime-database: $errors"
# Globs are case-insensitive unless marked otherwise, so the database keeps *.zx8.
grep -qi 'application/x-zx840-document:\*\.zx8$' "$share/mime/globs2" || problem "no *.ZX8 glob"
grep -qa 'application/x-zx840-document' "$share/mime/magic" &&
  grep -qaF "$(printf '\007ZX840EN')" "$share/mime/magic" || problem "no magic match on the signature"
# Test plans are a kind of JSON, known by their name.
grep -qi 'application/x-zx840-plan:\*\.zx8plan$' "$share/mime/globs2" || problem "no *.zx8plan glob"
grep -qxF 'application/x-zx840-plan application/json' "$share/mime/subclasses" ||
  problem "test plans are no kind of JSON"

# The installed program knows it is installed and prints its version
# without a display.
"$root/usr/bin/zx840" --version | grep -qx "zx840 1.05" || problem "zx840 --version"
"$root/usr/bin/zx840-cli" --version | grep -qx "zx840-cli 1.05" || problem "zx840-cli --version"

[ "$fail" = 0 ] && echo "1 passed, 0 failed: $(basename "$deb") lintian-clean, desktop entry, MIME package and metainfo valid"
exit "$fail"

#!/usr/bin/env bash
# scripts/windows unpacks an archive of the Windows tool chain only when its sum is the
# one SHA256SUMS lists and it holds the piece whole: otherwise the cache is left as it
# was, so that the piece is built instead of a tampered or truncated one being used.
set -euo pipefail
windows=$(cd "$(dirname "$0")/../.." && pwd)/scripts/windows
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export VELOSQL_WINDOWS_CACHE=$work/cache VELOSQL_WINDOWS_ARCHIVES=$work/archives
mkdir -p "$work/archives" "$work/made/qt-1.0" "$work/made/libpq-2.0"
echo dll >"$work/made/qt-1.0/Qt6Core.dll"
touch "$work/made/qt-1.0/.done"
echo half >"$work/made/libpq-2.0/libpq.dll" # no .done: a piece left half made
tar -cJf "$work/archives/qt-1.0.tar.xz" -C "$work/made" qt-1.0
tar -cJf "$work/archives/libpq-2.0.tar.xz" -C "$work/made" libpq-2.0
cp "$work/archives/qt-1.0.tar.xz" "$work/archives/sqlite-3.0.tar.xz"
(cd "$work/archives" && sha256sum qt-1.0.tar.xz libpq-2.0.tar.xz >SHA256SUMS &&
  echo "0000000000000000000000000000000000000000000000000000000000000000  sqlite-3.0.tar.xz" >>SHA256SUMS)

fail() { echo "FAIL: $*" >&2; exit 1; }
bash "$windows" unpack qt-1.0 >/dev/null || fail "a sound archive is refused"
[ "$(cat "$work/cache/qt-1.0/Qt6Core.dll")" = dll ] || fail "the piece is not in the cache"
! bash "$windows" unpack sqlite-3.0 >/dev/null 2>&1 || fail "a wrong sum is accepted"
! bash "$windows" unpack libpq-2.0 >/dev/null 2>&1 || fail "a piece without .done is accepted"
! bash "$windows" unpack odbc-1.0 >/dev/null 2>&1 || fail "a missing archive counts as unpacked"
[ "$(ls "$work/cache")" = qt-1.0 ] || fail "the cache holds more than the sound piece: $(ls "$work/cache")"
# A tool chain is whole with the pieces that no archive holds, built beside the others.
if command -v x86_64-w64-mingw32-g++-posix >/dev/null && command -v wine >/dev/null; then
  qt=$(dpkg-query -W -f='${Version}' qt6-base-dev)
  for piece in "qt-$qt" libpq-2.0 sqlite-3.0; do mkdir -p "$work/cache/$piece" && touch "$work/cache/$piece/.done"; done
  ! bash "$windows" cached || fail "a tool chain without zlib and libxlsxwriter counts as whole"
  for piece in zlib-1.0 libxlsxwriter-1.0; do mkdir -p "$work/cache/$piece" && touch "$work/cache/$piece/.done"; done
  bash "$windows" cached || fail "a whole tool chain is not found"
fi
echo "PASS: windows archives"

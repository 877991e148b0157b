#!/usr/bin/env bash
# Installs the build into a throwaway prefix and checks what a Linux desktop and a user
# find there: the programs, their data, the menu entry, icon, software-centre page and
# terminal help. Usage: install_check.sh BUILD_DIR
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null
id=com.tarvik.zarvopro
for file in bin/zarvo bin/zarvo-cli bin/zarvo-listfeed lib/tarvik-zarvo/libzarvo-media.so \
            share/tarvik-zarvo/tod.ctd share/tarvik-zarvo/zarvo-help.html \
            share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
            share/icons/hicolor/scalable/apps/$id.svg share/man/man1/zarvo-cli.1 \
            share/bash-completion/completions/zarvo-cli share/doc/tarvik-zarvo/copyright; do
  [[ -s $prefix/$file ]] || fail "$file is not installed"
done
# Every picture the help page shows is installed beside it.
for picture in $(grep -o 'src="[^"]*"' "$prefix/share/tarvik-zarvo/zarvo-help.html" | cut -d'"' -f2); do
  [[ -s $prefix/share/tarvik-zarvo/$picture ]] || fail "help picture $picture is not installed"
done

# The installed program finds its data in the installed layout, not in the source tree.
help=$("$prefix/bin/zarvo" --help)
grep -qxF "Help page: $prefix/share/tarvik-zarvo/zarvo-help.html" <<<"$help" || fail "help page: $help"
grep -qxF "Tips: $prefix/share/tarvik-zarvo/tod.ctd" <<<"$help" || fail "tips: $help"
"$prefix/bin/zarvo-cli" --version | grep -q '^zarvo-cli ' || fail "zarvo-cli --version"
# MPEG-4 files are described through the installed module.
clip="$prefix/clip.mp4"
ffmpeg -loglevel fatal -y -f lavfi -i testsrc=size=160x120:rate=25 -t 1 -c:v libx264 \
  -pix_fmt yuv420p "$clip"
"$prefix/bin/zarvo-cli" info "$clip" | grep -q '^  Video: H.264' || fail "zarvo-cli info of an MP4"
# The installed desktop program starts and keeps running (offscreen, throwaway settings).
home=$(mktemp -d)
mkdir -m 700 "$home/runtime"
status=0
XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data XDG_RUNTIME_DIR=$home/runtime \
  QT_QPA_PLATFORM=offscreen timeout 3 "$prefix/bin/zarvo" >/dev/null 2>&1 || status=$?
rm -rf "$home"
[[ $status -eq 124 ]] || fail "the installed zarvo ended with status $status instead of running"

desktop-file-validate "$prefix/share/applications/$id.desktop"
grep -qx "Icon=$id" "$prefix/share/applications/$id.desktop" || fail "the entry names another icon"
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml" >/dev/null
echo "installed layout OK"

#!/bin/sh
# Installs the build into a scratch folder and checks what the desktop reads:
# the .desktop entry, the AppStream metainfo, the man page and the icon, and
# that the installed program finds its window program.
#   desktopfiles.sh BUILD_DIR
# Exits 77 (skipped) when a validator is missing; scripts/common.sh installs them.
set -eu
build=$1
for tool in desktop-file-validate appstreamcli groff; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIP: $tool is not installed"
        exit 77
    fi
done

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
DESTDIR="$root" cmake --install "$build" --prefix /usr >/dev/null

failed=0
expect() {
    if [ -f "$root/usr/$1" ]; then
        echo "PASS: installed $1"
    else
        echo "FAIL: cmake --install did not place $1"
        failed=1
    fi
}
expect bin/zorbel
expect libexec/zorbel/zorbel-cli
expect libexec/zorbel/zorbel-window
expect share/applications/com.vantorel.Zorbel.desktop
expect share/metainfo/com.vantorel.Zorbel.metainfo.xml
expect share/man/man1/zorbel.1
expect share/icons/hicolor/scalable/apps/zorbel.svg

check() {
    name=$1
    shift
    if output=$("$@" 2>&1) && [ -z "$(printf '%s' "$output" | grep -v -e '^✔' -e '^P:' -e '^$')" ]; then
        echo "PASS: $name"
    else
        echo "FAIL: $name"
        printf '%s\n' "$output"
        failed=1
    fi
}
check "desktop entry" desktop-file-validate "$root/usr/share/applications/com.vantorel.Zorbel.desktop"
check "metainfo" appstreamcli validate --no-net "$root/usr/share/metainfo/com.vantorel.Zorbel.metainfo.xml"
check "man page" groff -man -ww -z "$root/usr/share/man/man1/zorbel.1"
# zorbel hands all but --dump to the window program, found from its own place.
if "$root/usr/bin/zorbel" --version | grep -q "^Zorbel Version"; then
    echo "PASS: the installed zorbel runs the window program"
else
    echo "FAIL: the installed zorbel does not run the window program"
    failed=1
fi
exit $failed

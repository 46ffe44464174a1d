#!/bin/sh
# Checks a built zorbel package: its name and version, that it holds the
# program's files and nothing else, and that the programs unpacked from it run
# on their own (no path into a build or source folder).
#   checkdeb.sh DEB VERSION [FOLDER...]
# FOLDERs (the build and source folders) must not be named by any unpacked file.
set -eu
deb=$1
version=$2
shift 2

failed=0
pass() { echo "PASS: $1"; }
fail() {
    echo "FAIL: $1"
    failed=1
}

[ "$(dpkg-deb -f "$deb" Package)" = zorbel ] && pass "package name" || fail "package name is $(dpkg-deb -f "$deb" Package)"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] && pass "version $version" ||
    fail "version is $(dpkg-deb -f "$deb" Version), the build's is $version"

# Every file and link the package installs; folders are left out.
expected='./usr/bin/zorbel
./usr/libexec/zorbel/zorbel-cli
./usr/libexec/zorbel/zorbel-window
./usr/share/applications/com.vantorel.Zorbel.desktop
./usr/share/doc/zorbel/changelog.gz
./usr/share/doc/zorbel/copyright
./usr/share/icons/hicolor/scalable/apps/zorbel.svg
./usr/share/man/man1/zorbel.1.gz
./usr/share/metainfo/com.vantorel.Zorbel.metainfo.xml'
actual=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort)
if [ "$actual" = "$expected" ]; then
    pass "file list"
else
    fail "file list differs (- expected, + in the package):"
    printf '%s\n' "$expected" >"${TMPDIR:-/tmp}/zorbel-expected.$$"
    printf '%s\n' "$actual" | diff -u "${TMPDIR:-/tmp}/zorbel-expected.$$" - | tail -n +3 || true
    rm -f "${TMPDIR:-/tmp}/zorbel-expected.$$"
fi

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root/unpacked"
for folder in "$@"; do
    if grep -rlF "$folder" "$root/unpacked" >/dev/null; then
        fail "unpacked files name $folder: $(grep -rlF "$folder" "$root/unpacked" | tr '\n' ' ')"
    else
        pass "no file names $folder"
    fi
done

for program in usr/bin/zorbel usr/libexec/zorbel/zorbel-cli usr/libexec/zorbel/zorbel-window; do
    if readelf -d "$root/unpacked/$program" | grep -q 'R\(UN\)\?PATH'; then
        fail "$program has a library search path: $(readelf -d "$root/unpacked/$program" | grep 'PATH')"
    else
        pass "$program finds its libraries where the system keeps them"
    fi
done

zorbel=$root/unpacked/usr/bin/zorbel
# --version is answered by the window program, found from zorbel's own place.
out=$("$zorbel" --version 2>&1) || true
[ "$out" = "Zorbel Version $version" ] && pass "zorbel --version" || fail "zorbel --version said: $out"

printf '\326\320\316\304AB' >"$root/gb.bin"
out=$("$zorbel" --dump --codepage 936 "$root/gb.bin" 2>&1) || true
if printf '%s\n' "$out" | grep -qx '000000 *D6 D0 CE C4 41 42 *中文AB'; then
    pass "zorbel --dump"
else
    fail "zorbel --dump said: $out"
fi

# The window program with its Qt libraries and plugins, without a display.
if "$zorbel" --print-pdf "$root/rows.pdf" "$root/gb.bin" && head -c 5 "$root/rows.pdf" | grep -q '^%PDF-'; then
    pass "zorbel --print-pdf"
else
    fail "zorbel --print-pdf wrote no PDF"
fi
exit $failed

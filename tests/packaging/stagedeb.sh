#!/bin/sh
# Makes the zorbel package from the build already made, as debian/rules would lay
# it out (stripped programs, compressed man page, copyright and changelog), into
# a scratch folder, and checks it with checkdeb.sh. scripts/package makes the
# real package with dpkg-buildpackage, which builds everything again; this stays
# quick by reusing the build.
#   stagedeb.sh BUILD_DIR SOURCE_DIR VERSION [--sanitized]
# Exits 77 (skipped) without dpkg-deb and dpkg-dev's dpkg-gencontrol. With
# --sanitized (a build with the sanitizers, never packaged for users) the
# package is not checked for the build's and the sources' folders: the
# sanitizers write each source file's path into the programs for their
# reports, which no compiler option maps away.
set -eu
build=$1
src=$2
version=$3
sanitized=${4:-}
here=$(cd "$(dirname "$0")" && pwd)
for tool in dpkg-deb dpkg-gencontrol dpkg-shlibdeps; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIP: $tool is not installed"
        exit 77
    fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/zorbel
DESTDIR="$root" cmake --install "$build" --prefix /usr --strip >/dev/null
gzip -9n "$root/usr/share/man/man1/zorbel.1"
mkdir -p "$root/usr/share/doc/zorbel"
cp "$src/debian/copyright" "$root/usr/share/doc/zorbel/"
gzip -9nc "$src/debian/changelog" >"$root/usr/share/doc/zorbel/changelog.gz"

# dpkg-shlibdeps and dpkg-gencontrol read debian/control from the current folder
# and take the folder holding DEBIAN for the package's root.
mkdir "$root/DEBIAN"
cd "$src"
dpkg-shlibdeps -T"$work/substvars" -e"$root/usr/bin/zorbel" -e"$root/usr/libexec/zorbel/zorbel-cli" -e"$root/usr/libexec/zorbel/zorbel-window"
echo "misc:Depends=" >>"$work/substvars"
dpkg-gencontrol -pzorbel -P"$root" -T"$work/substvars" -f"$work/files"
dpkg-deb --root-owner-group --build "$root" "$work/zorbel.deb" >/dev/null
if [ "$sanitized" = --sanitized ]; then
    sh "$here/checkdeb.sh" "$work/zorbel.deb" "$version"
else
    sh "$here/checkdeb.sh" "$work/zorbel.deb" "$version" "$(cd "$build" && pwd)" "$src"
fi

#!/bin/sh
# The version is project()'s in CMakeLists.txt; the files that state it as text
# must agree with it.
#   version.sh SOURCE_DIR VERSION
set -eu
src=$1
version=$2
failed=0
agree() {
    if [ "$2" = "$version" ]; then
        echo "PASS: $1 says $version"
    else
        echo "FAIL: $1 says '$2', CMakeLists.txt's project() says $version"
        failed=1
    fi
}
agree debian/changelog "$(sed -n '1s/^zorbel (\([^)]*\)).*/\1/p' "$src/debian/changelog")"
agree "the metainfo's latest release" \
    "$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$src/src/app/desktop/com.vantorel.Zorbel.metainfo.xml" | head -n 1)"
agree "the man page" "$(sed -n '1s/^\.TH .* "Zorbel \([^"]*\)".*/\1/p' "$src/src/app/desktop/zorbel.1")"
agree "the string table" "$(sed -n 's/^[0-9]*	Zorbel Version \(.*\)$/\1/p' "$src/src/res/strings/en.txt")"
exit $failed

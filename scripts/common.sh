# Shared by scripts/run and scripts/test: install what the build needs, then build.
# Sourced, not run.

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Debian packages the build, the program and the tests need.
PACKAGES=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools libqt6svg6 qt6-translations-l10n qt6-qpa-plugins
    libgl-dev libxkbcommon-dev libx11-dev shared-mime-info
    fonts-wqy-zenhei fonts-ipafont-gothic fonts-dejavu-core fonts-noto-color-emoji
    poppler-utils xxd unicode-data
    appstream desktop-file-utils
)

# Only for building with clang (scripts/test --clang) and fuzzing (scripts/fuzz,
# which needs clang's libFuzzer runtime).
CLANG_PACKAGES=(clang libclang-rt-14-dev)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo "$@"
    else
        echo "zorbel: installing packages needs root or sudo: $*" >&2
        return 1
    fi
}

# install_packages [more packages...]: the build's packages and those given.
install_packages() {
    local missing=()
    local package
    for package in "${PACKAGES[@]}" "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed"; then
            missing+=("$package")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "zorbel: installing ${missing[*]}" >&2
    as_root env DEBIAN_FRONTEND=noninteractive apt-get update -q &&
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# build DIR TARGET [extra cmake options...]: configures once, then builds TARGET
# ("all" for everything) incrementally. A build with nothing to do prints nothing.
build() {
    local dir=$1 target=$2
    shift 2
    if [ ! -f "$dir/build.ninja" ]; then
        local launcher=()
        command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
        cmake -S "$ROOT" -B "$dir" -G Ninja -Wno-dev -DCMAKE_MESSAGE_LOG_LEVEL=NOTICE "${launcher[@]}" "$@" || return 1
    fi
    cmake --build "$dir" -j "$(nproc)" --target "$target" | { grep -v '^ninja: no work to do\.$' || true; }
    return "${PIPESTATUS[0]}"
}

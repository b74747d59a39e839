#!/bin/sh
# The test command. With no argument it runs every stage in the order of the
# table below; with stage names, only those, in the order given. Each stage
# installs what it needs (scripts/install-deps.sh) and configures its own
# build, so any stage can run alone. Any failure stops the run; the time of
# each step is printed.
#   scripts/test.sh                  every stage
#   scripts/test.sh qt5 lint         only these
#   scripts/test.sh --help           the stages
set -eu
cd "$(dirname "$0")/.."

# One line per stage: its name, the purposes it installs (comma separated),
# and what it does. Each has a function stage_<name> below.
stages='
format    format                        sources formatted as .clang-format says (clang-format 14); builds nothing
lint      run,lint                      clang-tidy 14 with .clang-tidy over every folder of the program (build-lint/)
qt5       run,rig,windows-rc,bench      Qt 5 build and the whole test suite (build/)
sanitize  run,rig,windows-rc,bench      Qt 5 build with ASan and UBSan and the whole test suite (build-sanitize/)
qt6       run,qt6,rig,windows-rc,bench  Qt 6 build and the whole test suite (build-qt6/)
fuzz      run,clang                     the three fuzz targets for 90 s (build-fuzz/)
package   run,qt6,rig,package           Debian packages for Qt 5 and Qt 6, tested on a fresh Debian root
windows   run,rig,windows-rc,package,windows  32-bit Windows build (Qt from the cache), its tests, zip and installer under wine
'

jobs=$(nproc)
# The program's folders, one library each.
source_dirs='common enip bootp net discovery client addressserver inventory cli ui app'
started=$(date +%s)
# Prints how long the step that ends now took.
took() {
    now=$(date +%s)
    echo "test.sh: $1 took $((now - started)) s"
    started=$now
}

stage_format() {
    find $source_dirs tests resources \( -name '*.cpp' -o -name '*.h' \) \
        -exec clang-format-14 --dry-run --Werror {} +
    took "format check"
}

stage_lint() {
    # The program alone: its compile database, and the moc and uic output
    # its sources include (main.cpp includes none).
    cmake -S . -B build-lint -DCMAKE_BUILD_TYPE=Debug -DNODESPOTTER_QT_MAJOR=5 -DBUILD_TESTING=OFF \
        -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
    cmake --build build-lint -j"$jobs" --target enip_autogen bootp_autogen nodespotter_common_autogen \
        nodespotter_net_autogen nodespotter_discovery_autogen nodespotter_client_autogen \
        nodespotter_addressserver_autogen nodespotter_inventory_autogen nodespotter_cli_autogen nodespotter_ui_autogen nodespotter_app_autogen
    took "lint set-up"
    # .clang-tidy turns every finding into an error. Left out of the output:
    # clang's count of the warnings it held back in Qt's headers.
    status=0
    find $source_dirs -name '*.cpp' | sort |
        xargs -P "$jobs" -n 4 clang-tidy-14 -p build-lint --quiet >build-lint/clang-tidy.log 2>&1 || status=1
    grep -v '^[0-9]* warnings\{0,1\} generated\.$' build-lint/clang-tidy.log || true
    took "clang-tidy"
    return $status
}

# Configures, builds and runs the suite: build_and_test LABEL DIR CACHE-SETTINGS...
build_and_test() {
    label=$1
    dir=$2
    shift 2
    cmake -S . -B "$dir" "$@"
    cmake --build "$dir" -j"$jobs"
    took "$label build"
    ctest --test-dir "$dir" --output-on-failure
    took "$label tests"
}

stage_qt5() {
    build_and_test "Qt 5" build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNODESPOTTER_QT_MAJOR=5
}

stage_sanitize() {
    build_and_test "Qt 5 sanitizer" build-sanitize -DCMAKE_BUILD_TYPE=Debug -DNODESPOTTER_SANITIZE=ON \
        -DNODESPOTTER_QT_MAJOR=5
}

stage_qt6() {
    build_and_test "Qt 6" build-qt6 -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNODESPOTTER_QT_MAJOR=6
}

stage_fuzz() {
    scripts/fuzz.sh 90
    took "fuzzing"
}

stage_package() {
    # Checked with lintian, desktop-file-validate and appstreamcli, then
    # installed, started and removed on a fresh Debian root.
    scripts/package.sh
    scripts/package.sh 6
    took "Debian packages"
    scripts/test-package.sh build-package/nodespotter_*.deb build-package-qt6/nodespotter-qt6_*.deb
    took "package test"
}

stage_windows() {
    # Qt for Windows, built into the cache on the first run (how long that
    # takes: docs/building.md), then found there. Warnings are errors here,
    # so the Windows-only code stays clean. The tests run under wine, each
    # in a fresh prefix and a network namespace of its own.
    qt=$(scripts/build-qt-windows.sh | tail -n 1)
    took "Qt for Windows"
    set -- build-windows -DCMAKE_TOOLCHAIN_FILE="$(pwd)/cmake/mingw-w64-i686.cmake" \
        -DCMAKE_PREFIX_PATH="$qt" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS=-Werror
    # 32-bit wine needs a kernel that runs 32-bit programs; some kernels
    # are built with that off (ia32_emulation). Then nothing can run under
    # wine here: the build and packages are still made and checked, and
    # the run under wine is left out, saying so.
    loader=/lib/i386-linux-gnu/ld-linux.so.2
    if [ -e "$loader" ] && ! "$loader" --version >/dev/null 2>&1; then
        cmake -S . -B "$@"
        cmake --build build-windows -j"$jobs"
        took "Windows build"
        echo "test.sh: this kernel does not run 32-bit programs (ia32 emulation off):" \
            "the Windows tests and the installer's test under wine are NOT run here" >&2
        scripts/package-windows.sh build-windows >/dev/null
        took "Windows packages"
        return 0
    fi
    build_and_test "Windows" "$@"
    packages=$(scripts/package-windows.sh build-windows | tail -n 2)
    took "Windows packages"
    # Installed, run in the rig and uninstalled under wine.
    scripts/test-package-windows.sh "$(printf '%s\n' "$packages" | sed -n 2p)" "$(printf '%s\n' "$packages" | sed -n 1p)"
    took "Windows package test"
}

names=$(printf '%s\n' "$stages" | awk 'NF { print $1 }')
case ${1:-} in
-h | --help)
    sed -n '2,9s/^# \{0,1\}//p' "$0"
    echo
    echo "Stages:"
    printf '%s\n' "$stages" | awk 'NF { name = $1; $1 = $2 = ""; sub(/^ +/, ""); printf "  %-10s %s\n", name, $0 }'
    exit 0
    ;;
esac
all=
[ $# -gt 0 ] || { all=yes; set -- $names; }
for name in "$@"; do
    printf '%s\n' "$names" | grep -qx -- "$name" ||
        { echo "test.sh: unknown stage '$name'; stages: $(printf '%s ' $names)" >&2; exit 2; }
done

for name in "$@"; do
    echo "test.sh: stage $name"
    purposes=$(printf '%s\n' "$stages" | awk -v n="$name" '$1 == n { print $2 }' | tr ',' ' ')
    scripts/install-deps.sh $purposes
    took "installing for $name"
    "stage_$name"
done

if [ -n "$all" ]; then
    echo "All tests passed."
else
    echo "test.sh: stages passed: $*"
fi

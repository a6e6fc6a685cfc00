#!/usr/bin/env bash
# Installs what is missing (Debian packages, as root), builds, then:
#   ./build.sh run [otdr-sim options]   otdr against the simulated instrument and the sample traces
#   ./build.sh real                     otdr against the instrument on its USB cable
#   ./build.sh view [FILE.sor...]       otdr-view on the sample traces (or the files given)
#   ./build.sh test                     every test, sanitizers, fuzzing, the Debian package
#   ./build.sh package                  build/otdr_VERSION_amd64.deb
#   ./build.sh windows                  build-windows/otdr-VERSION-windows-x64.zip and
#                                       otdr-VERSION-x64.msi, tested under Wine (the first run
#                                       builds Qt for Windows: about 25 minutes)
#   ./build.sh screenshot               docs/screenshot.png, under a virtual X server
set -euo pipefail
cd "$(dirname "$0")"

action=${1:-run}
[ $# -gt 0 ] && shift

packages=(build-essential cmake pkg-config qtbase5-dev libqt5serialport5-dev libqt5svg5-dev umockdev
    libumockdev-dev qttranslations5-l10n libxlsxwriter-dev libqt5sql5-sqlite libqt5sql5-psql)
windows_packages=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-tools wine wine64
    libz-mingw-w64-dev wixl msitools gir1.2-libmsi-1.0 python3-gi osslsigncode openssl
    libwine-dev zip patch xz-utils fonts-dejavu-core poppler-utils python3-openpyxl tcl)
# The Qt for Windows that tools/windows-qt.sh builds once and keeps.
windows_qt=${OTDR_WINDOWS_CACHE:-$HOME/.cache/otdr-windows}/qt5-mingw64/.complete
case "$action" in
    test)
        packages+=(clang libclang-rt-14-dev valgrind binutils-mingw-w64-x86-64 desktop-file-utils
            qt6-base-dev qt6-serialport-dev qt6-svg-dev qt6-translations-l10n poppler-utils
            python3-openpyxl libqt6sql6-sqlite libqt6sql6-psql postgresql)
        if [ -f "$windows_qt" ] || [ "${OTDR_WINDOWS:-}" = 1 ]; then
            packages+=("${windows_packages[@]}")
        fi
        ;;
    windows) packages+=("${windows_packages[@]}") ;;
    screenshot) packages+=(xvfb xauth imagemagick xdotool) ;;
esac

install_missing() {
    local missing=()
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" \
            || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing packages: ${missing[*]}" >&2
        echo "Run this as root (or with sudo) once so that they can be installed." >&2
        exit 1
    fi
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# build DIR [CMAKE_OPTIONS...]; TARGETS, when set, limits what is built.
build() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" > /dev/null
    local targets=()
    for target in ${TARGETS:-}; do
        targets+=(--target "$target")
    done
    cmake --build "$dir" -j"$(nproc)" "${targets[@]}"
}

install_missing "${packages[@]}"
build build

case "$action" in
    run)
        exec build/bin/otdr-sim "$@"
        ;;
    real)
        exec build/bin/otdr "$@"
        ;;
    view)
        # otdr-view on the sample traces, or on the traces given.
        if [ $# -eq 0 ]; then
            set -- build/samples/*.sor
        fi
        exec build/bin/otdr-view "$@"
        ;;
    test)
        ctest() { command ctest --output-on-failure -j2 "$@"; }
        # 1. Every test, and memcheck over a listing, a download and a delete.
        (cd build && ctest)
        # 2. The same tests built with AddressSanitizer and UndefinedBehaviorSanitizer.
        sanitize="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
        # The benchmarks run only in the plain build, so the other builds leave them out.
        build build-sanitize -DCMAKE_CXX_FLAGS="$sanitize" \
            -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" -DOTDR_BUILD_BENCH=OFF
        (cd build-sanitize && ctest -LE 'memcheck|bench')
        # 3. The fuzz targets, for a bounded time each, from the seed corpus.
        # Only the fuzz targets and what they link are built there.
        CXX=clang++ TARGETS="fuzz_listrecord fuzz_safefilename fuzz_sortrace fuzz_route" \
            build build-fuzz -DOTDR_BUILD_FUZZ=ON -DOTDR_BUILD_SIM=OFF -DOTDR_BUILD_TESTS=OFF \
            -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined"
        # The targets run side by side; the reader's seeds are the generator's cases, which the
        # plain build made.
        fuzzing=$(mktemp -d)
        pids=()
        for target in listrecord safefilename sortrace route; do
            seeds=fuzz/corpus/$target
            [ "$target" = sortrace ] && seeds=build/samples/cases
            mkdir "$fuzzing/$target"
            build-fuzz/bin/fuzz_$target -max_total_time="${FUZZ_SECONDS:-30}" \
                -print_final_stats=1 "$fuzzing/$target" "$seeds" > "$fuzzing/$target.log" 2>&1 &
            pids+=($!)
        done
        failed=0
        for index in 0 1 2 3; do
            target=$(echo listrecord safefilename sortrace route | cut -d' ' -f$((index + 1)))
            echo "fuzz_$target:"
            if wait "${pids[$index]}"; then
                grep -E "^(Done|stat::number_of_executed_units|INFO: seed corpus)" \
                    "$fuzzing/$target.log" || true
            else
                failed=1
                tail -n 60 "$fuzzing/$target.log"
            fi
        done
        rm -rf "$fuzzing"
        [ "$failed" -eq 0 ] || { echo "fuzz: a target found a fault" >&2; exit 1; }
        echo "fuzz: every target ran without finding a fault"
        # 4. The same sources and tests with Qt 6.
        build build-qt6 -DOTDR_QT_MAJOR=6 -DOTDR_BUILD_BENCH=OFF
        (cd build-qt6 && ctest -LE 'memcheck|bench')
        # 5. The Debian package installs and its otdr starts (installing needs root).
        if [ "$(id -u)" -eq 0 ]; then
            tools/check-package.sh build
        else
            echo "package check skipped: it installs the package, which needs root"
        fi
        # 6. The Windows build and its tests under Wine, where Qt for Windows has been built
        # (./build.sh windows, or OTDR_WINDOWS=1 here, builds it first: about 25 minutes).
        if [ -f "$windows_qt" ] || [ "${OTDR_WINDOWS:-}" = 1 ]; then
            tools/build-windows.sh build
        else
            echo "windows stage skipped: Qt for Windows is not built yet; run ./build.sh windows"
        fi
        ;;
    windows)
        tools/build-windows.sh build
        ;;
    package)
        (cd build && cpack -G DEB > /dev/null)
        echo "build/otdr_$(cat build/otdr-version.txt)_$(dpkg --print-architecture).deb"
        ;;
    screenshot)
        mkdir -p docs
        xvfb-run -a -s "-screen 0 480x400x24" tools/screenshot.sh build/bin/otdr-sim docs/screenshot.png
        xvfb-run -a -s "-screen 0 480x400x24" tools/screenshot.sh build/bin/otdr-sim docs/waiting.png waiting
        xvfb-run -a -s "-screen 0 1400x900x24" tools/screenshot.sh build/bin/otdr-sim docs/view.png view
        echo "docs/screenshot.png docs/waiting.png docs/view.png"
        ;;
    *)
        echo "usage: $0 run|real|view|test|package|windows|screenshot" >&2
        exit 2
        ;;
esac

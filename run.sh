#!/usr/bin/env bash
# One entry point for people and CI. Installs what is missing (Debian
# packages), configures, builds, and runs.
#
#   ./run.sh demo     build the ferlo program, then `ferlo demo` on the built-in sample
#   ./run.sh test     build, then the whole test suite (plain, ASan+UBSan, TSan,
#                     GNUstep, a short run of every fuzz target, and `macos`
#                     below when a macOS SDK is present)
#   ./run.sh build    build only (build/)
#   ./run.sh ferlo …  build the ferlo program, then run `ferlo …`
#   ./run.sh fuzz [S] build the libFuzzer targets with clang, run each for S
#                     seconds (default 20); see fuzz/run_fuzzers.sh
#   ./run.sh bench …  Release build (build-bench/), the benchmarks and their table,
#                     then peak memory of the 64 MB decode; see docs/PERFORMANCE.md
#   ./run.sh macos    cross-build the universal FerloFinderSync.appex (build-macos/)
#                     against the macOS SDK at $FERLO_MACOS_SDK (default
#                     /opt/MacOSX.sdk) and inspect it; unsigned (signing needs a Mac);
#                     links the AppKit test program too (it runs only on a Mac)
#
# On a Mac (Homebrew; the same steps as .github/workflows/macos.yml):
#   ./run.sh mac-deps    install the Homebrew formulae the macOS build needs
#   ./run.sh mac-test    native build of everything (build-mac/native), then the
#                        whole suite, then the Objective-C++ test program on AppKit
#   ./run.sh mac-bundle  universal arm64+x86_64 bundle only (build-mac/universal),
#                        signed (ad hoc unless FERLO_CODESIGN_IDENTITY is set),
#                        its signature and entitlements verified, inspected
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(cmake ninja-build g++ clang pkg-config libsimdjson-dev libutf8proc-dev libicu-dev
          libgtest-dev libgmock-dev libbenchmark-dev libclang-rt-14-dev libplist-dev python3)
# The benchmarks' peers (optional in the build) and /usr/bin/time for peak memory.
BENCH_PACKAGES=(nlohmann-json3-dev rapidjson-dev time)
# The Objective-C++ layer is proven on Linux against GNUstep, under a virtual display.
GNUSTEP_PACKAGES=(gnustep-devel libgnustep-gui-dev gnustep-back0.29 gnustep-gui-runtime xvfb xauth)
# The macOS bundle is cross-built with LLVM 19 (clang, ld64.lld, llvm-lipo) and
# inspected with LLVM's Mach-O tools and Python's plistlib.
MACOS_PACKAGES=(cmake ninja-build clang-19 lld-19 llvm-19 python3)
MACOS_SDK_DEFAULT=/opt/MacOSX.sdk
MACOS_ARCHS=(arm64 x86_64)

install_packages() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo "
  local by_hand="${sudo}apt-get update && ${sudo}apt-get install -y ${missing[*]}"
  if ! command -v apt-get >/dev/null; then
    echo "run.sh: missing packages ${missing[*]}, and this is not a Debian system (no apt-get):" >&2
    echo "run.sh: install their equivalents by hand (on Debian: $by_hand)" >&2
    return 1
  fi
  echo "run.sh: installing ${missing[*]}" >&2
  if ! { $sudo apt-get update -qq &&
         DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; }; then
    local unknown=()
    for p in "${missing[@]}"; do
      apt-cache show "$p" >/dev/null 2>&1 || unknown+=("$p")
    done
    echo "run.sh: installing ${missing[*]} failed (apt-get's reason is above)" >&2
    [ ${#unknown[@]} -eq 0 ] || echo "run.sh: not in this machine's package lists: ${unknown[*]}" >&2
    echo "run.sh: install them by hand: $by_hand" >&2
    return 1
  fi
}

# configure_and_build DIR [cmake options…]
configure_and_build() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFERLO_WERROR=ON "$@" >/dev/null
  cmake --build "$dir"
}

# build_program: the ferlo program and the bundle directory it reads, and
# nothing else. The build's progress goes to standard error, so that standard
# output is exactly the program's; a build with nothing to do prints nothing.
build_program() {
  local announced=0
  if [ ! -f build/build.ninja ]; then
    announced=1
    echo "run.sh: building the ferlo program in build/ (a first build compiles the extension's core: about a minute on a 2-core machine)" >&2
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFERLO_WERROR=ON >/dev/null
  fi
  # Ninja's lines as they come (read here line by line: mawk would pass them
  # on in blocks), less those it prints when everything is up to date.
  local line shown=$announced
  cmake --build build --target ferlo ferlo_bundle | while IFS= read -r line; do
    case $line in
      "ninja: Entering directory"* | "ninja: no work to do." | *"Re-checking globbed directories"*) continue ;;
    esac
    if [ "$shown" = 0 ]; then
      echo "run.sh: rebuilding the ferlo program in build/"
      shown=1
    fi
    printf '%s\n' "$line"
  done >&2
}

run_suite() {
  local dir=$1
  ctest --test-dir "$dir" --output-on-failure --timeout 600 -j2
}

# cross_build_macos SDK: one build tree per architecture under build-macos/,
# the executables joined into build-macos/FerloFinderSync.appex, inspected,
# then driven by the Linux build's ferlo program through --bundle.
# simdjson and utf8proc come from GitHub's release archives (or the same
# files from Debian's mirror) unless
# FERLO_DEPENDENCY_ARCHIVES or FETCHCONTENT_SOURCE_DIR_{SIMDJSON,UTF8PROC}
# (environment) say where they are on this machine.
cross_build_macos() {
  local sdk=$1 out=build-macos
  local options=(-DFERLO_MACOS_SDK="$sdk")
  for v in FERLO_DEPENDENCY_ARCHIVES FETCHCONTENT_SOURCE_DIR_SIMDJSON FETCHCONTENT_SOURCE_DIR_UTF8PROC; do
    if [ -n "${!v:-}" ]; then options+=(-D"$v=${!v}"); fi
  done
  local executables=()
  for arch in "${MACOS_ARCHS[@]}"; do
    cmake -S . -B "$out/$arch" -G Ninja --toolchain cmake/macos-cross.cmake --no-warn-unused-cli \
          -DCMAKE_BUILD_TYPE=Release \
          -DFERLO_WERROR=ON -DCMAKE_OSX_ARCHITECTURES="$arch" "${options[@]}" >/dev/null
    # LIBRARY_PATH names this machine's directories, which the Mach-O link must not search.
    # The AppKit test program too: it runs only on a Mac, but it compiles here.
    env -u LIBRARY_PATH cmake --build "$out/$arch" --target FerloFinderSync ferlo_appkit_tests
    executables+=("$out/$arch/appex/FerloFinderSync.appex/Contents/MacOS/FerloFinderSync")
  done
  local bundle=$out/FerloFinderSync.appex
  rm -rf "$bundle"
  cp -a "$out/${MACOS_ARCHS[0]}/appex/FerloFinderSync.appex" "$bundle"
  llvm-lipo-19 -create "${executables[@]}" -output "$bundle/Contents/MacOS/FerloFinderSync"
  local min_os
  min_os=$(sed -n 's/^CMAKE_OSX_DEPLOYMENT_TARGET:STRING=//p' "$out/${MACOS_ARCHS[0]}/CMakeCache.txt")
  python3 tests/bundle/inspect_bundle.py "$bundle" --min-os "$min_os" --resources resources \
          --archs "$(IFS=,; echo "${MACOS_ARCHS[*]}")"
  configure_and_build build >/dev/null
  tests/bundle/simulate_bundle.sh build/tools/ferlo "$bundle"
  echo "$bundle: universal (${MACOS_ARCHS[*]}), unsigned: code signing needs a Mac (see the README)"
}

# --- macOS, natively (Homebrew) ------------------------------------------------
# Tools, then the libraries of the stand-in, the tests and the benchmarks.
# simdjson and utf8proc are not among them: the configuration builds them
# from their release archives (cmake/macos_dependencies.cmake).
MAC_TOOLS=(cmake:cmake ninja:ninja pkg-config:pkg-config python3:python)
MAC_LIBRARIES=(icu4c libplist googletest google-benchmark)
MAC_NATIVE=build-mac/native
MAC_UNIVERSAL=build-mac/universal

require_mac() {
  if [ "$(uname -s)" != Darwin ]; then
    echo "run.sh $1: runs on macOS only (on Linux, ./run.sh macos cross-builds the bundle)" >&2
    exit 2
  fi
  if ! command -v brew >/dev/null; then
    echo "run.sh $1: needs Homebrew (brew) on PATH" >&2
    exit 2
  fi
}

# A tool already on PATH is kept whoever installed it (CI images bring
# cmake and python3); libraries come from Homebrew.
mac_deps() {
  local missing=() entry
  for entry in "${MAC_TOOLS[@]}"; do
    command -v "${entry%%:*}" >/dev/null || missing+=("${entry#*:}")
  done
  for entry in "${MAC_LIBRARIES[@]}"; do
    brew list --versions "$entry" >/dev/null 2>&1 || missing+=("$entry")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    brew install "${missing[@]}"
  fi
  xcrun --show-sdk-path >/dev/null || { echo "run.sh mac-deps: no macOS SDK: xcode-select --install" >&2; exit 1; }
  echo "icu4c is keg-only; ./run.sh mac-test and mac-bundle set this themselves:"
  echo "  export PKG_CONFIG_PATH=\"$(brew --prefix icu4c)/lib/pkgconfig:\$PKG_CONFIG_PATH\""
}

# MAC_OPTIONS: the identities, the signing identity, the host application
# and the dependency sources, passed on from the environment when set.
# (macOS's own bash is 3.2: no mapfile, and an empty array under set -u
# needs the ${a[@]+…} form.)
mac_options() {
  local v
  MAC_OPTIONS=()
  for v in FERLO_HOST_BUNDLE_IDENTIFIER FERLO_TEAM_IDENTIFIER FERLO_CODESIGN_IDENTITY FERLO_HOST_APP \
           FERLO_HOST_SIGN FERLO_HOST_ENTITLEMENTS FERLO_CODESIGN \
           FERLO_DEPENDENCY_ARCHIVES FETCHCONTENT_SOURCE_DIR_SIMDJSON FETCHCONTENT_SOURCE_DIR_UTF8PROC; do
    if [ -n "${!v:-}" ]; then MAC_OPTIONS+=("-D$v=${!v}"); fi
  done
}

# One tree for this Mac's architecture with Homebrew's libraries: everything
# built, the whole suite, then the Objective-C++ test program on AppKit.
mac_test() {
  mac_options
  export PKG_CONFIG_PATH="$(brew --prefix icu4c)/lib/pkgconfig${PKG_CONFIG_PATH:+:$PKG_CONFIG_PATH}"
  cmake -S . -B "$MAC_NATIVE" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFERLO_WERROR=ON \
        -DCMAKE_PREFIX_PATH="$(brew --prefix)" ${MAC_OPTIONS[@]+"${MAC_OPTIONS[@]}"}
  cmake --build "$MAC_NATIVE"
  ctest --test-dir "$MAC_NATIVE" --output-on-failure --timeout 600 -j2 -LE appkit
  ctest --test-dir "$MAC_NATIVE" --output-on-failure --no-tests=error -L appkit
}

# The universal bundle alone (no Homebrew library is linked: they are of one
# architecture), signed by its build, then its signature checked, the signed
# entitlements compared with the configured ones, and the inspection.
mac_bundle() {
  local bundle=$MAC_UNIVERSAL/appex/FerloFinderSync.appex
  mac_options
  cmake -S . -B "$MAC_UNIVERSAL" -G Ninja -DCMAKE_BUILD_TYPE=Release -DFERLO_WERROR=ON \
        -DCMAKE_OSX_ARCHITECTURES="arm64;x86_64" -DFERLO_BUNDLE_ONLY=ON ${MAC_OPTIONS[@]+"${MAC_OPTIONS[@]}"}
  cmake --build "$MAC_UNIVERSAL" --target FerloFinderSync
  codesign --verify --strict --verbose=2 "$bundle"
  python3 tests/bundle/check_entitlements.py "$bundle" "$MAC_UNIVERSAL/appex/FerloFinderSync.entitlements"
  ctest --test-dir "$MAC_UNIVERSAL" --output-on-failure --no-tests=error -L bundle
}

command=${1:-help}
case "$command" in
  build)
    install_packages "${PACKAGES[@]}"
    configure_and_build build
    ;;
  demo)
    install_packages "${PACKAGES[@]}"
    build_program
    ./build/tools/ferlo demo
    ;;
  ferlo)
    shift
    install_packages "${PACKAGES[@]}"
    build_program
    exec ./build/tools/ferlo "$@"
    ;;
  test)
    install_packages "${PACKAGES[@]}"
    echo "== plain build"
    configure_and_build build
    run_suite build
    echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
    configure_and_build build-asan -DFERLO_SANITIZE=address,undefined -DFERLO_BUILD_BENCH=OFF
    run_suite build-asan
    echo "== ThreadSanitizer"
    configure_and_build build-tsan -DFERLO_SANITIZE=thread -DFERLO_BUILD_BENCH=OFF
    run_suite build-tsan
    echo "== Objective-C++ layer on GNUstep"
    install_packages "${GNUSTEP_PACKAGES[@]}"
    cmake -S . -B build-gnustep -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFERLO_WERROR=ON \
          -DFERLO_BUILD_BENCH=OFF -DFERLO_BUILD_GNUSTEP=ON >/dev/null
    cmake --build build-gnustep --target ferlo_gnustep_tests
    ctest --test-dir build-gnustep -L gnustep --output-on-failure
    echo "== Every fuzz target, briefly"
    ./fuzz/run_fuzzers.sh 15
    sdk=${FERLO_MACOS_SDK:-$MACOS_SDK_DEFAULT}
    if [ -z "${FERLO_MACOS_SDK:-}" ] && [ ! -d "$sdk" ]; then
      echo "== macOS bundle cross-build skipped: no macOS SDK (FERLO_MACOS_SDK is not set and $sdk does not exist)"
    else
      echo "== macOS bundle, cross-built for ${MACOS_ARCHS[*]} against $sdk"
      install_packages "${MACOS_PACKAGES[@]}"
      cross_build_macos "$sdk"
    fi
    ;;
  macos)
    install_packages "${PACKAGES[@]}" "${MACOS_PACKAGES[@]}"
    cross_build_macos "${FERLO_MACOS_SDK:-$MACOS_SDK_DEFAULT}"
    ;;
  fuzz)
    install_packages "${PACKAGES[@]}"
    ./fuzz/run_fuzzers.sh "${2:-20}"
    ;;
  bench)
    shift
    install_packages "${PACKAGES[@]}" "${BENCH_PACKAGES[@]}"
    # -O3 makes GCC 12 see a false -Wrestrict in libstdc++'s string code.
    cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DFERLO_WERROR=ON \
          -DCMAKE_CXX_FLAGS=-Wno-error=restrict >/dev/null
    cmake --build build-bench --target ferlo_bench decode_driver
    ./build-bench/bench/ferlo_bench "$@"
    echo
    echo "== Peak memory of one decode of the 64 MB manifest (/usr/bin/time -v)"
    manifest=$(mktemp -d)/rules.json
    ./build-bench/bench/decode_driver write 64MB "$manifest" >/dev/null
    for run in "load ferlo" "decode ferlo" "decode simdjson-dom" "decode rapidjson" "decode nlohmann" "decode read"; do
      # shellcheck disable=SC2086
      /usr/bin/time -v ./build-bench/bench/decode_driver $run "$manifest" 2>"$manifest.time" |
        sed 's/^/  /'
      grep "Maximum resident" "$manifest.time" | sed 's/^\s*/    \/usr\/bin\/time: /'
    done
    rm -rf "$(dirname "$manifest")"
    ;;
  mac-deps)
    require_mac "$command"
    mac_deps
    ;;
  mac-test)
    require_mac "$command"
    mac_test
    ;;
  mac-bundle)
    require_mac "$command"
    mac_bundle
    ;;
  *)
    # The comment block at the top of this file.
    sed -n '2,/^[^#]/p' "$0" | sed -e '$d' -e 's/^# \{0,1\}//'
    [ "$command" = help ] || exit 2
    ;;
esac

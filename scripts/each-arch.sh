#!/usr/bin/env bash
# Runs one `make` action on the build trees this machine can use.
#   build        configures and builds them; the i686 stub, which is the
#                product, and zimbro-pack are built on every machine
#   test         the product's image check, the packer's tests under
#                ThreadSanitizer, then every tree's tests; says where the
#                tests ran, first and last
#   bench        the packer's figures once, then the benchmarks of every
#                tree, each headed by its build
#   fuzz         every tree's fuzzers (scripts/fuzz.sh), each headed by its
#                build; fails when any fuzzer found an input wanting
#   test-large   the real sizes, once (scripts/test-large.sh): the packer's
#                half once, the stub's install on every tree
#   demo, screenshots
#                one tree: the i686 product where this machine starts 32-bit
#                programs, the x86-64 copy otherwise; says which
# The trees, configured from the same CMakeLists by the presets of
# CMakePresets.json (named as ARCH names them): build/ (i686) and build/x64/
# (x86-64). This script decides which of them this machine builds and runs.
# Usage: ARCH=auto|i686|x64 scripts/each-arch.sh ACTION
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
action=${1:?usage: each-arch.sh build|test|test-large|bench|fuzz|demo|screenshots}
jobs=$(nproc)

eval "$(scripts/arches.sh "${ARCH:-auto}")"
read -r -a arches <<<"$ZIMBRO_ARCHES"

# The binary folder of each preset, for ctest and the descriptions.
tree() { [ "$1" = x64 ] && echo build/x64 || echo build; }
describe() { [ "$1" = x64 ] && echo "x64 build ($(tree x64)/, 64-bit Wine)" || echo "i686 build ($(tree i686)/, 32-bit Wine)"; }
has() { local a; for a in "${arches[@]}"; do [ "$a" = "$1" ] && return 0; done; return 1; }

build_all() {
  # The product first, whatever runs the tests; where its tests cannot run,
  # only the targets the other tree's tests and the benchmarks need.
  cmake --preset i686 >/dev/null
  if has i686; then
    cmake --build --preset i686 -j "$jobs"
  else
    cmake --build --preset i686-product -j "$jobs"
  fi
  if has x64; then
    cmake --preset x64 >/dev/null
    cmake --build --preset x64 -j "$jobs"
  fi
}

case $action in
  build)
    build_all ;;

  test)
    echo "tests will run on: $ZIMBRO_ARCHES_NOTE"
    build_all
    results=() status=0
    if ! has i686; then
      # Only the image check of the product: it reads the file, no Wine.
      # (Not through ctest: loading the i686 tree's test list would start
      # the 32-bit test executables to discover their cases.)
      echo "== product stub image check (i686, no Wine needed)"
      if scripts/check-stub.sh build/zimbro-sfx.exe i686; then
        results+=("i686 stub image: passed")
      else
        results+=("i686 stub image: FAILED"); status=1
      fi
    fi
    # The packer is native: its checking build runs on every machine.
    echo "== zimbro-pack under ThreadSanitizer (native)"
    if scripts/pack-tsan.sh; then
      results+=("zimbro-pack under ThreadSanitizer: passed")
    else
      results+=("zimbro-pack under ThreadSanitizer: FAILED"); status=1
    fi
    for arch in "${arches[@]}"; do
      echo "== tests of the $(describe "$arch")"
      # Every test runs once: a failure is a fault to find, never retried.
      if ZIMBRO_ARCH=$arch scripts/with-wine.sh ctest --test-dir "$(tree "$arch")" -j "$jobs" \
           --output-on-failure --timeout 120 --no-tests=error; then
        results+=("$arch: passed")
      else
        results+=("$arch: FAILED"); status=1
      fi
    done
    printf '%s\n' "${results[@]}"
    echo "tests ran on: $ZIMBRO_ARCHES_NOTE"
    exit $status ;;

  bench)
    echo "benchmarks will run on: $ZIMBRO_ARCHES_NOTE"
    build_all
    echo "==== zimbro-pack (native, the same on every build) against zip -9"
    scripts/pack-bench.sh
    for arch in "${arches[@]}"; do
      echo "==== benchmarks of the $(describe "$arch"): figures of one build are not comparable with the other's"
      ZIMBRO_ARCHES=$ZIMBRO_ARCHES ZIMBRO_ARCH=$arch scripts/with-wine.sh scripts/bench.sh
    done
    echo "benchmarks ran on: $ZIMBRO_ARCHES_NOTE" ;;

  fuzz)
    build_all
    status=0
    for arch in "${arches[@]}"; do
      echo "==== fuzzers of the $(describe "$arch")"
      ZIMBRO_ARCHES=$ZIMBRO_ARCHES ZIMBRO_ARCH=$arch scripts/with-wine.sh scripts/fuzz.sh || status=1
    done
    exit $status ;;

  test-large)
    build_all
    for arch in "${arches[@]}"; do
      echo "==== test-large with the $(describe "$arch")"
      ZIMBRO_ARCH=$arch scripts/with-wine.sh scripts/test-large.sh
    done ;;

  demo|screenshots)
    arch=${arches[0]}
    echo "$action will run on: $(describe "$arch") — builds here: $ZIMBRO_ARCHES_NOTE"
    build_all
    status=0
    ZIMBRO_ARCH=$arch scripts/with-wine.sh "scripts/$action.sh" || status=$?
    echo "$action ran on: $(describe "$arch") — builds here: $ZIMBRO_ARCHES_NOTE"
    exit $status ;;

  *) echo "unknown action $action" >&2; exit 2 ;;
esac

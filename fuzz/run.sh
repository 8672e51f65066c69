#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) in build/fuzz and runs each for a
# bounded time: fuzz/run.sh [seconds per target, default 60] [target...].
# Fails if the toolchain is missing or any target finds a crash, leak or timeout.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
seconds="${1:-60}"
shift || true
targets=("$@")
((${#targets[@]})) || targets=(netlist torder design)

apt_install() {
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "$@"
}
command -v clang++ >/dev/null || apt_install clang
# libFuzzer ships apart from the compiler, in the runtime package of clang's own version.
clang_major="$(clang++ -dumpversion | cut -d. -f1)"
fuzzer_lib="$(clang++ -print-file-name=libclang_rt.fuzzer-x86_64.a)"
[ -f "$fuzzer_lib" ] || apt_install "libclang-rt-${clang_major}-dev"
fuzzer_lib="$(clang++ -print-file-name=libclang_rt.fuzzer-x86_64.a)"
[ -f "$fuzzer_lib" ] || { echo "fuzz: libFuzzer runtime for clang ${clang_major} missing" >&2; exit 1; }

cmake_bin=cmake
[ -x .venv/bin/cmake ] && cmake_bin=.venv/bin/cmake
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
[ -x .venv/bin/ninja ] && generator=(-G Ninja -DCMAKE_MAKE_PROGRAM="$PWD/.venv/bin/ninja")
"$cmake_bin" -S fuzz -B build/fuzz "${generator[@]}" -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE= >/dev/null
"$cmake_bin" --build build/fuzz -j2

export ASAN_OPTIONS="${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
for t in "${targets[@]}"; do
  work="build/fuzz/corpus/$t"
  artifacts="build/fuzz/artifacts/$t/"
  mkdir -p "$work" "$artifacts"
  echo "fuzz: $t for ${seconds}s"
  # New inputs go to the work corpus; the committed seeds are only read.
  build/fuzz/fuzz_"$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -max_len=8192 -dict=fuzz/json.dict -artifact_prefix="$artifacts" -print_final_stats=1 \
    "$work" "fuzz/corpus/$t" 2>"build/fuzz/$t.log" || {
    tail -n 60 "build/fuzz/$t.log" >&2
    echo "fuzz: $t failed; reproduce with build/fuzz/fuzz_$t $artifacts<file>" >&2
    exit 1
  }
  grep -E '^stat::number_of_executed_units|^#[0-9]+.*DONE' "build/fuzz/$t.log" || true
done

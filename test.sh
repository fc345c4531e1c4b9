#!/usr/bin/env bash
# Installs what is missing (as root), builds, and runs every test: the CTest
# suite, the same suite under AddressSanitizer and UBSan, and each fuzz
# target over its corpus followed by a short fuzzing run.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh

# A short run per target on every change; the corpora carry what longer runs
# (fuzz/run) found. Kept short so the whole script stays within its time on
# a 2-core machine as targets are added.
FUZZ_SECONDS=${FUZZ_SECONDS:-10}
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT

tapewell_install_packages

echo "== format"
# Our C++ is kept as clang-format leaves it (.clang-format); a file that
# differs is shown with the change it needs.
find src tests fuzz tools bench -name '*.cpp' -o -name '*.h' | sort \
  | xargs clang-format --dry-run --Werror

echo "== build"
tapewell_build build -DTAPEWELL_WERROR=ON
# A test that fails is run once more: GStreamer, the servers and the
# processes the tests start share two cores, and a test that passes on its
# second run is named in the summary rather than passed over in silence.
ctest_run() {
  ctest --output-on-failure -j 2 --repeat until-pass:2 "$@"
}

echo "== tests"
(cd build && ctest_run) | tee "$logs/main.txt"

echo "== build with AddressSanitizer and UBSan"
# Line tables keep the sanitizers' reports readable; the full debug
# information would only make the build a fifth slower.
tapewell_build build-asan -DTAPEWELL_SANITIZE=ON -DTAPEWELL_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG"
echo "== tests with AddressSanitizer and UBSan"
# tests/lsan.supp names the one allocation of GLib's that LeakSanitizer cannot
# follow; matching it needs full unwinding, as GLib has no frame pointers.
lsan_supp="$PWD/tests/lsan.supp"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1:fast_unwind_on_malloc=0 \
  LSAN_OPTIONS=suppressions="$lsan_supp" UBSAN_OPTIONS=print_stacktrace=1 \
  ctest_run) | tee "$logs/asan.txt"

fuzzed=0
if command -v clang++ >/dev/null; then
  echo "== fuzz targets"
  CXX=clang++ tapewell_build build-fuzz -DTAPEWELL_FUZZ=ON -DTAPEWELL_WERROR=ON
  for corpus in fuzz/corpus/*/; do
    name=$(basename "$corpus")
    target=build-fuzz/bin/fuzz_$name
    # Inputs that once crashed a target (kept by fuzz/run) are replayed too.
    regressions=()
    [ -d "tests/fuzz-regressions/$name" ] && regressions=("tests/fuzz-regressions/$name")
    echo "-- $name: replay $(ls "$corpus" | wc -l) corpus files, then fuzz ${FUZZ_SECONDS}s"
    "$target" -runs=0 "$corpus" "${regressions[@]}" >"$logs/$name.log" 2>&1 \
      || { cat "$logs/$name.log"; exit 1; }
    work=$(mktemp -d -p "$logs")
    "$target" -max_total_time="$FUZZ_SECONDS" -artifact_prefix="$logs/" -print_final_stats=0 \
      "$work" "$corpus" >"$logs/$name.log" 2>&1 || { cat "$logs/$name.log"; exit 1; }
    fuzzed=$((fuzzed + 1))
  done
else
  echo "== fuzz targets skipped: clang++ is not installed"
fi

echo
echo "== summary"
grep -h 'tests passed' "$logs/main.txt" | sed 's/^/main:  /'
grep -h 'tests passed' "$logs/asan.txt" | sed 's/^/asan:  /'
# A test that failed once and then passed: worth a look, though not red.
for run in main asan; do
  grep -hoE 'Test +#[0-9]+: [^ ]+ [.]*\*\*\*(Failed|Timeout|Exception)' "$logs/$run.txt" \
    | sed -E "s/^Test +#[0-9]+: ([^ ]+).*\*\*\*(.*)$/$run:  passed on its second run: \1 (\2 first)/" \
    || true
done
echo "fuzz:  $fuzzed targets replayed and fuzzed without a finding"
total=$(grep -ho 'out of [0-9]*' "$logs/main.txt" "$logs/asan.txt" | awk '{s += $3} END {print s}')
echo "$((total + fuzzed)) passed, 0 failed"

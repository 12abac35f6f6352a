#!/bin/sh
# Builds the fuzz targets with clang in their own build folder and runs each
# for a bounded time from its seed corpus. Any crash, hang or sanitizer
# report fails. Exit 77 (skipped) without clang's libFuzzer.
# Usage: run_fuzzers.sh SOURCE_DIR BUILD_DIR [SECONDS_EACH]
set -eu
SRC=$1
BUILD=$2
SECONDS_EACH=${3:-15}
CXX=$(command -v clang++ || true)
if [ -z "$CXX" ]; then
    echo "skipped: clang++ is not installed"; exit 77
fi
probe=$(mktemp -d)
printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long){return 0;}\n' > "$probe/p.cpp"
if ! "$CXX" -fsanitize=fuzzer "$probe/p.cpp" -o "$probe/p" 2>/dev/null; then
    rm -rf "$probe"; echo "skipped: clang has no libFuzzer"; exit 77
fi
rm -rf "$probe"

[ -f "$BUILD/build.ninja" ] || cmake -S "$SRC" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER="$CXX" -DTHARNVIK_FUZZ=ON >/dev/null
cmake --build "$BUILD" --target fuzzers -j "$(nproc)"

export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export QT_QPA_PLATFORM=offscreen
status=0
for target in fuzz_answer fuzz_text fuzz_bootloader fuzz_announcement fuzz_pedal fuzz_versions \
              fuzz_settings fuzz_presets fuzz_snapshot fuzz_upload fuzz_look fuzz_sysfs; do
    corpus="$BUILD/corpus/$target"
    mkdir -p "$corpus"
    # The seeds stay as they are in the repository; what the run finds goes
    # into the build folder.
    if ! (cd "$BUILD" && "$BUILD/tests/fuzz/$target" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 \
            -max_len=4096 -print_final_stats=0 "$corpus" "$SRC/tests/fuzz/corpus/$target" \
            >"$BUILD/$target.log" 2>&1); then
        echo "FAIL: $target (see $BUILD/$target.log)"
        tail -40 "$BUILD/$target.log"
        status=1
    else
        echo "ok: $target $(grep -o 'Done [0-9]* runs' "$BUILD/$target.log" | tail -1)"
    fi
done
exit $status

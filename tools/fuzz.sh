#!/usr/bin/env bash
# Builds the fuzz targets (fuzz/) with clang, libFuzzer, AddressSanitizer and
# UBSan, and runs each for SECONDS (60 unless given) from its seed corpus
# fuzz/corpus/NAME and its dictionary fuzz/dict/NAME.dict where there is one.
# New inputs go to build-fuzz/run/NAME, so the committed corpus stays as it
# is. Exits non-zero on any crash, leak, sanitizer report or mismatch with a
# reference; the input that caused it is kept in build-fuzz/crashes/.
#
#   tools/fuzz.sh [SECONDS]              find faults
#   tools/fuzz.sh --coverage [SECONDS]   also report the lines each target
#                                        reaches of its sources (build-fuzz-cov)
set -euo pipefail
cd "$(dirname "$0")/.."

coverage=0
if [[ "${1:-}" == --coverage ]]; then
    coverage=1
    shift
fi
seconds="${1:-60}"
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || ((seconds < 1)); then
    echo "usage: tools/fuzz.sh [--coverage] [SECONDS]" >&2
    exit 2
fi

tools/install-deps.sh fuzz

build=build-fuzz
cmake -S fuzz -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build"

mapfile -t targets < <(find "$build" -maxdepth 1 -type f -name 'fuzz_*' -perm -u+x -printf '%f\n' | sed 's/^fuzz_//' | sort)
if ((${#targets[@]} == 0)); then
    echo "fuzz: no targets were built" >&2
    exit 1
fi

export ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
export QT_QPA_PLATFORM=offscreen

mkdir -p "$build/crashes"
executions=0
crashes=0
for target in "${targets[@]}"; do
    seeds="fuzz/corpus/$target"
    scratch="$build/run/$target"
    log="$build/run/$target.log"
    rm -rf "$scratch"
    mkdir -p "$scratch" "$seeds"
    options=(-max_total_time="$seconds" -timeout=30 -rss_limit_mb=2560 -print_final_stats=1
        -artifact_prefix="$build/crashes/$target-")
    if [[ -f "fuzz/dict/$target.dict" ]]; then
        options+=(-dict="fuzz/dict/$target.dict")
    fi
    # The scratch folder first: libFuzzer writes what it finds to the first one.
    status=0
    "$build/fuzz_$target" "${options[@]}" "$scratch" "$seeds" >"$log" 2>&1 || status=$?
    done_line="$(grep -E '^Done [0-9]+ runs in [0-9]+ second' "$log" | tail -n 1 || true)"
    runs="$(grep -E '^stat::number_of_executed_units:' "$log" | tail -n 1 | awk '{print $2}' || true)"
    executions=$((executions + ${runs:-0}))
    if ((status != 0)) || [[ -z "$done_line" ]]; then
        crashes=$((crashes + 1))
        echo "fuzz_$target: FAILED (exit status $status); the run's report:"
        grep -v -E '^#[0-9]+|^INFO:|^MS:|^base unit:|^\s*$' "$log" | head -n 60 || true
        artifact="$(grep -oE "Test unit written to \S+" "$log" | tail -n 1 | awk '{print $5}' || true)"
        echo "fuzz_$target: the input is kept in ${artifact:-(none written; see $log)}"
        echo "fuzz_$target: run it again with: $build/fuzz_$target ${artifact:-INPUT}"
    else
        echo "fuzz_$target: $done_line"
    fi
done

echo "fuzz: ${#targets[@]} targets, $executions executions, $crashes crashes"

if ((coverage)); then
    # The same targets built for coverage, replaying the committed corpus and
    # what this run found; each reports the lines it reaches of its sources.
    cov=build-fuzz-cov
    cmake -S fuzz -B "$cov" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DQUILLORY_FUZZ_COVERAGE=ON >/dev/null
    cmake --build "$cov" >/dev/null
    for target in "${targets[@]}"; do
        rm -f "$cov/$target".prof*
        LLVM_PROFILE_FILE="$cov/$target.profraw" "$cov/fuzz_$target" -runs=0 \
            "fuzz/corpus/$target" "$build/run/$target" >/dev/null 2>&1 || true
        llvm-profdata-14 merge -sparse "$cov/$target.profraw" -o "$cov/$target.profdata"
        echo "coverage of fuzz_$target:"
        # The files it reaches at all; they include window code it never calls.
        llvm-cov-14 report "$cov/fuzz_$target" -instr-profile="$cov/$target.profdata" \
            -ignore-filename-regex="^/usr/|^$PWD/fuzz/|_autogen/" |
            awk '$1 ~ /\.(cpp|h)$/ && $10 != "0.00%" { printf "  %-32s %6s of %5s lines\n", $1, $10, $8 }' 
    done
fi

((crashes == 0))

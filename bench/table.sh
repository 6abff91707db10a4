#!/bin/bash
# Runs bench_pipeline and bench_window at 1, 10 and 50 million lines, each
# with one and with two threads, and prints one markdown table. Builds
# nothing: build the two benchmarks first (see bench/README.md).
#
#     bench/table.sh [lines...]        # default: 1000000 10000000 50000000
#
# BUILD (default build-release) names the build folder. An input this script
# had to generate is removed at the end unless KEEP_INPUT=1.
set -u -o pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-$root/build-release}
pipeline=$build/bench/bench_pipeline
window=$build/bench/bench_window
for program in "$pipeline" "$window" "$build/bench/bench_wmping"; do
    [ -x "$program" ] || { echo "missing $program: build it first" >&2; exit 1; }
done
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(1000000 10000000 50000000)

logs=$(mktemp -d /tmp/quillory_table_XXXXXX)
generated=()
cleanup() {
    rm -rf "$logs"
    [ "${KEEP_INPUT:-0}" = 1 ] || for f in "${generated[@]}"; do rm -f "$f"; done
}
trap cleanup EXIT

# Free space /tmp needs for a count: the input (about 13.6 bytes a line), the
# window's two pairs of reference outputs and the program's two lists.
needed_mb() { echo $(($1 * 14 * 4 / 1000000 + 200)); }

# The first number after a label (its first occurrence) on the line naming the stage.
field() { # file line-prefix label
    grep -m1 -E "^$2" "$1" | grep -oE "$3 *[-+]?[0-9]+\.?[0-9]*" | head -1 | grep -oE "[-+]?[0-9]+\.?[0-9]*$"
}
# The first time in seconds on the line.
secs() { # file line-prefix
    grep -m1 -E "^$2" "$1" | grep -oE "[0-9]+\.[0-9]+ s" | head -1 | cut -d' ' -f1
}
# The first number after the stage name.
first() { # file line-prefix
    grep -m1 -E "^$2" "$1" | sed -nE "s/^$2[^0-9]*([0-9]+\.?[0-9]*).*/\1/p"
}
# The time the file dialog took to close, printed on the line after the stage's.
dialog_ms() { # file stage
    awk -v stage="$2 " 'index($0, stage) == 1 { found = 1; next }
        found { if ($0 ~ /^  of it, until the file dialog/) { sub(/ ms$/, ""); print $NF } exit }' "$1"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a == "" || b == "" || b == 0) print "?"; else printf "%.2f", a / b }'; }
or_q() { [ -n "$1" ] && echo "$1" || echo "?"; }

rows=()
for lines in "${counts[@]}"; do
    input=/tmp/quillory_bench_pipeline_$lines.txt
    free=$(df -Pm /tmp | awk 'NR == 2 { print $4 }')
    need=$(needed_mb "$lines")
    [ -e "$input" ] && need=$((need - lines * 14 / 1000000))
    if [ "$free" -lt "$need" ]; then
        echo "skipping $lines lines: /tmp has $free MB free, needs about $need MB" >&2
        continue
    fi
    [ -e "$input" ] || generated+=("$input")
    for threads in 1 2; do
        p=$logs/pipeline_${lines}_$threads.txt
        w=$logs/window_${lines}_$threads.txt
        echo "bench_pipeline $lines, QUILLORY_THREADS=$threads ..." >&2
        QUILLORY_THREADS=$threads "$pipeline" "$lines" > "$p" 2>&1 || echo "  bench_pipeline failed (see below)" >&2
        echo "bench_window $lines, QUILLORY_THREADS=$threads ..." >&2
        QUILLORY_THREADS=$threads "$window" "$lines" > "$w" 2>&1 || {
            echo "  bench_window failed:" >&2
            tail -5 "$w" >&2
        }
        shown=$(echo "$lines" | sed -E ':a; s/([0-9])([0-9]{3})($|,)/\1,\2\3/; ta')
        wthreads=$(or_q "$(sed -nE 's/^threads ([0-9]+).*/\1/p' "$w" | head -1)")
        for stage in "import" "validate" "save valid list" "save invalid list" "whole"; do
            pstage=$stage
            [ "$stage" = whole ] && pstage=import-validate-save
            pw=$(or_q "$(first "$p" "$pstage ")")
            prss=$(or_q "$(field "$p" "$pstage " "peak RSS")")
            win=$(or_q "$(field "$w" "$stage " "in-process")")
            wout=$(or_q "$(field "$w" "$stage " "outside")")
            widle=$(or_q "$(field "$w" "$stage " "idle")")
            wping=$(or_q "$(field "$w" "$stage " "longest ping")")
            wrss=$(or_q "$(field "$w" "$stage " "peak RSS")")
            wrsso=$(or_q "$(grep -m1 -E "^$stage " "$w" | sed -nE 's/.*MiB, outside *([0-9.]+) MiB.*/\1/p')")
            wdialog=$(dialog_ms "$w" "$stage")
            [ -n "$wdialog" ] && wdialog="$wdialog ms"
            rows+=("| $shown | $wthreads | $stage | $pw s | $prss MiB | $win s | $wout s | $widle s | $wdialog | $wping ms | $wrss / $wrsso MiB |")
        done
        grep_s=$(secs "$w" "grep ")
        grep_rss=$(field "$w" "grep " "peak RSS")
        hand_s=$(secs "$w" "hand matcher")
        hand_rss=$(field "$w" "hand matcher" "peak RSS")
        whole_in=$(field "$w" "whole " "in-process")
        whole_out=$(field "$w" "whole " "outside")
        rows+=("| $shown | $wthreads | grep, two passes | | | $(or_q "$grep_s") s | | | | | $(or_q "$grep_rss") MiB |")
        rows+=("| $shown | $wthreads | hand matcher, one thread | | | $(or_q "$hand_s") s | | | | | $(or_q "$hand_rss") MiB |")
        rows+=("| $shown | $wthreads | whole / hand matcher | | | $(ratio "$whole_in" "$hand_s") | $(ratio "$whole_out" "$hand_s") | | | | |")
        rows+=("| $shown | $wthreads | whole / grep | | | $(ratio "$whole_in" "$grep_s") | $(ratio "$whole_out" "$grep_s") | | | | |")
        grep -h -E "^(message|FAILED|the )" "$p" "$w" >&2
    done
done

echo "Load average at the end: $(cut -d' ' -f1-3 /proc/loadavg); $(nproc) cores."
echo
echo "| lines | threads | stage | pipeline wall | pipeline peak RSS | window in-process | window outside | window idle | of it, file dialog closing | longest ping | window peak RSS (in / outside) |"
echo "|---|---|---|---|---|---|---|---|---|---|---|"
printf '%s\n' "${rows[@]}"

#!/usr/bin/env bash
# The layer check finds each kind of upward include in a small made-up tree,
# and passes the same tree without it.
#
# Usage: tests/tst_layers.sh path/to/check-layers.sh
set -uo pipefail

check=$1
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
failures=0

put()
{
    mkdir -p "$tree/$(dirname "$1")"
    printf '%b' "$2" > "$tree/$1"
}

# Includes that point down, or stay within a folder.
put text/codec.cpp '#include "text/codec.h"\n#include <QString>\n'
put platform/failure.cpp '#include "platform/failure.h"\n'
put app/list/listview.cpp '#include "app/list/listview.h"\n#include "platform/failure.h"\n#include "text/codec.h"\n'
put input/textimport.cpp '#include "app/form1.h"\n#include "app/list/listview.h"\n#include "text/codec.h"\nvoid Form1::PushButton3_Click() {}\n'
put export/workbook.cpp '#include "export/workbook.h"\n#include "app/list/listview.h"\n#include "platform/failure.h"\n'
put validation/phone.h '#include "app/form1.h"\n'
put app/form1.cpp '#include "app/form1.h"\n#include "export/workbook.h"\n#include "input/textimport.h"\n'

if ! "$check" "$tree"; then
    echo "FAIL: a tree whose includes point down was refused" >&2
    failures=$((failures + 1))
fi

# expectRefused FILE TEXT: the check fails with FILE added, and names it.
expectRefused()
{
    put "$1" "$2"
    local output
    if output=$("$check" "$tree" 2>&1); then
        echo "FAIL: $1 with $2 passed the check" >&2
        failures=$((failures + 1))
    elif ! grep -q "^$1: " <<<"$output"; then
        echo "FAIL: the check refused $1 without naming it: $output" >&2
        failures=$((failures + 1))
    fi
    rm "$tree/$1"
}

expectRefused platform/qtplatform.cpp '#include "platform/qtplatform.h"\n#include "app/errorreport.h"\n'
expectRefused platform/fake.h '#  include "app/list/listview.h"\n'
expectRefused platform/codec.cpp '#include "text/codec.h"\n'
expectRefused text/clip.cpp '#include "platform/platform.h"\n'
expectRefused app/list/view.cpp '#include "app/errorreport.h"\n'
expectRefused app/list/model.h '#include "validation/phone.h"\n'
expectRefused app/list/paste.cpp '#include "input/textimport.h"\n'
expectRefused input/paste.cpp '#include "export/clipboard.h"\nvoid Form1::Paste() {}\n'
expectRefused export/paddedtext.h '#include "input/windows1252.h"\n'
expectRefused export/xlsxworkbook.cpp '#include "app/errorreport.h"\n'

if [ "$failures" -ne 0 ]; then
    echo "$failures case(s) failed" >&2
    exit 1
fi
echo "every upward include was refused; the downward tree passed"

#!/usr/bin/env bash
# Checks that the source folders' includes point down the layers, bottom to
# top: text/ and platform/ (side by side), app/list/, the subsystems
# (validation/, input/, export/), then app/.
#
#   text/       includes nothing of another folder
#   platform/   includes nothing of another folder
#   app/list/   includes only app/list/, platform/ and text/
#   input/ and export/ never include each other
#   a subsystem source (.cpp) includes app/ outside app/list/ only where it
#   defines the window's handlers (Form1::...)
#
# Usage: tools/check-layers.sh [source folder]. Prints every include that
# breaks a rule and exits 1 when there is one.
set -euo pipefail

root=${1:-$(dirname "$0")/..}
cd "$root"

failed=0

# The quoted includes of a file that name one of our folders, one a line.
ourIncludes()
{
    sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*["<]\([^">]*\)[">].*/\1/p' "$1" |
        while IFS= read -r included; do
            case $included in
            */*) [ -d "${included%%/*}" ] && printf '%s\n' "$included" ;;
            esac
        done
    return 0
}

complain()
{
    printf '%s: includes "%s": %s\n' "$1" "$2" "$3" >&2
    failed=1
}

sources()
{
    [ -d "$1" ] || return 0
    find "$1" -type f \( -name '*.h' -o -name '*.cpp' \) | sort
}

for file in $(sources text); do
    for inc in $(ourIncludes "$file"); do
        case $inc in
        text/*) ;;
        *) complain "$file" "$inc" "text/ includes nothing of another folder" ;;
        esac
    done
done

for file in $(sources platform); do
    for inc in $(ourIncludes "$file"); do
        case $inc in
        platform/*) ;;
        *) complain "$file" "$inc" "platform/ includes nothing of another folder" ;;
        esac
    done
done

for file in $(sources app/list); do
    for inc in $(ourIncludes "$file"); do
        case $inc in
        app/list/* | platform/* | text/*) ;;
        *) complain "$file" "$inc" "app/list/ includes only app/list/, platform/ and text/" ;;
        esac
    done
done

for folder in validation input export; do
    for file in $(sources $folder); do
        for inc in $(ourIncludes "$file"); do
            case $folder/$inc in
            input/export/* | export/input/*)
                complain "$file" "$inc" "input/ and export/ never include each other" ;;
            */app/list/*) ;;
            */app/*)
                case $file in
                *.cpp)
                    grep -q 'Form1::' "$file" ||
                        complain "$file" "$inc" "only a source that defines the window's handlers includes app/" ;;
                esac ;;
            esac
        done
    done
done

exit $failed

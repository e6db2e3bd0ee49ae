#!/bin/sh
# Lists every outside symbol the crash-time library uses and fails naming each one that is not
# in the allowlist (operator new, __cxa_*, snprintf ... must never be reached from a handler).
# usage: signal_safe_check.sh NM LIBRARY ALLOWLIST
nm_tool=$1 lib=$2 allow=$3
defined=$(mktemp) used=$(mktemp) allowed=$(mktemp)
trap 'rm -f "$defined" "$used" "$allowed"' EXIT
"$nm_tool" --defined-only "$lib" | awk 'NF == 3 {print $3}' | sort -u > "$defined"
"$nm_tool" -u "$lib" | awk 'NF == 2 {print $2}' | sed 's/@.*//' | sort -u > "$used"
grep -v '^#' "$allow" | grep -v '^$' | sort -u > "$allowed"
bad=$(comm -23 "$used" "$defined" | comm -23 - "$allowed")
if [ -n "$bad" ]; then
    echo "crash-time code uses symbols that are not signal-safe:"
    echo "$bad"
    exit 1
fi
echo "crash-time code uses only allowed outside symbols"

#!/bin/sh
# The source checks catch what they are for: the layer check on a small tree with one include of
# each kind that runs the wrong way (and ones that are fine), the format check on a small git
# checkout with one file formatted and one not.
# Usage: selftest.sh PYTHON SOURCE_DIR
set -eu
python=$1
src=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "selftest: $*" >&2; exit 1; }

# --- layer check ---
t="$work/layers"
mkdir -p "$t/platform" "$t/session" "$t/views" "$t/app" "$t/ZevOzozid/ZevOzozid/Internals" \
         "$t/ZVCrashReporter/Source" "$t/tests/support"
printf '#pragma once\n' > "$t/platform/Clock.h"
printf '#pragma once\n' > "$t/views/Chart.h"
printf '#pragma once\n' > "$t/ZevOzozid/ZevOzozid/Internals/Store.h"
printf '#pragma once\n' > "$t/ZevOzozid/ZevOzozid/Service.h"
printf '#pragma once\n' > "$t/tests/support/Fake.h"
printf '#pragma once\n#include "platform/Clock.h"\n#include <vector>\n' > "$t/session/Lap.h"
printf '#include "session/Lap.h"\n#include "views/Chart.h"\n' > "$t/session/Lap.cpp"
printf '#include <string>\n#include <QString>\n' > "$t/platform/Text.cpp"
printf '#include "views/Chart.h"\n#include "ZevOzozid/ZevOzozid/Service.h"\n#include "ZevOzozid/ZevOzozid/Internals/Store.h"\n' > "$t/app/Shell.cpp"
printf '#include "platform/Clock.h"\n#include "zvcrash.pb-c.h"\n' > "$t/ZVCrashReporter/Source/Writer.c"
printf '#include "Clock.h"\n#include <curl/curl.h>\n' > "$t/platform/Net.cpp"
printf '#include "Lap.h"\n' > "$t/session/Sector.cpp"
printf '#include "tests/support/Fake.h"\n' > "$t/session/Leak.cpp"
printf '#include "session/Lap.h"\n#include "views/Chart.h"\n#include <QWidget>\n' > "$t/tests/support/Fake.cpp"
printf 'app/Shell.cpp ZevOzozid/ZevOzozid/Internals/Store.h\n' > "$work/exceptions.txt"

cat > "$work/expected" <<'EXP'
ZVCrashReporter/Source/Writer.c:1: ZVCrashReporter/ may not include platform/Clock.h; it may use ZVCrashReporter/
app/Shell.cpp:3: app/ may not reach the internals of the telemetry SDK or its services (ZevOzozid/ZevOzozid/Internals/Store.h)
platform/Net.cpp:1: "Clock.h" is not a path from the repository root (platform/Clock.h)
platform/Text.cpp:2: platform/ never includes Qt (<QString>)
session/Lap.cpp:2: session/ may not include views/Chart.h; it may use platform/, session/
session/Leak.cpp:1: session/ may not include tests/support/Fake.h (test, tool or other non-library code)
session/Sector.cpp:1: "Lap.h" is not a path from the repository root (session/Lap.h)
EXP
status=0
"$python" "$src/tests/layers/layer_check.py" "$t" > "$work/got" 2>/dev/null || status=$?
[ "$status" -eq 1 ] || fail "layer check exited $status on a tree with faults, expected 1"
if ! diff -u "$work/expected" "$work/got"; then fail "layer check reported other faults"; fi

# The exceptions file lets a listed include pass, and only that one.
"$python" "$src/tests/layers/layer_check.py" "$t" "$work/exceptions.txt" > "$work/got2" 2>/dev/null || true
! grep -q '^app/Shell.cpp:' "$work/got2" || fail "the listed exception was still reported"
grep -q '^session/Lap.cpp:2:' "$work/got2" || fail "an exception hid another include"

# With the faults removed, the tree passes.
rm "$t/session/Lap.cpp" "$t/platform/Text.cpp" "$t/app/Shell.cpp" "$t/ZVCrashReporter/Source/Writer.c" \
   "$t/platform/Net.cpp" "$t/session/Sector.cpp" "$t/session/Leak.cpp"
"$python" "$src/tests/layers/layer_check.py" "$t" || fail "layer check failed a sound tree"

# --- format check ---
if ! command -v "${CLANG_FORMAT:-clang-format}" >/dev/null 2>&1 || ! command -v git >/dev/null 2>&1; then
  echo "selftest: format part skipped: clang-format or git is missing"
  exit 0
fi
f="$work/format"
mkdir -p "$f/scripts" "$f/session"
cp "$src/.clang-format" "$f/"
cp "$src/scripts/format-all" "$f/scripts/"
printf 'int lapCount(int laps) {\n    return laps;\n}\n' > "$f/session/Good.cpp"
printf 'int lapCount( int laps ) { if(laps<0) {return 0;}\n  return laps; }\n' > "$f/session/Bad.cpp"
git -C "$f" init -q
git -C "$f" add -A
status=0
"$f/scripts/format-all" --check > "$work/fgot" 2>&1 || status=$?
[ "$status" -eq 1 ] || fail "format check exited $status on a badly formatted file, expected 1"
grep -q 'session/Bad.cpp' "$work/fgot" || fail "format check did not name session/Bad.cpp"
! grep -q 'session/Good.cpp' "$work/fgot" || fail "format check named session/Good.cpp"
"$f/scripts/format-all"
"$f/scripts/format-all" --check >/dev/null || fail "format check failed after format-all"
echo "selftest: layer and format checks catch their faults"

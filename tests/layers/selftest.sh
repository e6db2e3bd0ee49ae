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
         "$t/ZVCrashReporter/Source" "$t/tests/support" "$t/transfer/core"
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
printf '#include <platform/Clock.h>\n#include <views/Chart.h>\n' > "$t/session/Angle.cpp"
printf '#include "session/Lap.h"\n#include "views/Chart.h"\n#include <zip.h>\n#include <QString>\n' > "$t/transfer/core/Plan.cpp"
# Side doors: paths that are not plain, a test library, a quoted third-party header, Qt in lower
# case, a folder of sources outside the table; beside them headers that are fine.
printf '#include "./views/Chart.h"\n#include "session/../views/Chart.h"\n#include "./platform/Clock.h"\n' > "$t/session/Door.cpp"
printf '#include <gtest/gtest.h>\n#include "gtest/gtest.h"\n#include <queue>\n#include <sys/stat.h>\n' > "$t/session/Probe.cpp"
printf '#include <qstring.h>\n#include <QtCore/QString>\n' > "$t/platform/Lower.cpp"
mkdir -p "$t/gadgets"
printf '#include "views/Chart.h"\n' > "$t/gadgets/Knob.cpp"
printf '#include "views/Chart.h"\n' > "$t/gadgets/Dial.cpp"
printf 'app/Shell.cpp ZevOzozid/ZevOzozid/Internals/Store.h\n' > "$work/exceptions.txt"

cat > "$work/expected" <<'EXP'
ZVCrashReporter/Source/Writer.c:1: ZVCrashReporter/ may not include platform/Clock.h; it may use ZVCrashReporter/
app/Shell.cpp:3: app/ may not reach the internals of the telemetry SDK or its services (ZevOzozid/ZevOzozid/Internals/Store.h)
gadgets/Dial.cpp: gadgets/ is neither a library folder of the layer table nor a folder that may use anything; add it to one (CONTRIBUTING.md)
platform/Lower.cpp:1: platform/ never includes Qt (<qstring.h>)
platform/Lower.cpp:2: platform/ never includes Qt (<QtCore/QString>)
platform/Net.cpp:1: "Clock.h" is not a path from the repository root (platform/Clock.h)
platform/Text.cpp:2: platform/ never includes Qt (<QString>)
session/Angle.cpp:1: <platform/Clock.h> is one of ours: include it as "platform/Clock.h"
session/Angle.cpp:2: <views/Chart.h> is one of ours: include it as "views/Chart.h"
session/Angle.cpp:2: session/ may not include views/Chart.h; it may use platform/, session/
session/Door.cpp:1: "./views/Chart.h" is not a plain path: write "views/Chart.h"
session/Door.cpp:1: session/ may not include views/Chart.h; it may use platform/, session/
session/Door.cpp:2: "session/../views/Chart.h" is not a plain path: write "views/Chart.h"
session/Door.cpp:2: session/ may not include views/Chart.h; it may use platform/, session/
session/Door.cpp:3: "./platform/Clock.h" is not a plain path: write "platform/Clock.h"
session/Lap.cpp:2: session/ may not include views/Chart.h; it may use platform/, session/
session/Leak.cpp:1: session/ may not include tests/support/Fake.h (test, tool or other non-library code)
session/Probe.cpp:1: <gtest/gtest.h> is neither a C, C++ or POSIX header of the check's list nor one of a library session/ may use (GeographicLib, pugixml)
session/Probe.cpp:2: "gtest/gtest.h" is neither a C, C++ or POSIX header of the check's list nor one of a library session/ may use (GeographicLib, pugixml)
session/Sector.cpp:1: "Lap.h" is not a path from the repository root (session/Lap.h)
transfer/core/Plan.cpp:2: transfer/core/ may not include views/Chart.h; it may use platform/, session/, transfer/core/
transfer/core/Plan.cpp:4: transfer/core/ never includes Qt (<QString>)
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
   "$t/platform/Net.cpp" "$t/session/Sector.cpp" "$t/session/Leak.cpp" "$t/session/Angle.cpp" \
   "$t/transfer/core/Plan.cpp" "$t/session/Door.cpp" "$t/session/Probe.cpp" "$t/platform/Lower.cpp"
rm -r "$t/gadgets"
"$python" "$src/tests/layers/layer_check.py" "$t" || fail "layer check failed a sound tree"

# A root that does not exist is an error, not a tree without faults.
status=0
"$python" "$src/tests/layers/layer_check.py" "$work/missing" >/dev/null 2>&1 || status=$?
[ "$status" -eq 2 ] || fail "layer check exited $status on a missing root, expected 2"

# In a git checkout a new file is checked before it is added; an ignored one is not.
if command -v git >/dev/null 2>&1; then
  git -C "$t" init -q
  printf 'build/\n' > "$t/.gitignore"
  git -C "$t" add -A
  mkdir -p "$t/build"
  printf '#include "views/Chart.h"\n' > "$t/build/Generated.cpp"
  "$python" "$src/tests/layers/layer_check.py" "$t" >/dev/null || fail "layer check read an ignored file"
  printf '#include "views/Chart.h"\n' > "$t/session/New.cpp"
  status=0
  "$python" "$src/tests/layers/layer_check.py" "$t" > "$work/got3" 2>/dev/null || status=$?
  [ "$status" -eq 1 ] || fail "layer check exited $status on a new file with a fault, expected 1"
  grep -q '^session/New.cpp:1:' "$work/got3" || fail "layer check passed over a file not yet added"
fi

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
# Not yet added: still checked.
printf 'int newCount( int laps ) {return laps;}\n' > "$f/session/New.cpp"
status=0
"$f/scripts/format-all" --check > "$work/fgot" 2>&1 || status=$?
[ "$status" -eq 1 ] || fail "format check exited $status on a badly formatted file, expected 1"
grep -q 'session/Bad.cpp' "$work/fgot" || fail "format check did not name session/Bad.cpp"
grep -q 'session/New.cpp' "$work/fgot" || fail "format check passed over a file not yet added"
! grep -q 'session/Good.cpp' "$work/fgot" || fail "format check named session/Good.cpp"
"$f/scripts/format-all"
"$f/scripts/format-all" --check >/dev/null || fail "format check failed after format-all"
echo "selftest: layer and format checks catch their faults"

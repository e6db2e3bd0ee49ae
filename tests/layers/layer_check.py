#!/usr/bin/env python3
"""Checks that every include of the source folders points the way the layers allow.

Usage: layer_check.py ROOT [EXCEPTIONS_FILE]

Reads the C and C++ files under ROOT (when ROOT is a git checkout, the tracked ones and the new
ones not yet added, less those git ignores; every one otherwise) and prints `file:line: <what>` for
each include that runs the wrong way; exits 1 when there is any, 2 when ROOT is not a folder.
Quoted includes are read as paths from ROOT (scripts/rewrite-includes writes them so), normalised
first, so "./views/X.h" and "session/../views/X.h" reach views/X.h (and are faults of their own:
write the plain path); a quoted include that names a file beside the including file but not from
ROOT is a fault too, since the layer it reaches could not be told, and so is an angle-bracket
include of one of our own headers, which would pass as a third-party one. Any other header (in
angle brackets, or quoted and not in the tree) must be one of the C, C++ and POSIX headers listed
below or belong to a third-party library the folder may use: one that is neither (a test library,
a library outside the table) is a fault. Every folder of sources is a component of the table below
or one of the folders that may use anything (FREE_FOLDERS); a new folder is a fault until it is
added to one of them (CONTRIBUTING.md says how).

The layers (one way: app -> transfer -> views -> widgets -> session -> platform) and what each
folder may use, ours and third-party:
"""

import os
import re
import subprocess
import sys

SOURCE_SUFFIXES = (".c", ".cc", ".cpp", ".cxx", ".h", ".hh", ".hpp", ".hxx", ".inc", ".ipp")

# Folder prefix -> component; the longest prefix wins.
COMPONENTS = {
    "app/": "app",
    "transfer/": "transfer",
    "transfer/core/": "transfer_core",
    "views/": "views",
    "widgets/": "widgets",
    "session/": "session",
    "platform/": "platform",
    "ZevOzozid/": "sdk",
    "ZevOzozidZerevuziz/": "analytics",
    "ZevOzozidZeroduv/": "crashes",
    "ZVCrashReporter/": "crash",
}
# Top-level folders of sources that may use anything and are not checked: tests, tools,
# benchmarks, fuzz targets and the icon maker. A folder of sources named neither here nor in
# COMPONENTS is a fault.
FREE_FOLDERS = {"tests", "bench", "fuzz", "tools", "resources"}
FOLDER_OF = {
    "app": "app/", "transfer": "transfer/", "transfer_core": "transfer/core/", "views": "views/", "widgets": "widgets/",
    "session": "session/", "platform": "platform/", "sdk": "ZevOzozid/",
    "analytics": "ZevOzozidZerevuziz/", "crashes": "ZevOzozidZeroduv/", "crash": "ZVCrashReporter/",
}

# What each component may include of ours (itself included).
MAY_USE = {
    "platform": {"platform"},
    "session": {"session", "platform"},
    "widgets": {"widgets", "session", "platform"},
    "views": {"views", "widgets", "session", "platform"},
    "transfer_core": {"transfer_core", "session", "platform"},
    "transfer": {"transfer", "transfer_core", "views", "widgets", "session", "platform"},
    # The shell starts the telemetry services: their public headers, never their internals.
    "app": {"app", "transfer", "transfer_core", "views", "widgets", "session", "platform",
            "sdk", "analytics", "crashes"},
    "sdk": {"sdk", "platform"},
    "analytics": {"analytics", "sdk", "platform"},
    "crashes": {"crashes", "sdk", "crash", "platform"},
    "crash": {"crash"},
}

# The C++ standard library's, the C library's and POSIX headers in use, with the few Linux and
# GNU ones the platform, transfer and crash code need: always allowed. A header not listed here
# must belong to a library below; add one here only when it is part of one of those libraries.
SYSTEM_HEADERS = {
    # C++
    "algorithm", "any", "array", "atomic", "bit", "bitset", "charconv", "chrono", "compare",
    "concepts", "condition_variable", "deque", "exception", "filesystem", "fstream", "functional",
    "future", "initializer_list", "iomanip", "ios", "iosfwd", "iostream", "istream", "iterator",
    "limits", "list", "locale", "map", "memory", "mutex", "new", "numbers", "numeric",
    "optional", "ostream", "queue", "random", "ranges", "ratio", "regex", "set", "shared_mutex",
    "source_location", "span", "sstream", "stack", "stdexcept", "stop_token", "streambuf",
    "string", "string_view", "system_error", "thread", "tuple", "type_traits", "typeindex",
    "typeinfo", "unordered_map", "unordered_set", "utility", "variant", "vector", "version",
    # C, in its C++ spelling and its own
    "cassert", "cctype", "cerrno", "cfloat", "cinttypes", "climits", "clocale", "cmath",
    "csetjmp", "csignal", "cstdarg", "cstddef", "cstdint", "cstdio", "cstdlib", "cstring",
    "ctime", "cwchar", "assert.h", "ctype.h", "errno.h", "float.h", "inttypes.h", "limits.h",
    "locale.h", "math.h", "setjmp.h", "signal.h", "stdarg.h", "stdbool.h", "stddef.h",
    "stdint.h", "stdio.h", "stdlib.h", "string.h", "time.h",
    # POSIX
    "dirent.h", "dlfcn.h", "fcntl.h", "ifaddrs.h", "net/if.h", "netdb.h", "netinet/in.h",
    "poll.h", "pthread.h", "sched.h", "spawn.h", "syslog.h", "ucontext.h", "unistd.h",
    "arpa/inet.h", "sys/file.h", "sys/mman.h", "sys/resource.h", "sys/socket.h", "sys/stat.h",
    "sys/time.h", "sys/types.h", "sys/uio.h", "sys/un.h", "sys/utsname.h", "sys/wait.h",
    # Linux and GNU: ELF images and the link map, futexes, netlink, eventfd, syscalls, the
    # kernel's random source and memory barrier, the C++ runtime's demangler and backtraces
    "elf.h", "link.h", "execinfo.h", "cxxabi.h", "linux/futex.h", "linux/netlink.h",
    "linux/membarrier.h", "linux/rtnetlink.h", "sys/eventfd.h", "sys/random.h",
    "sys/syscall.h",
}
# Generated at build time, not in the tree, by component.
GENERATED = {"zvcrash.pb-c.h": "crash"}

# Third-party libraries by header. Qt's headers come in its class spelling (<QString>,
# <QtCore/QString>) and in lower case (<qstring.h>).
LIBRARIES = [
    (re.compile(r"^Q[A-Za-z0-9]*(\.h)?$|^Qt[A-Za-z0-9]*/|^q[a-z0-9_]*\.h$"), "Qt"),
    (re.compile(r"^curl/"), "libcurl"),
    (re.compile(r"^openssl/"), "OpenSSL"),
    (re.compile(r"^pugixml\.hpp$"), "pugixml"),
    (re.compile(r"^nlohmann/"), "JSON"),
    (re.compile(r"^sqlite3\.h$"), "SQLite"),
    (re.compile(r"^zlib\.h$"), "zlib"),
    (re.compile(r"^zip\.h$"), "libzip"),
    (re.compile(r"^vlc/"), "libvlc"),
    (re.compile(r"^lib(avcodec|avformat|avutil|swscale|swresample)/"), "FFmpeg"),
    (re.compile(r"^GeographicLib/"), "GeographicLib"),
    (re.compile(r"^protobuf-c/"), "protobuf-c"),
]
MAY_LINK = {
    "platform": {"libcurl", "OpenSSL", "JSON"},  # JSON: the preferences file
    "session": {"pugixml", "GeographicLib"},  # GeographicLib: distances on the ellipsoid
    "widgets": {"Qt"},
    "views": {"Qt", "libvlc", "FFmpeg"},  # FFmpeg: the paused picture
    "transfer_core": {"libzip", "pugixml"},
    "transfer": {"Qt", "libzip", "pugixml"},  # pugixml: the update notes
    "app": {"Qt"},
    "sdk": {"SQLite", "zlib", "OpenSSL", "JSON"},
    "analytics": set(),
    "crashes": set(),
    "crash": {"protobuf-c"},  # the report format, through its generated header
}
NO_QT = {"session", "platform", "transfer_core", "sdk", "analytics", "crashes", "crash"}
# The SDK and its services keep their internals under an Internals/ folder of their own.
INTERNALS = "/Internals/"

__doc__ += "".join(f"  {c:13} {', '.join(sorted(MAY_USE[c]))}; {', '.join(sorted(MAY_LINK[c])) or '-'}\n"
                   for c in MAY_USE)

INCLUDE_RE = re.compile(r'^\s*#\s*include\s*([<"])([^">]+)[">]')


def component(path):
    best = None
    for prefix, comp in COMPONENTS.items():
        if path.startswith(prefix) and (best is None or len(prefix) > len(best[0])):
            best = (prefix, comp)
    return best[1] if best else None


def source_files(root):
    try:
        top = subprocess.run(["git", "-C", root, "rev-parse", "--show-toplevel"],
                             capture_output=True, text=True, check=True).stdout.strip()
        if os.path.realpath(top) == os.path.realpath(root):
            # New files count before they are added; files deleted but not yet staged do not.
            out = subprocess.run(["git", "-C", root, "ls-files", "-z", "--cached", "--others",
                                  "--exclude-standard"], capture_output=True,
                                 check=True).stdout.decode()
            return sorted({p for p in out.split("\0") if p.endswith(SOURCE_SUFFIXES)
                           and os.path.isfile(os.path.join(root, p))})
    except (OSError, subprocess.CalledProcessError):
        pass
    found = []
    for folder, dirs, names in os.walk(root):
        dirs[:] = [d for d in dirs if not d.startswith(".") and not d.startswith("build")]
        rel = os.path.relpath(folder, root)
        for n in names:
            if n.endswith(SOURCE_SUFFIXES):
                found.append(os.path.normpath(os.path.join(rel, n)))
    return sorted(found)


def read_exceptions(path):
    """Lines `file include`: includes known to run the wrong way, kept until they are fixed."""
    allowed = set()
    if path and os.path.exists(path):
        with open(path, encoding="utf-8") as f:
            for line in f:
                line = line.split("#", 1)[0].split()
                if len(line) == 2:
                    allowed.add(tuple(line))
    return allowed


def check_library(comp, name, written=None):
    written = written or f"<{name}>"
    for pattern, lib in LIBRARIES:
        if pattern.search(name):
            if lib == "Qt" and comp in NO_QT:
                return f"{FOLDER_OF[comp]} never includes Qt ({written})"
            if lib not in MAY_LINK[comp]:
                allowed = ", ".join(sorted(MAY_LINK[comp])) or "no third-party library"
                return f"{FOLDER_OF[comp]} may not use {lib} ({written}); it may use {allowed}"
            return None
    if name in SYSTEM_HEADERS or GENERATED.get(name) == comp:
        return None
    allowed = ", ".join(sorted(MAY_LINK[comp])) or "no third-party library"
    return (f"{written} is neither a C, C++ or POSIX header of the check's list nor one of a "
            f"library {FOLDER_OF[comp]} may use ({allowed})")


def check_ours(root, rel, comp, name, files):
    if name not in files:
        beside = os.path.normpath(os.path.join(os.path.dirname(rel), name))
        meant = [beside] if beside in files else [f for f in files if f.endswith("/" + name)]
        if meant:
            return f"\"{name}\" is not a path from the repository root ({' or '.join(meant[:3])})"
        # Generated, system or third-party: checked as if written in angle brackets.
        return check_library(comp, name, f"\"{name}\"")
    target = component(name)
    if target is None:
        return f"{FOLDER_OF[comp]} may not include {name} (test, tool or other non-library code)"
    if target not in MAY_USE[comp]:
        allowed = ", ".join(FOLDER_OF[c] for c in sorted(MAY_USE[comp]))
        return f"{FOLDER_OF[comp]} may not include {name}; it may use {allowed}"
    if comp == "app" and INTERNALS in name:
        return f"app/ may not reach the internals of the telemetry SDK or its services ({name})"
    return None


def unplaced_folder(rel):
    """The top-level folder of `rel` when it is neither a component nor free to use anything."""
    if "/" not in rel or component(rel) is not None:
        return None
    top = rel.split("/", 1)[0]
    return None if top in FREE_FOLDERS else top


def check(root, exceptions):
    files_list = source_files(root)
    files = set(files_list)
    faults = []
    used = set()
    unplaced = set()
    for rel in files_list:
        top = unplaced_folder(rel)
        if top is not None and top not in unplaced:
            unplaced.add(top)
            faults.append(f"{rel}: {top}/ is neither a library folder of the layer table nor a "
                          f"folder that may use anything; add it to one (CONTRIBUTING.md)")
        comp = component(rel)
        if comp is None:
            continue
        with open(os.path.join(root, rel), encoding="utf-8", errors="replace") as f:
            for number, line in enumerate(f, 1):
                m = INCLUDE_RE.match(line)
                if not m:
                    continue
                kind, name = m.groups()
                found = []
                if kind == '"':
                    plain = os.path.normpath(name)
                    if plain != name and not plain.startswith(".."):
                        found.append(f"\"{name}\" is not a plain path: write \"{plain}\"")
                        name = plain
                if kind == "<" and name in files:
                    found.append(f"<{name}> is one of ours: include it as \"{name}\"")
                if kind == "<" and name not in files:
                    found.append(check_library(comp, name))
                else:
                    found.append(check_ours(root, rel, comp, name, files))
                for what in filter(None, found):
                    if (rel, name) in exceptions:
                        used.add((rel, name))
                        continue
                    faults.append(f"{rel}:{number}: {what}")
    return faults, exceptions - used


def main(argv):
    if len(argv) not in (1, 2):
        print(__doc__, file=sys.stderr)
        return 2
    root = argv[0]
    if not os.path.isdir(root):
        print(f"layer_check: {root} is not a folder", file=sys.stderr)
        return 2
    exceptions = read_exceptions(argv[1] if len(argv) == 2 else None)
    faults, stale = check(root, exceptions)
    for fault in faults:
        print(fault)
    for rel, name in sorted(stale):
        print(f"layer_check: note: the exception {rel} {name} no longer occurs; remove it",
              file=sys.stderr)
    if faults:
        print(f"layer_check: {len(faults)} include(s) run the wrong way", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

#pragma once

#include <cstddef>

// Names of Linux signals and their si_code values for the crash report. Safe in a signal handler.

// "SIGSEGV" etc., or null for a number without a name (real-time signals included).
const char* signal_name(int signo);
// "SEGV_MAPERR" etc.: the signal's own codes first, then the generic ones any signal may carry
// (SI_USER, SI_KERNEL, SI_QUEUE, SI_TIMER, SI_MESGQ, SI_ASYNCIO, SI_SIGIO, SI_TKILL); null
// otherwise.
const char* signal_code_name(int signo, int code);

// Writes "#<value>" with a terminating NUL into buf (at least 13 bytes); returns buf.
char* zvcrash_format_number_name(char* buf, size_t size, int value);

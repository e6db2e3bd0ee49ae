#include "ZVCrashReporter/Source/async/SignalNames.h"

#include <csignal>

namespace {

struct named_value {
    int value;
    const char* name;
};

constexpr named_value kSignals[] = {
    {SIGHUP, "SIGHUP"},   {SIGINT, "SIGINT"},       {SIGQUIT, "SIGQUIT"}, {SIGILL, "SIGILL"},
    {SIGTRAP, "SIGTRAP"}, {SIGABRT, "SIGABRT"},     {SIGBUS, "SIGBUS"},   {SIGFPE, "SIGFPE"},
    {SIGKILL, "SIGKILL"}, {SIGUSR1, "SIGUSR1"},     {SIGSEGV, "SIGSEGV"}, {SIGUSR2, "SIGUSR2"},
    {SIGPIPE, "SIGPIPE"}, {SIGALRM, "SIGALRM"},     {SIGTERM, "SIGTERM"}, {SIGSTKFLT, "SIGSTKFLT"},
    {SIGCHLD, "SIGCHLD"}, {SIGCONT, "SIGCONT"},     {SIGSTOP, "SIGSTOP"}, {SIGTSTP, "SIGTSTP"},
    {SIGTTIN, "SIGTTIN"}, {SIGTTOU, "SIGTTOU"},     {SIGURG, "SIGURG"},   {SIGXCPU, "SIGXCPU"},
    {SIGXFSZ, "SIGXFSZ"}, {SIGVTALRM, "SIGVTALRM"}, {SIGPROF, "SIGPROF"}, {SIGWINCH, "SIGWINCH"},
    {SIGIO, "SIGIO"},     {SIGPWR, "SIGPWR"},       {SIGSYS, "SIGSYS"},
};

struct signal_code {
    int signo;
    int code;
    const char* name;
};

constexpr signal_code kCodes[] = {
    {SIGILL, ILL_ILLOPC, "ILL_ILLOPC"},       {SIGILL, ILL_ILLOPN, "ILL_ILLOPN"},
    {SIGILL, ILL_ILLADR, "ILL_ILLADR"},       {SIGILL, ILL_ILLTRP, "ILL_ILLTRP"},
    {SIGILL, ILL_PRVOPC, "ILL_PRVOPC"},       {SIGILL, ILL_PRVREG, "ILL_PRVREG"},
    {SIGILL, ILL_COPROC, "ILL_COPROC"},       {SIGILL, ILL_BADSTK, "ILL_BADSTK"},
    {SIGFPE, FPE_INTDIV, "FPE_INTDIV"},       {SIGFPE, FPE_INTOVF, "FPE_INTOVF"},
    {SIGFPE, FPE_FLTDIV, "FPE_FLTDIV"},       {SIGFPE, FPE_FLTOVF, "FPE_FLTOVF"},
    {SIGFPE, FPE_FLTUND, "FPE_FLTUND"},       {SIGFPE, FPE_FLTRES, "FPE_FLTRES"},
    {SIGFPE, FPE_FLTINV, "FPE_FLTINV"},       {SIGFPE, FPE_FLTSUB, "FPE_FLTSUB"},
    {SIGSEGV, SEGV_MAPERR, "SEGV_MAPERR"},    {SIGSEGV, SEGV_ACCERR, "SEGV_ACCERR"},
    {SIGSEGV, SEGV_BNDERR, "SEGV_BNDERR"},    {SIGSEGV, SEGV_PKUERR, "SEGV_PKUERR"},
    {SIGBUS, BUS_ADRALN, "BUS_ADRALN"},       {SIGBUS, BUS_ADRERR, "BUS_ADRERR"},
    {SIGBUS, BUS_OBJERR, "BUS_OBJERR"},       {SIGBUS, BUS_MCEERR_AR, "BUS_MCEERR_AR"},
    {SIGBUS, BUS_MCEERR_AO, "BUS_MCEERR_AO"}, {SIGTRAP, TRAP_BRKPT, "TRAP_BRKPT"},
    {SIGTRAP, TRAP_TRACE, "TRAP_TRACE"},
};

constexpr named_value kGenericCodes[] = {
    {SI_USER, "SI_USER"},   {SI_KERNEL, "SI_KERNEL"}, {SI_QUEUE, "SI_QUEUE"},
    {SI_TIMER, "SI_TIMER"}, {SI_MESGQ, "SI_MESGQ"},   {SI_ASYNCIO, "SI_ASYNCIO"},
    {SI_SIGIO, "SI_SIGIO"}, {SI_TKILL, "SI_TKILL"},
};

}  // namespace

const char* signal_name(int signo) {
    for (const named_value& row : kSignals) {
        if (row.value == signo) return row.name;
    }
    return nullptr;
}

const char* signal_code_name(int signo, int code) {
    for (const signal_code& row : kCodes) {
        if (row.signo == signo && row.code == code) return row.name;
    }
    for (const named_value& row : kGenericCodes) {
        if (row.value == code) return row.name;
    }
    return nullptr;
}

char* zvcrash_format_number_name(char* buf, size_t size, int value) {
    char digits[12];
    size_t n = 0;
    // Works on the magnitude as unsigned, so INT_MIN needs no special case.
    unsigned int magnitude =
        value < 0 ? 0u - static_cast<unsigned int>(value) : static_cast<unsigned int>(value);
    do {
        digits[n++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    size_t pos = 0;
    if (pos + 1 < size) buf[pos++] = '#';
    if (value < 0 && pos + 1 < size) buf[pos++] = '-';
    while (n > 0 && pos + 1 < size) buf[pos++] = digits[--n];
    if (size > 0) buf[pos] = '\0';
    return buf;
}

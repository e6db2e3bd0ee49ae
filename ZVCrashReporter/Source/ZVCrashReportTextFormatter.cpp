#include "ZVCrashReporter/Source/ZVCrashReportTextFormatter.h"

#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <ctime>

#include <syslog.h>

namespace {

const std::string kUnknown = "???";

// printf into a std::string; any length.
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    std::string out(n > 0 ? static_cast<size_t>(n) : 0, '\0');
    if (n > 0) std::vsnprintf(out.data(), out.size() + 1, fmt, args);
    va_end(args);
    return out;
}

std::string lastPathComponent(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return path;
    if (slash + 1 == path.size()) return lastPathComponent(path.substr(0, slash));
    return path.substr(slash + 1);
}

// Pads to width characters (code points; bytes of a broken sequence count one each).
std::string padRight(const std::string& text, size_t width) {
    size_t characters = 0;
    for (unsigned char c : text) {
        if ((c & 0xC0) != 0x80) ++characters;
    }
    return characters >= width ? text : text + std::string(width - characters, ' ');
}

std::string osName(int os) {
    switch (os) {
        case 0:
        case 2:
            return "Mac OS X";
        case 1:
            return "iPhone OS";
        case 4:
            return "Apple tvOS";
        case 5:
            return "Linux";
        default:
            return format("Unknown (%d)", os);
    }
}

struct CodeType {
    std::string name;
    bool lp64 = true;
};

std::optional<CodeType> knownCodeType(const ZVProcessorInfoPtr& p) {
    if (p == nullptr || p->typeEncoding() != 1) return std::nullopt;
    switch (p->type()) {
        case 7:
            return CodeType{"X86", false};
        case 12:
            return CodeType{"ARM", false};
        case 18:
            return CodeType{"PPC", false};
        case 0x1000007:
            return CodeType{"X86-64", true};
        case 0x100000C:
            return CodeType{"ARM-64", true};
        default:
            return std::nullopt;
    }
}

CodeType codeTypeOf(const ZVCrashReport& report) {
    for (const auto& image : report.images()) {
        if (auto known = knownCodeType(image->codeType())) return *known;
    }
    const ZVProcessorInfoPtr& system = report.systemInfo()->processorInfo();
    if (auto known = knownCodeType(system)) return *known;
    if (system != nullptr && system->typeEncoding() == 1) {
        return CodeType{format("Unknown (%llu)", static_cast<unsigned long long>(system->type()))};
    }
    return CodeType{"Unknown"};
}

std::string imageArchitecture(const ZVProcessorInfoPtr& p) {
    if (p == nullptr || p->typeEncoding() != 1) return kUnknown;
    const uint64_t subtype = p->subtype() & 0xFFFFFF;
    switch (p->type()) {
        case 7:
            return "i386";
        case 12:
            return subtype == 11  ? "armv7s"
                   : subtype == 9 ? "armv7"
                   : subtype == 6 ? "armv6"
                                  : "arm-unknown";
        case 18:
            return "powerpc";
        case 0x1000007:
            return "x86_64";
        case 0x100000C:
            return subtype == 0   ? "arm64"
                   : subtype == 1 ? "armv8"
                   : subtype == 2 ? "arm64e"
                                  : "arm64-unknown";
        default:
            return kUnknown;
    }
}

std::string dateText(const std::optional<ZVCrashDate>& date) {
    if (!date) return kUnknown;
    const time_t seconds = static_cast<time_t>(date->time_since_epoch().count());
    struct tm utc {};
    if (gmtime_r(&seconds, &utc) == nullptr) return kUnknown;
    char buf[64];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return buf;
}

std::string uuidText(const std::optional<std::array<uint8_t, 16>>& uuid) {
    if (!uuid) return kUnknown;
    std::string text;
    for (size_t i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
        text += format("%02X", (*uuid)[i]);
    }
    return text;
}

std::string nameAndId(const ZVCrashReport& report, bool parent) {
    if (!report.hasProcessInfo()) return "??? [???]";
    const auto& p = *report.processInfo();
    const auto& name = parent ? p.parentProcessName() : p.processName();
    const uint64_t id = parent ? p.parentProcessID() : p.processID();
    return format("%s [%llu]", name.value_or(kUnknown).c_str(),
                  static_cast<unsigned long long>(id));
}

std::string headerBlock(const ZVCrashReport& report, const CodeType& codeType) {
    const auto& app = *report.applicationInfo();
    const auto& system = *report.systemInfo();
    std::string model = kUnknown;
    if (report.hasMachineInfo() && report.machineInfo()->modelName()) {
        model = *report.machineInfo()->modelName();
    }
    std::string version = app.applicationVersion();
    if (app.applicationMarketingVersion()) {
        version = *app.applicationMarketingVersion() + " (" + app.applicationVersion() + ")";
    }
    std::string path = kUnknown;
    if (report.hasProcessInfo() && report.processInfo()->processPath()) {
        path = *report.processInfo()->processPath();
    }
    std::string out;
    out += "Incident Identifier: " + uuidText(report.uuidRef()) + "\n";
    out += "Hardware Model:      " + model + "\n";
    out += "Process:         " + nameAndId(report, false) + "\n";
    out += "Path:            " + path + "\n";
    out += "Identifier:      " + app.applicationIdentifier() + "\n";
    out += "Version:         " + version + "\n";
    out += "Code Type:       " + codeType.name + "\n";
    out += "Parent Process:  " + nameAndId(report, true) + "\n";
    out += "\n";
    out += "Date/Time:       " + dateText(system.timestamp()) + "\n";
    out += "OS Version:      " + osName(system.operatingSystem()) + " " +
           system.operatingSystemVersion() + " (" +
           system.operatingSystemBuild().value_or(kUnknown) + ")\n";
    out += "Report Version:  104\n";
    out += "\n";
    return out;
}

std::string registerBlock(const ZVCrashReport& report, const ZVCrashReportThreadInfo& thread,
                          const CodeType& codeType) {
    bool armFamily = false;
    if (report.hasMachineInfo() && report.machineInfo()->processorInfo() != nullptr) {
        const auto& p = *report.machineInfo()->processorInfo();
        armFamily = p.typeEncoding() == 1 && (p.type() & 0xFFFFFF) == 12;
    }
    std::string out = format("Thread %lld crashed with %s Thread State:\n",
                             static_cast<long long>(thread.threadNumber()), codeType.name.c_str());
    size_t column = 0;
    for (const auto& reg : thread.registers()) {
        std::string name = reg->registerName();
        if (armFamily && name == "r12") name = "ip";
        const auto value = static_cast<unsigned long long>(reg->registerValue());
        out += codeType.lp64 ? format("%6s: 0x%016llx ", name.c_str(), value)
                             : format("%6s: 0x%08llx ", name.c_str(), value);
        if (++column == 4) {
            out += "\n";
            column = 0;
        }
    }
    if (column != 0) out += "\n";
    return out + "\n";
}

std::string imageLines(const ZVCrashReport& report, bool lp64) {
    auto images = report.images();
    std::stable_sort(images.begin(), images.end(), [](const auto& a, const auto& b) {
        return a->imageBaseAddress() < b->imageBaseAddress();
    });
    const std::optional<std::string>& processPath =
        report.hasProcessInfo() ? report.processInfo()->processPath() : std::nullopt;
    std::string out = "Binary Images:\n";
    std::optional<uint64_t> previousBase;  // none yet: an image based at 0 is written too
    for (const auto& image : images) {
        const uint64_t base = image->imageBaseAddress();
        if (previousBase == base) continue;
        previousBase = base;
        const uint64_t end = image->imageSize() == 0 ? base : base + image->imageSize() - 1;
        const std::string& name = image->imageName();
        const char* marker = processPath == name ? "+" : " ";
        const int width = lp64 ? 18 : 10;
        out += format("%#*llx - %#*llx %s%s %s  <%s> %s\n", width,
                      static_cast<unsigned long long>(base), width,
                      static_cast<unsigned long long>(end), marker, lastPathComponent(name).c_str(),
                      imageArchitecture(image->codeType()).c_str(),
                      image->imageUUID().value_or(kUnknown).c_str(), name.c_str());
    }
    return out;
}

}  // namespace

std::string ZVCrashReportTextFormatter::formatStackFrame(const ZVCrashReportStackFrameInfo& frame,
                                                         long frameIndex,
                                                         const ZVCrashReport& report, bool lp64) {
    const uint64_t pc = frame.instructionPointer();
    std::string imageText = kUnknown;
    uint64_t base = 0;
    uint64_t offset = 0;
    if (auto image = report.imageForAddress(pc)) {
        imageText = lastPathComponent(image->imageName());
        base = image->imageBaseAddress();
        offset = pc - base;
    } else if (pc != 0) {
        syslog(LOG_INFO, "[ZVCrashReporter] Cannot find image for 0x%llx",
               static_cast<unsigned long long>(pc));
    }
    std::string symbolText;
    if (const auto& symbol = frame.symbolInfo()) {
        std::string name = symbol->symbolName();
        const int os = report.systemInfo()->operatingSystem();
        if (name.size() >= 2 && name[0] == '_') {
            if (os == 0 || os == 1 || os == 2 || os == 4) {
                name.erase(0, 1);
            } else if (os != 5) {
                syslog(LOG_INFO,
                       "[ZVCrashReporter] Symbol \"%s\" prefix rules are unknown for this OS!",
                       name.c_str());
            }
        }
        symbolText =
            format("%s + %lld", name.c_str(), static_cast<long long>(pc - symbol->startAddress()));
    } else {
        symbolText = format("0x%llx + %lld", static_cast<unsigned long long>(base),
                            static_cast<long long>(offset));
    }
    return format("%-4ld", frameIndex) + padRight(imageText, 35) +
           format(" 0x%0*llx ", lp64 ? 16 : 8, static_cast<unsigned long long>(pc)) + symbolText +
           "\n";
}

std::string ZVCrashReportTextFormatter::stringValueForCrashReport(const ZVCrashReport& report,
                                                                  int /*textFormat*/) {
    const CodeType codeType = codeTypeOf(report);
    std::string out = headerBlock(report, codeType);
    const auto& signal = *report.signalInfo();
    out += "Exception Type:  " + signal.name() + "\n";
    out += "Exception Codes: " + signal.code() +
           format(" at 0x%llx\n", static_cast<unsigned long long>(signal.address()));
    const auto& threads = report.threads();
    const auto firstCrashed =
        std::find_if(threads.begin(), threads.end(), [](const auto& t) { return t->crashed(); });
    if (firstCrashed != threads.end()) {
        out += format("Crashed Thread:  %lld\n",
                      static_cast<long long>((*firstCrashed)->threadNumber()));
    }
    out += "\n";
    if (report.hasExceptionInfo()) {
        const auto& e = *report.exceptionInfo();
        out += "Application Specific Information:\n";
        out += "*** Terminating app due to uncaught exception '" + e.exceptionName() +
               "', reason: '" + e.exceptionReason() + "'\n\n";
        if (e.stackFrames() && !e.stackFrames()->empty()) {
            out += "Last Exception Backtrace:\n";
            long index = 0;
            for (const auto& frame : *e.stackFrames()) {
                out += formatStackFrame(*frame, index++, report, codeType.lp64);
            }
            out += "\n";
        }
    }
    const ZVCrashReportThreadInfo* lastCrashed = nullptr;
    for (const auto& thread : threads) {
        const auto number = static_cast<long long>(thread->threadNumber());
        out += thread->crashed() ? format("Thread %lld Crashed:\n", number)
                                 : format("Thread %lld:\n", number);
        long index = 0;
        for (const auto& frame : thread->stackFrames()) {
            out += formatStackFrame(*frame, index++, report, codeType.lp64);
        }
        out += "\n";
        if (thread->crashed()) lastCrashed = thread.get();
    }
    if (lastCrashed != nullptr) out += registerBlock(report, *lastCrashed, codeType);
    return out + imageLines(report, codeType.lp64);
}

std::vector<uint8_t> ZVCrashReportTextFormatter::formatReport(const ZVCrashReport& report,
                                                              ZVCrashReporterError*) const {
    const std::string text = stringValueForCrashReport(report, textFormat_);
    return std::vector<uint8_t>(text.begin(), text.end());
}

#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Internals/ZVTErrorLogFormatter.h"

#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Internals/ZVTWrapperExceptionManager.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUUID.h"

#include <cinttypes>
#include <cstdio>

namespace {

const std::string kZeroduvTag = "ZevOzozidZeroduv";

ZVTDate toDate(const ZVCrashDate& date) {
    return ZVTDate(std::chrono::duration_cast<ZVTDate::duration>(date.time_since_epoch()));
}

const std::optional<std::string>& processPathOf(const ZVCrashReport& report) {
    static const std::optional<std::string> none;
    return report.hasProcessInfo() ? report.processInfo()->processPath() : none;
}

int osOf(const ZVCrashReport& report) {
    return report.systemInfo() ? report.systemInfo()->operatingSystem() : -1;
}

// Architecture ids and whether they are known CPU type values (machine info first, then the
// first image whose code type uses the known encoding).
void addArchitecture(ZVTAppleErrorLog& log, const ZVCrashReport& report) {
    uint64_t type = 0, subtype = 0;
    if (report.hasMachineInfo() && report.machineInfo()->processorInfo()) {
        type = report.machineInfo()->processorInfo()->type();
        subtype = report.machineInfo()->processorInfo()->subtype();
    }
    const auto& systemCpu = report.systemInfo() ? report.systemInfo()->processorInfo() : nullptr;
    bool known =
        systemCpu && systemCpu->typeEncoding() == ZVCrashReportProcessorInfo::TYPE_ENCODING_MACH;
    for (const auto& image : report.images()) {
        const auto& code = image->codeType();
        known = code && code->typeEncoding() == ZVCrashReportProcessorInfo::TYPE_ENCODING_MACH;
        if (known) {
            type = code->type();
            subtype = code->subtype();
            break;
        }
    }
    log.setPrimaryArchitectureId(type);
    log.setArchitectureVariantId(subtype);
    log.setIsKnownEncodingType(known);
}

std::shared_ptr<ZVTExceptionModel> exceptionModelOf(const ZVCrashReport& report, bool is64bit) {
    if (!report.hasExceptionInfo()) return nullptr;
    const auto& info = *report.exceptionInfo();
    if (!info.stackFrames() || info.stackFrames()->empty()) return nullptr;
    ZVTStackFrames frames;
    for (const auto& frame : *info.stackFrames()) {
        auto out = std::make_shared<ZVTStackFrame>();
        out->setAddress(ZVTErrorLogFormatter::formatAddress(frame->instructionPointer(), is64bit));
        frames.push_back(std::move(out));
    }
    auto model = std::make_shared<ZVTExceptionModel>();
    model->setMessage(info.exceptionReason());
    model->setFrames(std::move(frames));
    if (!info.exceptionName().empty()) {
        model->setType(info.exceptionName());
    } else if (report.signalInfo()) {
        model->setType(report.signalInfo()->name());
    }
    return model;
}

}  // namespace

std::string ZVTErrorLogFormatter::errorIdForCrashReport(const Report& report) {
    if (auto text = uuidRefToString(report.uuidRef())) return *text;
    return ZVTUUID::random().UUIDString();
}

std::optional<std::string> ZVTErrorLogFormatter::uuidRefToString(
    const std::optional<std::array<uint8_t, 16>>& uuid) {
    if (!uuid) return std::nullopt;
    return ZVTUUID(*uuid).UUIDString();
}

void ZVTErrorLogFormatter::addProcessInfoAndApplicationPathTo(ZVTAppleErrorLog& log,
                                                              const Report& report) {
    log.setProcessId(0);
    log.setProcessName("???");
    log.setParentProcessName("???");
    log.setParentProcessId(std::nullopt);
    log.setApplicationPath("???");
    if (!report.hasProcessInfo()) return;
    const auto& info = *report.processInfo();
    log.setProcessId(static_cast<int64_t>(info.processID()));
    if (info.processName()) log.setProcessName(*info.processName());
    if (info.processPath()) log.setApplicationPath(anonymizedPathFromPath(info.processPath()));
    if (info.parentProcessName()) log.setParentProcessName(*info.parentProcessName());
    log.setParentProcessId(static_cast<int64_t>(info.parentProcessID()));
}

std::shared_ptr<const ZVCrashReportThreadInfo> ZVTErrorLogFormatter::findCrashedThreadInReport(
    const Report& report) {
    for (const auto& thread : report.threads()) {
        if (thread->crashed()) return thread;
    }
    return nullptr;
}

std::optional<ZVTDate> ZVTErrorLogFormatter::getAppLaunchTimeFromReport(const Report& report) {
    if (report.hasProcessInfo()) {
        const auto& start = report.processInfo()->processStartTime();
        return start ? std::optional<ZVTDate>(toDate(*start)) : std::nullopt;
    }
    return getCrashTimeFromReport(report);
}

std::optional<ZVTDate> ZVTErrorLogFormatter::getCrashTimeFromReport(const Report& report) {
    if (!report.systemInfo() || !report.systemInfo()->timestamp()) return std::nullopt;
    return toDate(*report.systemInfo()->timestamp());
}

std::optional<std::string> ZVTErrorLogFormatter::extractExceptionReasonFromReport(
    const Report& report) {
    if (!report.hasExceptionInfo()) return std::nullopt;
    return report.exceptionInfo()->exceptionReason();
}

std::optional<std::string> ZVTErrorLogFormatter::selectorRegisterValueFromReport(const Report&,
                                                                                 const Thread*,
                                                                                 uint64_t) {
    return std::nullopt;
}

std::shared_ptr<ZVTAppleErrorLog> ZVTErrorLogFormatter::errorLogFromCrashReport(
    const Report& report) {
    auto log = std::make_shared<ZVTAppleErrorLog>();
    log->setErrorId(errorIdForCrashReport(report));
    addProcessInfoAndApplicationPathTo(*log, report);
    const auto crashed = findCrashedThreadInReport(report);
    log->setErrorThreadId(crashed ? crashed->threadNumber() : 0);
    log->setFatal(true);
    log->setAppLaunchTimestamp(getAppLaunchTimeFromReport(report));
    if (auto crashTime = getCrashTimeFromReport(report)) {
        const auto sinceEpoch = crashTime->time_since_epoch();
        if (sinceEpoch == std::chrono::duration_cast<ZVTDate::duration>(
                              std::chrono::duration_cast<std::chrono::seconds>(sinceEpoch))) {
            *crashTime += std::chrono::milliseconds(999);
        }
        log->setTimestamp(*crashTime);
    }
    addArchitecture(*log, report);
    const bool is64bit = isCodeType64bit(log->primaryArchitectureId().value_or(0));
    if (const auto& signal = report.signalInfo()) {
        log->setOsExceptionType(signal->name());
        log->setOsExceptionCode(signal->code());
        char address[32];
        std::snprintf(address, sizeof address, "0x%" PRIx64, signal->address());
        log->setOsExceptionAddress(std::string(address));
    }
    log->setExceptionReason(extractExceptionReasonFromReport(report));
    if (report.hasExceptionInfo()) log->setExceptionType(report.exceptionInfo()->exceptionName());
    log->setSelectorRegisterValue(selectorRegisterValueFromReport(
        report, crashed.get(), log->primaryArchitectureId().value_or(0)));
    log->setThreads(extractThreadsFromReport(report, crashed, is64bit));
    log->setRegisters(extractRegistersFromCrashedThread(crashed.get(), is64bit));
    log->setBinaries(extractBinaryImagesFromReport(report, is64bit));
    log->setDevice(deviceForTimestamp(log->timestamp(), report));
    if (auto uuid = uuidRefToString(report.uuidRef())) {
        if (auto wrapper = ZVTWrapperExceptionManager::loadWrapperExceptionWithUUIDString(*uuid)) {
            log->setException(wrapper->modelException());
        }
    }
    return log;
}

ZVTThreads ZVTErrorLogFormatter::extractThreadsFromReport(
    const Report& report, const std::shared_ptr<const Thread>& crashedThread, bool is64bit) {
    const auto exception = exceptionModelOf(report, is64bit);
    ZVTThreads threads;
    for (const auto& info : report.threads()) {
        auto thread = std::make_shared<ZVTThread>();
        thread->setThreadId(info->threadNumber());
        if (crashedThread && exception && info->threadNumber() == crashedThread->threadNumber()) {
            thread->setException(exception);
        }
        ZVTStackFrames frames;
        for (const auto& frame : info->stackFrames()) {
            auto out = std::make_shared<ZVTStackFrame>();
            out->setAddress(formatAddress(frame->instructionPointer(), is64bit));
            out->setCode(formatStackFrame(*frame, report));
            frames.push_back(std::move(out));
        }
        thread->setFrames(std::move(frames));
        threads.push_back(std::move(thread));
    }
    return threads;
}

std::string ZVTErrorLogFormatter::formatStackFrame(const ZVCrashReportStackFrameInfo& frame,
                                                   const Report& report) {
    const uint64_t pc = frame.instructionPointer();
    const auto image = report.imageForAddress(pc);
    uint64_t base = 0, offset = 0;
    if (image) {
        base = image->imageBaseAddress();
        offset = pc - base;
    } else if (pc != 0) {
        ZVTLogWarning(kZeroduvTag, "Cannot find image for 0x", std::hex, pc);
    }
    const std::optional<std::string> imagePath =
        image ? std::optional<std::string>(image->imageName()) : std::nullopt;
    const ZVTImageType kind = imageTypeForImagePath(imagePath, processPathOf(report), osOf(report));
    char text[512];
    if (kind == ZVTImageTypeOther && frame.symbolInfo()) {
        std::string name = frame.symbolInfo()->symbolName();
        if (name.size() >= 2 && name[0] == '_') {
            const int os = osOf(report);
            if (os == 0 || os == 1 || os == 2 || os == 4) {
                name.erase(0, 1);
            } else if (os == 3) {
                ZVTLogWarning(kZeroduvTag, "Symbol \"", name,
                              "\" prefix rules are unknown for this OS!");
            }
        }
        const long long delta = static_cast<long long>(pc - frame.symbolInfo()->startAddress());
        return name + " + " + std::to_string(delta);
    }
    std::snprintf(text, sizeof text, "0x%" PRIx64 " + %lld", base, static_cast<long long>(offset));
    return text;
}

ZVTRegisters ZVTErrorLogFormatter::extractRegistersFromCrashedThread(const Thread* thread,
                                                                     bool is64bit) {
    ZVTRegisters registers;
    if (!thread) return registers;
    for (const auto& reg : thread->registers()) {
        registers[reg->registerName()] = formatAddress(reg->registerValue(), is64bit);
    }
    return registers;
}

#include "ZVCrashReporter/Source/ZVCrashReporter.h"

#include "ZVCrashReporter/Source/ZVCrashReportFolder.h"
#include "ZVCrashReporter/Source/ZVCrashSignalHandler.h"
#include "ZVCrashReporter/Source/ZVCrashThreadStacks.h"
#include "ZVCrashReporter/Source/ZVCrashWriterSetup.h"
#include "ZVCrashReporter/Source/ZVLoadedImages.h"
#include "ZVCrashReporter/Source/async/CrashCallback.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>

#include <sys/syscall.h>
#include <unistd.h>

namespace {

std::mutex g_enableMutex;
bool g_enabled = false;
std::atomic<ZVCrashUncaughtExceptionHandler> g_uncaughtHandler{nullptr};
std::atomic_flag g_exceptionRecorded = ATOMIC_FLAG_INIT;

// Everything here lives until the process ends: a crash may read it at any time.
struct ProcessCrashState {
    loaded_image_list images{};
    zvcrash_crash_context context{};
    ZVCrashWriterSetup setup;
    // The paths of the report targets (see zvcrash_report_target), kept for crash time.
    struct TargetPaths {
        std::string directory, reserve, report, temp;
    };
    TargetPaths targetPaths[ZVCRASH_REPORT_TARGETS];
    std::mutex customDataMutex;
    std::vector<std::unique_ptr<std::vector<uint8_t>>> customDataCopies;
    std::vector<std::unique_ptr<zvcrash_custom_data>> customDataRecords;
    std::mutex liveMutex;
    zvcrash_capture_area liveArea{};
};

ProcessCrashState& processState() {
    static ProcessCrashState* state = [] {
        auto* s = new ProcessCrashState();
        zvcrash_async_memory_setup();
        loaded_image_list_init(&s->images, zvcrash_async_task_self());
        loaded_image_list_add_loaded_images(&s->images);
        return s;
    }();
    return *state;
}

// The capture signal, installed once on first use: at enable, or by a live report before it.
int processCaptureSignal() {
    static const int signo = zvcrash_install_capture_signal();
    return signo;
}

void fail(ZVCrashReporterError* error, int code, const std::string& text, int err = 0) {
    if (error == nullptr) return;
    *error = ZVCrashReporterError{};
    error->code = code;
    error->localizedDescription = text;
    error->underlyingPosixError = err;
}

bool areaComplete(const zvcrash_capture_area& a) {
    return a.slots && a.threads && a.frames && a.names && a.images && a.image_records;
}

// Publishes a copy of the bytes to the writer state. Earlier copies are kept: a crash on
// another thread may still be reading one.
void publishCustomData(zvcrash_writer_state* writer,
                       const std::optional<std::vector<uint8_t>>& data) {
    ProcessCrashState& state = processState();
    std::lock_guard<std::mutex> lock(state.customDataMutex);
    if (!data) {
        writer->custom_data.store(nullptr, std::memory_order_release);
        return;
    }
    state.customDataCopies.push_back(std::make_unique<std::vector<uint8_t>>(*data));
    state.customDataRecords.push_back(std::make_unique<zvcrash_custom_data>(
        zvcrash_custom_data{state.customDataCopies.back()->data(), data->size()}));
    writer->custom_data.store(state.customDataRecords.back().get(), std::memory_order_release);
}

// Names one reporter's slot and reserved files: random, so that two programs on one folder (also
// on two machines sharing a home) never pick the same.
std::string makeTag() {
    std::random_device random;
    char text[17];
    std::snprintf(text, sizeof text, "%08x%08x", random(), random());
    return text;
}

// Removes this process's reserved files when it ends without a crash.
void removeOwnReserves() {
    for (const zvcrash_report_target& target : processState().context.targets) {
        if (target.reserve_fd >= 0) ::unlink(target.reserve_path);
    }
}

}  // namespace

ZVCrashReporter::ZVCrashReporter(ZVCrashReporterConfig config)
    : ZVCrashReporter(program_invocation_short_name, "", std::nullopt, std::move(config)) {}

ZVCrashReporter::ZVCrashReporter(std::string identifier, std::string version,
                                 std::optional<std::string> marketingVersion,
                                 ZVCrashReporterConfig config)
    : config_(std::move(config)),
      identifier_(std::move(identifier)),
      version_(std::move(version)),
      marketingVersion_(std::move(marketingVersion)) {
    std::string folder = identifier_;
    for (char& c : folder) {
        if (c == '/') c = '_';
    }
    directory_ =
        config_.basePath.value_or(ZVCrashReportFolder::defaultBase()) / kDataDirectoryName / folder;
    if (config_.fallbackBasePath) {
        fallbackBase_ = *config_.fallbackBasePath;
    } else if (!config_.basePath) {
        fallbackBase_ = ZVCrashReportFolder::defaultFallbackBase();
    }
    if (fallbackBase_) fallbackDirectory_ = *fallbackBase_ / kDataDirectoryName / folder;
    if (!config_.basePath) {
        ZVCrashReportFolder::adoptLegacyFolder(
            ZVCrashReportFolder::legacyBase() / kDataDirectoryName / folder, directory_);
    }
    tag_ = makeTag();
}

ZVCrashReporter& ZVCrashReporter::sharedReporter() {
    static ZVCrashReporter* reporter = new ZVCrashReporter();
    return *reporter;
}

std::vector<std::filesystem::path> ZVCrashReporter::folders() const {
    std::vector<std::filesystem::path> all{directory_};
    if (fallbackDirectory_) all.push_back(*fallbackDirectory_);
    return all;
}

std::vector<std::filesystem::path> ZVCrashReporter::pendingCrashReports() const {
    return ZVCrashReportFolder::pendingReports(folders(), kTakenReportName);
}

bool ZVCrashReporter::hasPendingCrashReport() const {
    return !pendingCrashReports().empty();
}

bool ZVCrashReporter::hasTakenCrashReport() const {
    const auto pending = pendingCrashReports();
    return !pending.empty() && pending.front().filename() == kTakenReportName;
}

std::optional<std::filesystem::path> ZVCrashReporter::takePendingCrashReport(
    ZVCrashReporterError* error) const {
    const auto pending = pendingCrashReports();
    if (pending.empty()) {
        fail(error, ZVCrashReporterErrorOperatingSystem, "No crash report is pending", ENOENT);
        return std::nullopt;
    }
    if (pending.front().filename() == kTakenReportName) return pending.front();
    std::error_code ec;
    for (const auto& slot : pending) {
        // Beside the slot: one rename on one file system, so the report is never in two places.
        const auto taken = slot.parent_path() / kTakenReportName;
        std::filesystem::rename(slot, taken, ec);
        if (!ec) return taken;
    }
    fail(error, ZVCrashReporterErrorOperatingSystem, ec.message(), ec.value());
    return std::nullopt;
}

std::optional<std::vector<uint8_t>> ZVCrashReporter::loadPendingCrashReportData(
    ZVCrashReporterError* error) const {
    const auto taken = takePendingCrashReport(error);
    if (!taken) return std::nullopt;
    std::ifstream in(*taken, std::ios::binary);
    if (!in) {
        fail(error, ZVCrashReporterErrorOperatingSystem, "The pending crash report cannot be read",
             errno);
        return std::nullopt;
    }
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

bool ZVCrashReporter::purgePendingCrashReport(ZVCrashReporterError* error) const {
    bool removed = false;
    std::error_code ec;
    for (const auto& folder : folders()) {
        if (std::filesystem::remove(folder / kTakenReportName, ec)) removed = true;
    }
    if (!removed) {
        fail(error, ZVCrashReporterErrorOperatingSystem,
             ec ? ec.message() : "The pending crash report does not exist",
             ec ? ec.value() : ENOENT);
    }
    return removed;
}

void ZVCrashReporter::purgeAllPendingCrashReports() const {
    for (const auto& report : pendingCrashReports()) {
        std::error_code ec;
        std::filesystem::remove(report, ec);
    }
}

bool ZVCrashReporter::populateDirectories(ZVCrashReporterError* error) const {
    for (const auto& folder : {crashReportDirectory(), queuedCrashReportDirectory()}) {
        int err = 0;
        if (!ZVCrashReportFolder::makePrivateFolder(folder, err)) {
            fail(error, ZVCrashReporterErrorOperatingSystem, std::strerror(err), err);
            return false;
        }
    }
    return true;
}

bool ZVCrashReporter::enableCrashReporter(ZVCrashReporterError* error) {
    std::lock_guard<std::mutex> lock(g_enableMutex);
    if (g_enabled) {
        fail(error, ZVCrashReporterErrorAlreadyEnabled,
             "A ZVCrashReporter instance has already been enabled");
        return false;
    }
    g_enabled = true;
    ProcessCrashState& state = processState();
    zvcrash_crash_context& context = state.context;
    // The report folder, then the fallback folder, each where it can be made.
    ZVCrashReporterError firstError;
    const bool primary = populateDirectories(&firstError);
    int fallbackError = 0;
    // The base too must be this user's own folder: the default one sits in a folder that every
    // user may write to, where another could have put a folder or a link of theirs first.
    const bool fallback =
        fallbackDirectory_ &&
        ZVCrashReportFolder::makePrivateFolder(*fallbackBase_, fallbackError) &&
        ZVCrashReportFolder::makePrivateFolder(*fallbackDirectory_, fallbackError);
    if (!primary && !fallback) {
        if (error != nullptr) *error = firstError;
        return false;
    }
    std::vector<std::filesystem::path> usable;
    if (primary) usable.push_back(directory_);
    if (fallback) usable.push_back(*fallbackDirectory_);
    for (size_t i = 0; i < ZVCRASH_REPORT_TARGETS; ++i) {
        zvcrash_report_target& target = context.targets[i];
        target = zvcrash_report_target{nullptr, nullptr, nullptr, nullptr, -1};
        if (i >= usable.size()) continue;
        ZVCrashReportFolder::removeAbandonedReserves(usable[i]);
        ProcessCrashState::TargetPaths& paths = state.targetPaths[i];
        paths.directory = usable[i].string();
        paths.reserve = (usable[i] / (".live_report." + tag_ + ".reserve")).string();
        paths.report = (usable[i] / crashReportPath().filename()).string();
        paths.temp = (usable[i] / (".live_report." + tag_ + ".partial")).string();
        target.directory = paths.directory.c_str();
        target.reserve_path = paths.reserve.c_str();
        target.report_path = paths.report.c_str();
        target.temp_path = paths.temp.c_str();
        target.reserve_fd = ZVCrashReportFolder::reserveFile(paths.reserve, ZVCRASH_REPORT_CAP);
    }
    std::atexit(removeOwnReserves);
    state.setup.setup(&context.writer, identifier_, version_, marketingVersion_,
                      static_cast<uint32_t>(config_.symbolicationStrategy & 3), false);
    if (customData_) publishCustomData(&context.writer, customData_);
    context.capture = zvcrash_capture_area_make(&state.images);
    if (!areaComplete(context.capture)) {
        fail(error, ZVCrashReporterErrorOperatingSystem, "Failed to reserve crash-time memory",
             ENOMEM);
        return false;
    }
    context.capture.capture_signal = processCaptureSignal();
    if (config_.signalHandlerType <= 1) {
        for (int signo : ZVCRASH_CRASH_SIGNALS) {
            if (!ZVCrashSignalHandler::sharedHandler().registerHandlerForSignal(
                    signo, signal_crash_callback, &context, error)) {
                return false;
            }
        }
        // Every other thread, running now or made later, gets a stack of its own too.
        ZVCrashThreadStacks::enable(context.capture.capture_signal);
    }
    if (config_.shouldRegisterUncaughtExceptionHandler) {
        setUncaughtExceptionHandler(&ZVCrashReporter::recordUncaughtExceptionAndAbort);
    }
    enabled_ = true;
    return true;
}

bool ZVCrashReporter::setCrashCallbacks(const ZVCrashReporterCallbacks& callbacks) {
    if (enabled_ || callbacks.version != 0) return false;
    zvcrash_crash_context& context = processState().context;
    context.handler_context.store(callbacks.context, std::memory_order_release);
    context.handler.store(callbacks.handler, std::memory_order_release);
    return true;
}

void ZVCrashReporter::setCustomData(std::optional<std::vector<uint8_t>> data) {
    customData_ = std::move(data);
    if (enabled_) publishCustomData(&processState().context.writer, customData_);
}

ZVCrashUncaughtExceptionHandler ZVCrashReporter::uncaughtExceptionHandler() {
    return g_uncaughtHandler.load(std::memory_order_acquire);
}

void ZVCrashReporter::setUncaughtExceptionHandler(ZVCrashUncaughtExceptionHandler handler) {
    g_uncaughtHandler.store(handler, std::memory_order_release);
}

void ZVCrashReporter::recordUncaughtExceptionAndAbort(const ZVCrashExceptionRecord& exception) {
    if (g_exceptionRecorded.test_and_set()) return;
    // Kept for the rest of the process: the crash report reads it.
    auto* name = new std::string(exception.name);
    auto* reason = new std::string(exception.reason);
    auto* stack = new std::vector<uint64_t>(exception.returnAddresses);
    auto* record = new zvcrash_recorded_exception{name->c_str(), reason->c_str(), stack->data(),
                                                  stack->size()};
    processState().context.writer.exception.store(record, std::memory_order_release);
    std::abort();
}

namespace {

struct LiveWrite {
    zvcrash_capture_area* area;
    const zvcrash_writer_state* writer;
    crash_output_file* out;
    zvcrash_signal_record signal;
    zvcrash_error_t result;
};

int writeLiveReport(zvcrash_async_thread_state* state, void* context) {
    auto* live = static_cast<LiveWrite*>(context);
    live->result =
        zvcrash_capture_write_report(live->area, live->writer, state, 0, &live->signal, live->out);
    zvcrash_capture_release_threads();
    return 0;
}

pid_t currentThreadId() {
    return static_cast<pid_t>(syscall(SYS_gettid));
}

}  // namespace

std::optional<std::vector<uint8_t>> ZVCrashReporter::generateLiveReport(
    ZVCrashReporterError* error) {
    return liveReport(0, reinterpret_cast<uint64_t>(__builtin_return_address(0)), error);
}

std::optional<std::vector<uint8_t>> ZVCrashReporter::generateLiveReportWithThread(
    pid_t thread, ZVCrashReporterError* error) {
    return liveReport(thread, reinterpret_cast<uint64_t>(__builtin_return_address(0)), error);
}

std::optional<std::vector<uint8_t>> ZVCrashReporter::liveReport(pid_t thread, uint64_t caller,
                                                                ZVCrashReporterError* error) {
    if (thread == currentThreadId()) thread = 0;
    std::error_code ec;
    if (thread != 0 &&
        (thread < 0 || !std::filesystem::exists("/proc/self/task/" + std::to_string(thread), ec))) {
        fail(error, ZVCrashReporterErrorOperatingSystem,
             "The thread is not a thread of this process", ESRCH);
        return std::nullopt;
    }
    ProcessCrashState& state = processState();
    std::lock_guard<std::mutex> lock(state.liveMutex);
    if (state.liveArea.slots == nullptr) state.liveArea = zvcrash_capture_area_make(&state.images);
    if (!areaComplete(state.liveArea)) {
        fail(error, ZVCrashReporterErrorOperatingSystem, "Failed to reserve crash-time memory",
             ENOMEM);
        return std::nullopt;
    }
    // Also before enable: the other threads answer the same capture signal.
    state.liveArea.capture_signal = processCaptureSignal();
    std::string path =
        (std::filesystem::temp_directory_path() / "live_crash_report.XXXXXX").string();
    const int fd = mkstemp(path.data());
    if (fd < 0) {
        fail(error, ZVCrashReporterErrorOperatingSystem, "Failed to create temporary path", errno);
        return std::nullopt;
    }
    ZVCrashWriterSetup setup;
    zvcrash_writer_state writer{};
    setup.setup(&writer, identifier_, version_, marketingVersion_,
                static_cast<uint32_t>(config_.symbolicationStrategy & 3), true);
    zvcrash_custom_data custom{};
    if (customData_) {
        custom = zvcrash_custom_data{customData_->data(), customData_->size()};
        writer.custom_data.store(&custom);
    }
    crash_output_file out;
    crash_output_file_init(&out, fd, ZVCRASH_REPORT_CAP);
    LiveWrite live{&state.liveArea, &writer, &out,
                   zvcrash_signal_record{SIGTRAP, TRAP_TRACE, caller}, ZVCRASH_EUNKNOWN};
    if (thread == 0) {
        capture_current_thread_state(writeLiveReport, &live);
    } else {
        // Another thread: it answers the capture signal with its registers; the calling thread
        // is left out of the report.
        live.result = zvcrash_capture_write_report(live.area, live.writer, nullptr, thread,
                                                   &live.signal, live.out);
        zvcrash_capture_release_threads();
    }
    crash_output_file_close(&out);
    std::optional<std::vector<uint8_t>> data;
    if (live.result != ZVCRASH_ESUCCESS) {
        std::fprintf(stderr, "[ZVCrashReporter] Write failed with error %s\n",
                     zvcrash_async_strerror(live.result));
        fail(error, ZVCrashReporterErrorUnknown, "Failed to write the crash report to disk");
    } else {
        std::ifstream in(path, std::ios::binary);
        if (in)
            data = std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
        else
            fail(error, ZVCrashReporterErrorUnknown,
                 "Unable to open live crash report for reading");
    }
    if (unlink(path.c_str()) != 0) {
        std::fprintf(stderr, "[ZVCrashReporter] Failure occured deleting live crash report: %s\n",
                     std::strerror(errno));
    }
    return data;
}

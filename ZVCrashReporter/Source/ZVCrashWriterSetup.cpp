#include "ZVCrashReporter/Source/ZVCrashWriterSetup.h"

#include "ZVCrashReporter/Source/ZVCrashHostInfo.h"
#include "ZVCrashReporter/Source/ZVCrashProcessInfo.h"
#include "ZVCrashReporter/Source/ZVCrashThreadStacks.h"
#include "ZVCrashReporter/Source/ZVLoadedImages.h"

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include <sys/mman.h>
#include <unistd.h>

namespace {

std::string readFirstLine(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

uint32_t physicalCores(uint32_t logical) {
    std::set<std::pair<std::string, std::string>> cores;
    for (uint32_t cpu = 0; cpu < logical; ++cpu) {
        const std::filesystem::path topology =
            "/sys/devices/system/cpu/cpu" + std::to_string(cpu) + "/topology";
        const std::string package = readFirstLine(topology / "physical_package_id");
        const std::string core = readFirstLine(topology / "core_id");
        if (!core.empty()) cores.emplace(package, core);
    }
    return cores.empty() ? logical : static_cast<uint32_t>(cores.size());
}

void makeUuid(uint8_t uuid[16]) {
    std::ifstream random("/dev/urandom", std::ios::binary);
    random.read(reinterpret_cast<char*>(uuid), 16);
    uuid[6] = static_cast<uint8_t>((uuid[6] & 0x0F) | 0x40);
    uuid[8] = static_cast<uint8_t>((uuid[8] & 0x3F) | 0x80);
}

template <typename T>
T* mapArray(size_t count) {
    void* area = mmap(nullptr, sizeof(T) * count, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return area == MAP_FAILED ? nullptr : static_cast<T*>(area);
}

}  // namespace

std::string ZVCrashWriterSetup::osVersionText(uint64_t major, uint64_t minor, uint64_t patch) {
    std::string text = std::to_string(major) + "." + std::to_string(minor);
    if (patch > 0) text += "." + std::to_string(patch);
    return text;
}

std::string ZVCrashWriterSetup::prettyName(const std::string& osRelease) {
    std::istringstream lines(osRelease);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("PRETTY_NAME=", 0) != 0) continue;
        std::string value = line.substr(12);
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front()) {
            value = value.substr(1, value.size() - 2);
        }
        return value;
    }
    return {};
}

bool ZVCrashWriterSetup::setup(zvcrash_writer_state* writer, const std::string& identifier,
                               const std::string& version,
                               const std::optional<std::string>& marketingVersion,
                               uint32_t strategy, bool userRequested) {
    writer->strategy = strategy;
    writer->custom_data.store(nullptr);
    writer->exception.store(nullptr);
    zvcrash_header_record& h = writer->header;
    h = zvcrash_header_record{};
    h.user_requested = userRequested;
    makeUuid(h.uuid);
    identifier_ = identifier;
    version_ = version;
    h.app_identifier = identifier_.c_str();
    h.app_version = version_.c_str();
    if (marketingVersion) {
        marketingVersion_ = *marketingVersion;
        h.app_marketing_version = marketingVersion_.c_str();
    }
    h.operating_system = ZVCRASH_OS_LINUX;
    h.architecture = ZVCRASH_ARCH_X86_64;
    const auto host = ZVCrashHostInfo::currentHostInfo();
    osVersion_ = host ? osVersionText(host->kernelVersion().major, host->kernelVersion().minor,
                                      host->kernelVersion().revision)
                      : "0.0";
    osBuild_ = prettyName(readFile("/etc/os-release"));
    h.os_version = osVersion_.c_str();
    h.os_build = osBuild_.c_str();
    model_ = readFirstLine("/sys/class/dmi/id/product_name");
    if (!model_.empty()) h.machine_model = model_.c_str();
    h.cpu_type = ZVCRASH_CPU_TYPE_X86_64;
    h.cpu_subtype = ZVCRASH_CPU_SUBTYPE_X86_64_ALL;
    const long logical = sysconf(_SC_NPROCESSORS_CONF);
    h.logical_cpus = logical > 0 ? static_cast<uint32_t>(logical) : 0;
    h.physical_cpus = physicalCores(h.logical_cpus);
    h.native = true;

    const auto process = ZVCrashProcessInfo::currentProcessInfo();
    if (!process) return false;
    h.process_id = static_cast<uint32_t>(process->processID());
    if (process->processName()) {
        processName_ = *process->processName();
        h.process_name = processName_.c_str();
    }
    h.start_time = static_cast<uint64_t>(process->startTime().count() / 1000000);
    std::error_code ec;
    processPath_ = std::filesystem::read_symlink("/proc/self/exe", ec).string();
    if (!ec) h.process_path = processPath_.c_str();
    h.parent_process_id = static_cast<uint32_t>(process->parentProcessID());
    const auto parent = ZVCrashProcessInfo::initWithProcessID(process->parentProcessID());
    if (parent && parent->processName()) {
        parentName_ = *parent->processName();
        h.parent_process_name = parentName_.c_str();
    }
    return true;
}

zvcrash_capture_area zvcrash_capture_area_make(loaded_image_list* images) {
    zvcrash_capture_area area{};
    area.slots = mapArray<zvcrash_thread_slot>(ZVCRASH_MAX_THREADS);
    area.threads = mapArray<zvcrash_thread_record>(ZVCRASH_MAX_THREADS);
    area.frames = mapArray<zvcrash_frame_record>(ZVCRASH_SCRATCH_FRAMES);
    area.names = mapArray<char>(ZVCRASH_SCRATCH_NAME_BYTES);
    area.images = mapArray<const elf_image*>(ZVCRASH_MAX_LINK_MAP);
    area.image_records = mapArray<zvcrash_image_record>(ZVCRASH_MAX_LINK_MAP);
    area.pool = zvcrash_image_pool_make(64);
    area.image_list = images;
    return area;
}

int zvcrash_install_capture_signal() {
    for (int signo = SIGRTMIN; signo <= SIGRTMAX; ++signo) {
        struct sigaction current {};
        if (sigaction(signo, nullptr, &current) != 0) continue;
        if ((current.sa_flags & SA_SIGINFO) != 0 || current.sa_handler != SIG_DFL) continue;
        struct sigaction action {};
        action.sa_sigaction = ZVCrashThreadStacks::signalHandler;
        action.sa_flags = SA_SIGINFO | SA_RESTART;
        sigemptyset(&action.sa_mask);
        if (sigaction(signo, &action, nullptr) == 0) return signo;
    }
    return 0;
}

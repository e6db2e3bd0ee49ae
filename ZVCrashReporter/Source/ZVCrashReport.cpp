#include "ZVCrashReporter/Source/ZVCrashReport.h"

#include "zvcrash.pb-c.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <system_error>

using Message = Zvcrash__CrashReport;
using SystemMsg = Zvcrash__CrashReport__SystemInfo;
using ProcessorMsg = Zvcrash__CrashReport__Processor;
using MachineMsg = Zvcrash__CrashReport__MachineInfo;
using AppMsg = Zvcrash__CrashReport__ApplicationInfo;
using ProcessMsg = Zvcrash__CrashReport__ProcessInfo;
using SignalMsg = Zvcrash__CrashReport__Signal;
using MachMsg = Zvcrash__CrashReport__Signal__MachException;
using ThreadMsg = Zvcrash__CrashReport__Thread;
using FrameMsg = Zvcrash__CrashReport__Thread__StackFrame;
using SymbolMsg = Zvcrash__CrashReport__Symbol;
using ImageMsg = Zvcrash__CrashReport__BinaryImage;
using ExceptionMsg = Zvcrash__CrashReport__Exception;

namespace {

constexpr uint64_t kCpuTypeArm64 = 0x100000C;
constexpr uint64_t kCpuSubtypeArm64e = 2;
constexpr uint64_t kArm64ePointerMask = 0xFFFFFFFFFull;

std::optional<std::string> optionalString(const char* s) {
    if (s == nullptr) return std::nullopt;
    return std::string(s);
}

ZVCrashDate dateFromSeconds(uint64_t seconds) {
    return ZVCrashDate(std::chrono::seconds(static_cast<int64_t>(seconds)));
}

}  // namespace

// The extraction steps of a report, in the order the root runs them. Each step returns null and
// records its message on failure; the first failure ends the build.
class ZVCrashReportDecoder {
  public:
    explicit ZVCrashReportDecoder(ZVCrashReport& report) : report_(report) {}

    std::string error;

    bool fail(const char* message) {
        error = message;
        return false;
    }

    Message* decodeCrashData(const uint8_t* data, size_t length) {
        if (length <= 8) return fail("Could not decode truncated crash log"), nullptr;
        if (length > ZVCrashReport::kMaximumReportSize) {
            return fail("Crash report file is too large"), nullptr;
        }
        if (std::memcmp(data, "zvcrash", 7) != 0) {
            return fail("Could not decode invalid crash log header"), nullptr;
        }
        if (data[7] != 1) {
            error = "Could not decode unsupported crash report version: " + std::to_string(data[7]);
            return nullptr;
        }
        Message* message = zvcrash__crash_report__unpack(nullptr, length - 8, data + 8);
        if (message == nullptr) fail("An unknown error occured decoding the crash report");
        return message;
    }

    bool build(const Message* m) {
        if (m->report_info != nullptr && m->report_info->has_uuid) {
            const ProtobufCBinaryData& uuid = m->report_info->uuid;
            if (uuid.len != 16) return fail("Report UUID value is not a standard 16 bytes");
            std::array<uint8_t, 16> bytes{};
            std::memcpy(bytes.data(), uuid.data, 16);
            report_.uuid_ = bytes;
        }
        if (m->machine_info != nullptr && !(report_.machineInfo_ = machineInfo(m->machine_info))) {
            return false;
        }
        ZVProcessorInfoPtr processor =
            report_.machineInfo_ != nullptr ? report_.machineInfo_->processorInfo() : nullptr;
        if (!(report_.systemInfo_ = systemInfo(m->system_info, processor))) return false;
        if (!(report_.applicationInfo_ = applicationInfo(m->application_info))) return false;
        if (m->process_info != nullptr && !(report_.processInfo_ = processInfo(m->process_info))) {
            return false;
        }
        if (!(report_.signalInfo_ = signalInfo(m->signal))) return false;
        if (m->signal->mach_exception != nullptr &&
            !(report_.machExceptionInfo_ = machExceptionInfo(m->signal->mach_exception))) {
            return false;
        }
        if (!threads(m) || !images(m)) return false;
        if (m->exception != nullptr && !(report_.exceptionInfo_ = exceptionInfo(m->exception))) {
            return false;
        }
        if (m->has_custom_data) {
            const uint8_t* d = m->custom_data.data;
            report_.customData_ = std::vector<uint8_t>(d, d + m->custom_data.len);
        }
        return true;
    }

  private:
    ZVCrashReport& report_;

    std::shared_ptr<const ZVCrashReportProcessorInfo> processorInfo(const ProcessorMsg* p) {
        if (p == nullptr) return fail("Crash report is missing processor info section"), nullptr;
        return std::make_shared<ZVCrashReportProcessorInfo>(p->has_encoding ? p->encoding : 0,
                                                            p->type, p->subtype);
    }

    ZVProcessorInfoPtr synthesizeProcessorInfo(int architecture) {
        static constexpr uint64_t kTable[6][2] = {{7, 3},  {0x1000007, 3}, {12, 6},
                                                  {18, 0}, {0x1000012, 0}, {12, 9}};
        const auto index = static_cast<unsigned int>(architecture);
        if (index >= 6) return fail("Crash report has an unknown architecture"), nullptr;
        return std::make_shared<ZVCrashReportProcessorInfo>(1, kTable[index][0], kTable[index][1]);
    }

    std::shared_ptr<const ZVCrashReportSystemInfo> systemInfo(const SystemMsg* s,
                                                              ZVProcessorInfoPtr processor) {
        if (s == nullptr)
            return fail("Crash report is missing System Information section"), nullptr;
        if (s->os_version == nullptr) {
            return fail("Crash report is missing System Information OS version field"), nullptr;
        }
        if (processor == nullptr && !(processor = synthesizeProcessorInfo(s->architecture))) {
            return nullptr;
        }
        std::optional<ZVCrashDate> timestamp;
        if (s->timestamp != 0) timestamp = dateFromSeconds(static_cast<uint64_t>(s->timestamp));
        return std::make_shared<ZVCrashReportSystemInfo>(
            s->has_operating_system ? s->operating_system : 3, s->os_version,
            optionalString(s->os_build), s->architecture, std::move(processor), timestamp);
    }

    std::shared_ptr<const ZVCrashReportMachineInfo> machineInfo(const MachineMsg* m) {
        ZVProcessorInfoPtr processor;
        if (m->processor != nullptr && !(processor = processorInfo(m->processor))) return nullptr;
        return std::make_shared<ZVCrashReportMachineInfo>(optionalString(m->model),
                                                          std::move(processor), m->processor_count,
                                                          m->logical_processor_count);
    }

    std::shared_ptr<const ZVCrashReportApplicationInfo> applicationInfo(const AppMsg* a) {
        if (a == nullptr) {
            return fail("Crash report is missing Application Information section"), nullptr;
        }
        if (a->identifier == nullptr) {
            return fail("Crash report is missing Application Information app identifier field"),
                   nullptr;
        }
        if (a->version == nullptr) {
            return fail("Crash report is missing Application Information app version field"),
                   nullptr;
        }
        return std::make_shared<ZVCrashReportApplicationInfo>(a->identifier, a->version,
                                                              optionalString(a->marketing_version));
    }

    std::shared_ptr<const ZVCrashReportProcessInfo> processInfo(const ProcessMsg* p) {
        std::optional<ZVCrashDate> start;
        if (p->has_start_time) start = dateFromSeconds(p->start_time);
        return std::make_shared<ZVCrashReportProcessInfo>(
            optionalString(p->process_name), p->process_id, optionalString(p->process_path), start,
            optionalString(p->parent_process_name), p->parent_process_id, p->native != 0);
    }

    std::shared_ptr<const ZVCrashReportSignalInfo> signalInfo(const SignalMsg* s) {
        if (s == nullptr)
            return fail("Crash report is missing Signal Information section"), nullptr;
        if (s->name == nullptr) return fail("Crash report is missing signal name field"), nullptr;
        if (s->code == nullptr) return fail("Crash report is missing signal code field"), nullptr;
        return std::make_shared<ZVCrashReportSignalInfo>(s->name, s->code, s->address);
    }

    std::shared_ptr<const ZVCrashReportMachExceptionInfo> machExceptionInfo(const MachMsg* m) {
        if (m->n_codes >= 256) {
            return fail("Crash report includes too many Mach Exception codes"), nullptr;
        }
        return std::make_shared<ZVCrashReportMachExceptionInfo>(
            m->type, std::vector<uint64_t>(m->codes, m->codes + m->n_codes));
    }

    std::shared_ptr<const ZVCrashReportStackFrameInfo> stackFrame(const FrameMsg* f) {
        if (f == nullptr) return fail("Crash report is missing stack frame information"), nullptr;
        std::shared_ptr<const ZVCrashReportSymbolInfo> symbol;
        if (f->symbol != nullptr) {
            const SymbolMsg* s = f->symbol;
            if (s->name == nullptr)
                return fail("Crash report is missing symbol information"), nullptr;
            symbol = std::make_shared<ZVCrashReportSymbolInfo>(
                s->name, s->start_address, s->has_end_address ? s->end_address : 0);
        }
        uint64_t pc = f->pc;
        const auto& machine = report_.machineInfo_;
        if (machine != nullptr && machine->processorInfo() != nullptr &&
            machine->processorInfo()->type() == kCpuTypeArm64 &&
            machine->processorInfo()->subtype() == kCpuSubtypeArm64e) {
            pc &= kArm64ePointerMask;
        }
        return std::make_shared<ZVCrashReportStackFrameInfo>(pc, std::move(symbol));
    }

    bool stackFrames(FrameMsg* const* frames, size_t count, ZVStackFrames& out) {
        out.reserve(count);
        for (size_t i = 0; i < count; ++i) {
            auto frame = stackFrame(frames[i]);
            if (frame == nullptr) return false;
            out.push_back(std::move(frame));
        }
        return true;
    }

    // An empty list is a valid report: the writer produces one when it cannot list threads.
    bool threads(const Message* m) {
        for (size_t i = 0; i < m->n_threads; ++i) {
            const ThreadMsg* t = m->threads[i];
            ZVStackFrames frames;
            if (!stackFrames(t->frames, t->n_frames, frames)) return false;
            std::vector<std::shared_ptr<const ZVCrashReportRegisterInfo>> registers;
            for (size_t r = 0; r < t->n_registers; ++r) {
                if (t->registers[r]->name == nullptr) {
                    return fail("Missing register name in register value");
                }
                registers.push_back(std::make_shared<ZVCrashReportRegisterInfo>(
                    t->registers[r]->name, t->registers[r]->value));
            }
            report_.threads_.push_back(std::make_shared<ZVCrashReportThreadInfo>(
                t->thread_number, std::move(frames), t->crashed != 0, std::move(registers)));
        }
        return true;
    }

    bool images(const Message* m) {
        for (size_t i = 0; i < m->n_binary_images; ++i) {
            const ImageMsg* image = m->binary_images[i];
            std::optional<std::vector<uint8_t>> uuid;
            if (image->uuid.len > 0) {
                uuid.emplace(image->uuid.data, image->uuid.data + image->uuid.len);
            }
            ZVProcessorInfoPtr codeType;
            if (image->code_type != nullptr && !(codeType = processorInfo(image->code_type))) {
                return false;
            }
            if (image->name == nullptr) return fail("Missing image name in image record");
            report_.images_.push_back(std::make_shared<ZVCrashReportBinaryImageInfo>(
                std::move(codeType), image->base_address, image->size, image->name, uuid));
        }
        return true;
    }

    std::shared_ptr<const ZVCrashReportExceptionInfo> exceptionInfo(const ExceptionMsg* e) {
        if (e->name == nullptr)
            return fail("Crash report is missing exception name field"), nullptr;
        if (e->reason == nullptr) {
            return fail("Crash report is missing exception reason field"), nullptr;
        }
        if (e->n_frames == 0)
            return std::make_shared<ZVCrashReportExceptionInfo>(e->name, e->reason);
        ZVStackFrames frames;
        if (!stackFrames(e->frames, e->n_frames, frames)) return nullptr;
        return std::make_shared<ZVCrashReportExceptionInfo>(e->name, e->reason, std::move(frames));
    }
};

ZVCrashReportBinaryImageInfo::ZVCrashReportBinaryImageInfo(
    ZVProcessorInfoPtr codeType, uint64_t baseAddress, uint64_t size, std::string name,
    const std::optional<std::vector<uint8_t>>& uuid)
    : codeType_(std::move(codeType)),
      baseAddress_(baseAddress),
      imageSize_(size),
      imageName_(std::move(name)) {
    if (!uuid) return;
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(uuid->size() * 2);
    for (uint8_t byte : *uuid) {
        text.push_back(kDigits[byte >> 4]);
        text.push_back(kDigits[byte & 0xF]);
    }
    imageUUID_ = std::move(text);
}

std::shared_ptr<const ZVCrashReport> ZVCrashReport::initWithData(const std::vector<uint8_t>& data,
                                                                 ZVCrashReporterError* error) {
    return initWithData(data.data(), data.size(), error);
}

std::shared_ptr<const ZVCrashReport> ZVCrashReport::initWithData(const uint8_t* data, size_t length,
                                                                 ZVCrashReporterError* error) {
    std::shared_ptr<ZVCrashReport> report(new ZVCrashReport());
    ZVCrashReportDecoder decoder(*report);
    report->message_ = decoder.decodeCrashData(data, length);
    if (report->message_ != nullptr && decoder.build(report->message_)) return report;
    if (error != nullptr) {
        *error = ZVCrashReporterError{ZVCrashReporterErrorDomain,
                                      ZVCrashReporterErrorCrashReportInvalid, decoder.error};
    }
    return nullptr;
}

bool ZVCrashReport::readReportFile(const std::filesystem::path& path, std::vector<uint8_t>& bytes,
                                   ZVCrashReporterError* error) {
    const auto failWith = [&](int code, std::string text) {
        if (error != nullptr) *error = ZVCrashReporterError{ZVCrashReporterErrorDomain, code, text};
        return false;
    };
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec)
        return failWith(ZVCrashReporterErrorOperatingSystem,
                        "Could not read crash report: " + ec.message());
    if (size > kMaximumReportSize) {
        return failWith(ZVCrashReporterErrorCrashReportInvalid, "Crash report file is too large");
    }
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
        return failWith(ZVCrashReporterErrorOperatingSystem, "Could not read crash report");
    }
    if (bytes.size() > kMaximumReportSize) {
        return failWith(ZVCrashReporterErrorCrashReportInvalid, "Crash report file is too large");
    }
    return true;
}

ZVCrashReport::~ZVCrashReport() {
    if (message_ != nullptr) zvcrash__crash_report__free_unpacked(message_, nullptr);
}

std::shared_ptr<const ZVCrashReportBinaryImageInfo> ZVCrashReport::imageForAddress(
    uint64_t address) const {
    for (const auto& image : images_) {
        const uint64_t base = image->imageBaseAddress();
        if (address >= base && address - base < image->imageSize()) return image;
    }
    return nullptr;
}

// The service's side of the crash-safe log buffer: copying prepared logs into the slots,
// freeing them once stored, and re-enqueueing what a crash wrote to the slot files.
#include "platform/Crypto.h"

#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Internals/ZVTZeroduvLogBuffer.h"
#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Internals/ZVTZeroduvUtil.h"
#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Model/ZVTErrorAttachmentLog.h"
#include "ZevOzozidZeroduv/ZevOzozidZeroduv/ZVTZeroduv.h"

#include "ZevOzozid/ZevOzozid/Internals/Storage/ZVTLogDBStorage.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTFileStore.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTFolderLock.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTLogger.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"

#include <string_view>

#include <unistd.h>

namespace {

const std::string kTag = ZVTZeroduv::kLogTag;
const std::string kBufferExtension = "zvcrasheslogbuffer";
const std::string kTokenExtension = "targettoken";
const ZVTChannelUnitConfiguration kBufferUnitConfiguration("ZeroduvBuffer", 2, 1, 50, 1);
// How long a start waits for another program re-enqueueing the buffer files.
constexpr std::chrono::milliseconds kBufferLockWait{2000};

// A run that crashed after its store took a log but before the log's slot was freed left that log
// in both: the store holds the very archive the slot holds, so storing it again would send it
// twice.
bool alreadyStored(ZVTLogDBStorage& store, const ZVTBytes& archive) {
    ZVTStorageBindableArray values;
    values.addString(platform::crypto::base64Encode(
        std::string_view(reinterpret_cast<const char*>(archive.data()), archive.size())));
    return store.countEntriesForTable("logs", "\"log\" = ?", &values) > 0;
}

std::string tokenPathFor(std::string bufferPath) {
    const size_t at = bufferPath.rfind(kBufferExtension);
    if (at != std::string::npos) bufferPath.replace(at, kBufferExtension.size(), kTokenExtension);
    return bufferPath;
}

double nowSeconds() {
    return std::chrono::duration<double>(ZVTUtility::currentDate().time_since_epoch()).count();
}

}  // namespace

void ZVTZeroduv::setupLogBuffer() {
    std::lock_guard lock(serviceMutex());
    const std::string folder = ZVTZeroduvUtil::logBufferDir();
    for (size_t i = 0; i < ZVTZeroduvLogBufferSize; ++i) {
        const std::string component = folder + "/" + std::to_string(i) + "." + kBufferExtension;
        // The files exist before any crash can need them; existing ones keep their content.
        ZVTUtility::createFileAtPathComponent(component, std::nullopt, false, false);
        const auto url = ZVTUtility::fullURLForPathComponent(component);
        if (!url) continue;
        ZVTZeroduvLogBuffer::setUpSlot(i, url->string(), tokenPathFor(url->string()));
    }
}

void ZVTZeroduv::channelDidPrepareLog(ZVTChannelProtocol&, const std::shared_ptr<ZVTLog>& log,
                                      const std::string& internalId, uint64_t) {
    if (!log || !isEnabled() || dynamic_cast<ZVTAppleErrorLog*>(log.get()) ||
        dynamic_cast<ZVTErrorAttachmentLog*>(log.get())) {
        return;
    }
    std::lock_guard lock(serviceMutex());
    auto bytes = ZVTUtility::archiveKeyedData(log.get());
    if (!bytes || bytes->empty()) return;
    std::string token;
    if (auto tokens = log->transmissionTargetTokens(); tokens && !tokens->empty()) {
        token = targetTokenEncrypter_.encryptString(*tokens->begin()).value_or("");
    }
    ZVTLogVerbose(kTag, "Storing a log to Zeroduv Buffer: (sid: ", log->sid().value_or("(null)"),
                  ", type: ", log->type().value_or("(null)"), ")");
    auto stored = ZVTZeroduvLogBuffer::store(*bytes, token, internalId, nowSeconds());
    if (!stored) return;
    if (stored->overwrote) {
        ZVTLogVerbose(kTag, "Reached end of buffer. Next step is overwriting the oldest one.");
        ZVTLogVerbose(kTag, "Overwrote buffered log at index ", stored->index, ".");
    } else {
        ZVTLogVerbose(kTag, "Found an empty buffer position.");
    }
}

void ZVTZeroduv::channelDidCompleteEnqueueingLog(ZVTChannelProtocol&,
                                                 const std::shared_ptr<ZVTLog>& log,
                                                 const std::string& internalId) {
    // The buffer guards its own slots: freeing one never waits behind the service's lock, which
    // a log being prepared on another thread holds, so a crash right after a log is stored
    // rarely finds it still in its slot.
    std::vector<std::string> paths;
    for (size_t i = 0; i < ZVTZeroduvLogBufferSize; ++i) {
        const auto slot = ZVTZeroduvLogBuffer::slot(i);
        if (!slot.internalId.empty() && slot.internalId == internalId)
            paths.push_back(slot.bufferPath);
    }
    if (paths.empty()) return;
    ZVTLogVerbose(kTag, "Deleting a log from buffer with id ", internalId);
    ZVTZeroduvLogBuffer::release(internalId);
    if (!ZVTZeroduvLogBuffer::isFlushed()) return;
    for (const auto& path : paths) {
        ::unlink(path.c_str());
        ZVTLogVerbose(kTag, "Deleted a log from Zeroduv Buffer (sid: ",
                      log ? log->sid().value_or("(null)") : "(null)",
                      ", type: ", log ? log->type().value_or("(null)") : "(null)", ")");
        ZVTLogVerbose(kTag, "Deleted crash buffer file: ", path, ".");
    }
}

void ZVTZeroduv::processLogBufferAfterCrash() {
    std::shared_ptr<ZVTChannelGroupProtocol> group;
    {
        std::lock_guard lock(serviceMutex());
        group = channelGroup();
    }
    if (!group) return;
    // One buffer unit per service: a configuration update must not add a second one.
    if (!bufferChannelUnit_)
        bufferChannelUnit_ = group->addChannelUnitWithConfiguration(kBufferUnitConfiguration);
    // Programs sharing the folder share the buffer files: one at a time re-enqueues (stores)
    // what a crash left and empties them, so each buffered log is stored once, and the next
    // crash of any of them finds them free.
    const auto lockFile =
        ZVTUtility::fullURLForPathComponent(ZVTZeroduvUtil::logBufferDir() + ".lock");
    if (!lockFile) return;
    const ZVTFolderLock::ScopedFileLock lock(*lockFile, kBufferLockWait);
    if (!lock.held()) return;  // the files stay for a later start
    auto entries = ZVTUtility::contentsOfDirectory(ZVTZeroduvUtil::logBufferDir());
    if (!entries) return;
    ZVTLogDBStorage store{ZVTLogDBStorage::OpenLater{}};
    for (const auto& entry : *entries) {
        if (entry.extension() != "." + kBufferExtension) continue;
        const std::string component =
            ZVTZeroduvUtil::logBufferDir() + "/" + entry.filename().string();
        auto bytes = ZVTUtility::loadDataForPathComponent(component);
        if (bytes && !bytes->empty() && alreadyStored(store, *bytes)) {
            ZVTLogDebug(kTag, "A buffered log is already in the store; it is not stored again.");
        } else if (bytes && !bytes->empty()) {
            auto log = ZVTUtility::unarchiveKeyedDataAs<ZVTAbstractLog>(&*bytes);
            if (!log) {
                ZVTLogError(kZVTLogTag,
                            "Deserialization failed for log: The log deserialized to NULL.");
                continue;
            }
            const std::filesystem::path tokenPath = tokenPathFor(entry.string());
            if (auto tokenBytes = ZVTUtility::loadDataForPathComponent(
                    ZVTZeroduvUtil::logBufferDir() + "/" + tokenPath.filename().string())) {
                if (!tokenBytes->empty()) {
                    const std::string text(tokenBytes->begin(), tokenBytes->end());
                    if (auto token = targetTokenEncrypter_.decryptString(text)) {
                        log->addTransmissionTargetToken(*token);
                    } else {
                        ZVTLogError(kZVTLogTag, "Failed to decrypt the target token.");
                    }
                }
                ZVTUtility::deleteFileAtURL(tokenPath);
            }
            ZVTLogDebug(kTag, "Re-enqueueing buffered log, type: ", log->type().value_or("(null)"),
                        ".");
            bufferChannelUnit_->enqueueItem(log, ZVTFlagsNormal);
        }
        ZVTUtility::createFileAtPathComponent(component, ZVTBytes{}, false, true);
    }
}

void ZVTZeroduv::emptyLogBufferFiles() {
    const std::string folder = ZVTZeroduvUtil::logBufferDir();
    auto entries = ZVTUtility::contentsOfDirectory(folder);
    if (!entries) {
        ZVTLogError(kTag, "Couldn't get files in the directory \"", folder, "\"");
        return;
    }
    for (const auto& entry : *entries) {
        std::error_code ec;
        if (entry.extension() != "." + kBufferExtension ||
            std::filesystem::file_size(entry, ec) == 0 || ec) {
            continue;
        }
        ZVTUtility::createFileAtPathComponent(folder + "/" + entry.filename().string(),
                                              std::nullopt, false, true);
    }
}

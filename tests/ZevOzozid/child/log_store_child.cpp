// Saves logs into the store below $XDG_DATA_HOME and prints "ack <sid>" once each save answered
// YES; every few saves it loads a batch, appends "<sid>" for each log of it to
// $XDG_DATA_HOME/deleted.txt and deletes it. The list is written with write(2) before the delete
// starts, so a kill at any moment never hides a deletion from the parent (output still in the
// pipe when the parent stops reading would).
// Runs until killed (or 5000 saves). Arguments: round, "tiny" or "normal", seed.
#include "tests/ZevOzozid/ZVTStoreChildLogs.h"

#include "ZevOzozid/ZevOzozid/Internals/Storage/ZVTLogDBStorage.h"

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include <fcntl.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 4) return 2;
    const int round = std::atoi(argv[1]);
    const bool tiny = std::string(argv[2]) == "tiny";
    std::mt19937 random(static_cast<unsigned>(std::atoll(argv[3])));
    ZVTApplicationInfo::setCurrent({"dev.gridlark.test", "1.0", "1", "en", 800, 600});
    ZVTLogDBStorage store;
    const std::string deletedPath = std::string(std::getenv("XDG_DATA_HOME")) + "/deleted.txt";
    const int deletedFile = ::open(deletedPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (deletedFile < 0) return 3;
    auto deleteBatch = [&](uint64_t limit) {
        std::optional<std::string> batch;
        store.loadLogsWithGroupId("G", limit, std::nullopt, [&](const auto& logs, const auto& id) {
            std::string lines;
            for (const auto& log : logs) lines += *log->sid() + "\n";
            if (::write(deletedFile, lines.data(), lines.size()) !=
                static_cast<ssize_t>(lines.size())) {
                std::_Exit(4);
            }
            batch = id;
        });
        if (batch) store.deleteLogsWithBatchId(*batch, "G");
        return batch.has_value();
    };
    if (tiny) {
        bool capped = false;
        while (!capped) {
            store.setMaxStorageSize(48 * 1024, [&](bool ok) { capped = ok; });
            if (!capped && !deleteBatch(50)) break;
        }
    }
    for (int n = 0; n < 5000; ++n) {
        const uint64_t priority = random() % 3;
        if (store.saveLog(zvt_test::childLog(round, n), "G", priority)) {
            std::printf("ack r%d-%d\n", round, n);
            std::fflush(stdout);
        }
        if (random() % 9 == 0) deleteBatch(1 + random() % 12);
    }
    return 0;
}

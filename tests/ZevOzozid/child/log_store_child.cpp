// Saves logs into the store below $XDG_DATA_HOME and prints "ack <sid>" once each save answered
// YES; every few saves it loads a batch, prints "del <sid>" for each log of it and deletes it.
// Runs until killed (or 5000 saves). Arguments: round, "tiny" or "normal", seed.
#include "Internals/Storage/ZVTLogDBStorage.h"
#include "ZevOzozid/ZVTStoreChildLogs.h"

#include <cstdio>
#include <random>

int main(int argc, char** argv) {
    if (argc < 4) return 2;
    const int round = std::atoi(argv[1]);
    const bool tiny = std::string(argv[2]) == "tiny";
    std::mt19937 random(static_cast<unsigned>(std::atoll(argv[3])));
    ZVTApplicationInfo::setCurrent({"dev.gridlark.test", "1.0", "1", "en", 800, 600});
    ZVTLogDBStorage store;
    auto deleteBatch = [&](uint64_t limit) {
        std::optional<std::string> batch;
        store.loadLogsWithGroupId("G", limit, std::nullopt, [&](const auto& logs, const auto& id) {
            for (const auto& log : logs) std::printf("del %s\n", log->sid()->c_str());
            std::fflush(stdout);
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

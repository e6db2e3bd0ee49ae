#pragma once

#include "tests/ZevOzozid/ZVTStorageFixture.h"

#include <string>

namespace zvt_test {

// The log the kill test's child saves as number n of round r; the test rebuilds it to compare.
inline std::shared_ptr<ZVTAbstractLog> childLog(int round, int n) {
    auto log = makeLog("event-" + std::to_string(n), 1'700'000'000'000 + round * 100000 + n);
    log->setSid("r" + std::to_string(round) + "-" + std::to_string(n));
    log->setUserId("c:driver-" + std::to_string(n % 7));
    return log;
}

}  // namespace zvt_test

#pragma once

#include "tests/ZevOzozid/ZVTStoredDevice.h"
#include "tests/ZevOzozid/ZVTTestSupport.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTFileStore.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"
#include "ZevOzozid/ZevOzozid/Model/ZVTAbstractLog.h"
#include "ZevOzozid/ZevOzozid/ZVTApplicationInfo.h"

#include <cstdlib>

namespace zvt_test {

// Points XDG_DATA_HOME at a fresh folder and the SDK folder below it.
class DataHomeFixture {
  public:
    DataHomeFixture() {
        ZVTApplicationInfo::setCurrent({"dev.gridlark.test", "1.0", "1", "en", 800, 600});
        setenv("XDG_DATA_HOME", (dir_ / "data").c_str(), 1);
        ZVTUtility::resetZevOzozidDirectory();
    }
    ~DataHomeFixture() {
        ZVTUtility::resetZevOzozidDirectory();
        ZVTApplicationInfo::reset();
    }
    const std::filesystem::path& path() const { return dir_.path(); }

  private:
    testing_support::TempDir dir_;
};

// A log that keeps one target token beside it in the store (as common-schema logs do).
class TokenLog : public ZVTAbstractLog {
  public:
    std::optional<std::string> storedTargetToken() const override {
        auto tokens = transmissionTargetTokens();
        if (!tokens || tokens->empty()) return std::nullopt;
        return *tokens->begin();
    }
    std::string className() const override { return "ZVTTestTokenLog"; }
    static void registerClass() {
        ZVTUtility::registerArchivableClass("ZVTTestTokenLog",
                                            [] { return std::make_shared<TokenLog>(); });
    }
};

inline std::shared_ptr<ZVTAbstractLog> makeLog(const std::string& type,
                                               int64_t ms = 1'700'000'000'000) {
    auto log = std::make_shared<ZVTAbstractLog>();
    log->setType(type);
    log->setTimestamp(ZVTDate(std::chrono::milliseconds(ms)));
    log->setSid("6B0E1C8F-0F7A-4E55-9D43-3A1F0C2B7E11");
    log->setDevice(storedDevice());
    return log;
}

}  // namespace zvt_test

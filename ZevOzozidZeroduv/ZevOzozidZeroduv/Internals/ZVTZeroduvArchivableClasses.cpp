#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Internals/ZVTZeroduvArchivableClasses.h"

#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Model/ZVTAppleErrorLog.h"
#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Model/ZVTErrorAttachmentLog.h"
#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Model/ZVTHandledErrorLog.h"
#include "ZevOzozidZeroduv/ZevOzozidZeroduv/Model/ZVTWrapperException.h"

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"

#include <mutex>

namespace {
template <typename T>
void add() {
    ZVTUtility::registerArchivableClass(T().className(), [] { return std::make_shared<T>(); });
}
}  // namespace

void zvtRegisterZeroduvArchivableClasses() {
    static std::once_flag once;
    std::call_once(once, [] {
        add<ZVTStackFrame>();
        add<ZVTExceptionModel>();
        add<ZVTWrapperExceptionModel>();
        add<ZVTWrapperException>();
        add<ZVTThread>();
        add<ZVTBinary>();
        add<ZVTAbstractErrorLog>();
        add<ZVTAppleErrorLog>();
        add<ZVTHandledErrorLog>();
        add<ZVTErrorAttachmentLog>();
        ZVTUtility::addMigrationClasses({{"ZVAppleErrorLog", "ZVTAppleErrorLog"},
                                         {"ZVThread", "ZVTThread"},
                                         {"ZVWrapperException", "ZVTWrapperException"},
                                         {"ZVAbstractErrorLog", "ZVTAbstractErrorLog"},
                                         {"ZVHandledErrorLog", "ZVTHandledErrorLog"},
                                         {"ZVException", "ZVTWrapperExceptionModel"},
                                         {"ZVTException", "ZVTWrapperExceptionModel"},
                                         {"ZVStackFrame", "ZVTStackFrame"},
                                         {"ZVBinary", "ZVTBinary"},
                                         {"ZVErrorAttachmentLog", "ZVTErrorAttachmentLog"},
                                         {"ZVErrorReport", "ZVTErrorReport"}});
    });
}

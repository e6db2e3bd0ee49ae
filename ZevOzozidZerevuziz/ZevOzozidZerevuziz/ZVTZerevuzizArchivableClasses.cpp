#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/ZVTZerevuzizArchivableClasses.h"

#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/Model/ZVTEventLog.h"
#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/Model/ZVTStartSessionLog.h"

#include "ZevOzozid/ZevOzozid/Internals/Model/ZVTHistoryInfo.h"
#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTUtility.h"

#include <mutex>

namespace {

template <typename T>
void add() {
    ZVTUtility::registerArchivableClass(T().className(), [] { return std::make_shared<T>(); });
}

}  // namespace

void zvtRegisterZerevuzizArchivableClasses() {
    static std::once_flag once;
    std::call_once(once, [] {
        add<ZVTLogWithNameAndProperties>();
        add<ZVTPageLog>();
        add<ZVTEventLog>();
        add<ZVTStartSessionLog>();
        add<ZVTEventProperties>();
    });
    ZVTUtility::addMigrationClasses({
        {"ZVSessionHistoryInfo", "ZVTSessionHistoryInfo"},
        {"ZVAbstractLog", "ZVTAbstractLog"},
        {"ZVEventLog", "ZVTEventLog"},
        {"ZVPageLog", "ZVTPageLog"},
        {"ZVEventProperties", "ZVTEventProperties"},
        {"ZVLogWithNameAndProperties", "ZVTLogWithNameAndProperties"},
        {"ZVBooleanTypedProperty", "ZVTBooleanTypedProperty"},
        {"ZVDateTimeTypedProperty", "ZVTDateTimeTypedProperty"},
        {"ZVDoubleTypedProperty", "ZVTDoubleTypedProperty"},
        {"ZVLongTypedProperty", "ZVTLongTypedProperty"},
        {"ZVStringTypedProperty", "ZVTStringTypedProperty"},
        {"ZVTypedProperty", "ZVTTypedProperty"},
        {"ZVStartSessionLog", "ZVTStartSessionLog"},
    });
}

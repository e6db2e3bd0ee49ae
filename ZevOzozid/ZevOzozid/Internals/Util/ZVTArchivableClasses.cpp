#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTArchivableClasses.h"

#include "ZevOzozid/ZevOzozid/Internals/Model/CommonSchema/ZVTCSExtensionParts.h"
#include "ZevOzozid/ZevOzozid/Internals/Model/CommonSchema/ZVTCommonSchemaLog.h"
#include "ZevOzozid/ZevOzozid/Internals/Model/ZVTDeviceHistoryInfo.h"
#include "ZevOzozid/ZevOzozid/Internals/Model/ZVTHistoryInfo.h"
#include "ZevOzozid/ZevOzozid/Internals/Model/ZVTStartServiceLog.h"
#include "ZevOzozid/ZevOzozid/Internals/Model/ZVTTypedProperty.h"
#include "ZevOzozid/ZevOzozid/Model/ZVTAbstractLog.h"
#include "ZevOzozid/ZevOzozid/Model/ZVTDevice.h"
#include "ZevOzozid/ZevOzozid/Model/ZVTLogWithProperties.h"
#include "ZevOzozid/ZevOzozid/Model/ZVTWrapperSdk.h"

namespace {
template <typename T>
void add(const std::function<void(const std::string&, ZVTUtility::ObjectFactory)>& sink) {
    sink(T().className(), [] { return std::make_shared<T>(); });
}
}  // namespace

void zvtRegisterCoreArchivableClasses(
    const std::function<void(const std::string&, ZVTUtility::ObjectFactory)>& sink) {
    add<ZVTWrapperSdk>(sink);
    add<ZVTDevice>(sink);
    add<ZVTAbstractLog>(sink);
    add<ZVTStartServiceLog>(sink);
    add<ZVTHistoryInfo>(sink);
    add<ZVTSessionHistoryInfo>(sink);
    add<ZVTTestSessionInfo>(sink);
    add<ZVTDeviceHistoryInfo>(sink);
    add<ZVTUserIdHistoryInfo>(sink);
    add<ZVTTypedProperty>(sink);
    add<ZVTDoubleTypedProperty>(sink);
    add<ZVTLongTypedProperty>(sink);
    add<ZVTUserExtension>(sink);
    add<ZVTDeviceExtension>(sink);
    add<ZVTSDKExtension>(sink);
    add<ZVTOSExtension>(sink);
    add<ZVTLocExtension>(sink);
    add<ZVTCSData>(sink);
    add<ZVTStringTypedProperty>(sink);
    add<ZVTBooleanTypedProperty>(sink);
    add<ZVTDateTimeTypedProperty>(sink);
    add<ZVTLogWithProperties>(sink);
    add<ZVTMetadataExtension>(sink);
    add<ZVTProtocolExtension>(sink);
    add<ZVTAppExtension>(sink);
    add<ZVTNetExtension>(sink);
    add<ZVTCSExtensions>(sink);
    add<ZVTCommonSchemaLog>(sink);
}

#pragma once

#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/Model/ZVTEventProperties.h"
#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/TransmissionTarget/ZVTPropertyConfigurator.h"
#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/TransmissionTarget/ZVTZerevuzizAuthenticationProvider.h"
#include "ZevOzozidZerevuziz/ZevOzozidZerevuziz/ZVTZerevuziz.h"

#include "ZevOzozid/ZevOzozid/Internals/Channel/ZVTChannelProtocols.h"

#include <map>
#include <memory>
#include <optional>
#include <string>

// Sends analytics events to the common-schema collector under its own target token. Targets form
// a tree: roots come from the analytics service, children from their parent, one per token. The
// persisted enabled state is bounded by the parent's (the service's at the root).
//
// Threads: every member is safe from any thread. The enabled state is read and written under
// the analytics service lock; the child map under it too, so two threads asking for one token get
// one child. channelPrepareLog runs on the enqueuing thread.
class ZVTZerevuzizTransmissionTarget
    : public ZVTChannelDelegate,
      public std::enable_shared_from_this<ZVTZerevuzizTransmissionTarget> {
  public:
    using Ptr = std::shared_ptr<ZVTZerevuzizTransmissionTarget>;

    // Makes the target, stores it disabled under a disabled parent or service, and registers its
    // configurator, then itself, as delegates of the group (for the life of the process).
    static Ptr make(const std::string& token, const Ptr& parent,
                    const std::shared_ptr<ZVTChannelGroupProtocol>& group, ZVTZerevuziz& analytics);

    // The class-level provider (replacing any earlier one); it is asked for a token at once.
    static void addAuthenticationProvider(
        const std::shared_ptr<ZVTZerevuzizAuthenticationProvider>& provider);
    static std::shared_ptr<ZVTZerevuzizAuthenticationProvider> authenticationProvider();

    void trackEvent(const std::string& name);
    void trackEvent(const std::string& name,
                    const std::optional<ZVTZerevuziz::StringProperties>& properties,
                    uint64_t flags = 1);
    void trackEventTyped(const std::string& name,
                         const std::shared_ptr<ZVTEventProperties>& properties, uint64_t flags = 1);

    Ptr transmissionTargetForToken(const std::string& token);
    bool isEnabled() const;
    void setEnabled(bool isEnabled);
    void pause();
    void resume();
    // The parent's state, or the analytics service's at the root.
    bool isImmediateParent() const;

    const std::string& transmissionTargetToken() const { return token_; }
    const std::string& isEnabledKey() const { return isEnabledKey_; }
    // Held weakly: the parent holds its children, and the service its roots.
    Ptr parentTarget() const { return parent_.lock(); }
    const std::shared_ptr<ZVTPropertyConfigurator>& propertyConfigurator() const {
        return configurator_;
    }
    ZVTZerevuziz& analytics() const { return analytics_; }

    void channelPrepareLog(ZVTChannelProtocol& channel, ZVTLog& log) override;

    // For tests:
    // Forgets the class-level provider.
    static void resetAuthenticationProvider();

  private:
    ZVTZerevuzizTransmissionTarget(std::string token, Ptr parent,
                                   std::shared_ptr<ZVTChannelGroupProtocol> group,
                                   ZVTZerevuziz& analytics);

    const std::string token_;
    const std::weak_ptr<ZVTZerevuzizTransmissionTarget> parent_;
    const bool hasParent_;
    // Held weakly: the group's units keep the logs that name this target as their tag.
    const std::weak_ptr<ZVTChannelGroupProtocol> group_;
    ZVTZerevuziz& analytics_;
    std::string isEnabledKey_;
    std::shared_ptr<ZVTPropertyConfigurator> configurator_;
    std::map<std::string, Ptr> children_;
};

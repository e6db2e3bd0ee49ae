#pragma once

#include "ZevOzozid/ZevOzozid/Internals/Util/ZVTSerializableObject.h"

#include <optional>
#include <string>

// A history entry: the time from which its value holds. Histories keep entries oldest first.
class ZVTHistoryInfo : public ZVTSerializableObject {
  public:
    ZVTHistoryInfo() = default;
    explicit ZVTHistoryInfo(std::optional<ZVTDate> timestamp) : timestamp_(timestamp) {}

    const std::optional<ZVTDate>& timestamp() const { return timestamp_; }
    void setTimestamp(std::optional<ZVTDate> t) { timestamp_ = t; }

    std::string className() const override { return "ZVTHistoryInfo"; }
    void encodeWithCoder(ZVTCoder& coder) const override;
    void initWithCoder(const ZVTDecoder& decoder) override;
    bool isEqual(const ZVTSerializableObject& other) const override;

  private:
    std::optional<ZVTDate> timestamp_;
};

// A session id with the time it was set.
class ZVTSessionHistoryInfo : public ZVTHistoryInfo {
  public:
    ZVTSessionHistoryInfo() = default;
    ZVTSessionHistoryInfo(std::optional<ZVTDate> timestamp, std::optional<std::string> sessionId)
        : ZVTHistoryInfo(timestamp), sessionId_(std::move(sessionId)) {}

    const std::optional<std::string>& sessionId() const { return sessionId_; }
    void setSessionId(std::optional<std::string> id) { sessionId_ = std::move(id); }

    std::string className() const override { return "ZVTSessionHistoryInfo"; }
    void encodeWithCoder(ZVTCoder& coder) const override;
    void initWithCoder(const ZVTDecoder& decoder) override;
    bool isEqual(const ZVTSerializableObject& other) const override;

  private:
    std::optional<std::string> sessionId_;
};

// Same shape as ZVTSessionHistoryInfo, but the session id is not archived.
class ZVTTestSessionInfo : public ZVTHistoryInfo {
  public:
    ZVTTestSessionInfo() = default;
    ZVTTestSessionInfo(std::optional<ZVTDate> timestamp, std::optional<std::string> sessionId)
        : ZVTHistoryInfo(timestamp), sessionId_(std::move(sessionId)) {}

    const std::optional<std::string>& sessionId() const { return sessionId_; }
    void setSessionId(std::optional<std::string> id) { sessionId_ = std::move(id); }

    std::string className() const override { return "ZVTTestSessionInfo"; }
    bool isEqual(const ZVTSerializableObject& other) const override;

  private:
    std::optional<std::string> sessionId_;
};

#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

// A session's channel names (lower case), position k naming field k of every sample row.
class MVHeaders {
  public:
    const std::vector<std::string>& data() const { return data_; }
    void setData(std::vector<std::string> names) { data_ = std::move(names); }

  private:
    std::vector<std::string> data_;
};

using MVHeadersPtr = std::shared_ptr<MVHeaders>;

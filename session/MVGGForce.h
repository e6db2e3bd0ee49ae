#pragma once

#include <memory>

// The accelerations of one sample, in g: lateral (xAis) and longitudinal (yAis).
class MVGGForce {
  public:
    static std::shared_ptr<MVGGForce> instance() { return std::make_shared<MVGGForce>(); }

    double xAis() const { return xAis_; }
    void setXAis(double value) { xAis_ = value; }
    double yAis() const { return yAis_; }
    void setYAis(double value) { yAis_ = value; }

  private:
    double xAis_ = 0.0;
    double yAis_ = 0.0;
};

using MVGGForcePtr = std::shared_ptr<MVGGForce>;

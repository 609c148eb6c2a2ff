#pragma once

#include "host/Api.h"

// A value handed between the host's script layer and objects it creates. Tools only pass it on.
class HOST_API ScriptVal {
  public:
    ScriptVal() = default;
    explicit ScriptVal(double number) : Number(number), HasNumber(true) {}

    bool hasNumber() const { return HasNumber; }
    double number() const { return Number; }

  private:
    double Number = 0.0;
    bool HasNumber = false;
};

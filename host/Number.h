#pragma once

#include "host/Api.h"
#include "host/Parameter.h"

class HOST_API Number : public Parameter {
  public:
    explicit Number(double value = 0.0) : Value(value) {}
    operator double() const { return Value; }

    double Value;
};

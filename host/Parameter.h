#pragma once

#include "host/Api.h"

// A value flowing through an input or output: a number, an image, ...
class HOST_API Parameter {
  public:
    Parameter() = default;
    Parameter(const Parameter&) = default;
    Parameter& operator=(const Parameter&) = default;
    virtual ~Parameter();
};

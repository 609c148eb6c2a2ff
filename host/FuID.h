#pragma once

#include "host/Api.h"

// An interned identifier. It is a single pointer to a string the host keeps for the life of the
// process, so it is cheap to copy and can travel by value through a tag list.
class HOST_API FuID {
  public:
    FuID() = default;
    FuID(const char* text, bool intern);

    const char* c_str() const { return Text; }
    bool operator==(const FuID& other) const { return Text == other.Text; }

  private:
    const char* Text = "";
};

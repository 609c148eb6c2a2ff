#pragma once

#include "host/Api.h"
#include "host/Parameter.h"

struct InputRecord;

// An input of an operator. Its description and value live in the host.
class HOST_API Input {
  public:
    explicit Input(InputRecord* record) : Record(record) {}

    // The parameter connected to this input at the given time (an image input's source image).
    Parameter* GetSource(double time);

    InputRecord* record() const { return Record; }

  private:
    InputRecord* Record;
};

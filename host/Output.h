#pragma once

#include "host/Api.h"

struct OutputRecord;

class HOST_API Output {
  public:
    explicit Output(OutputRecord* record) : Record(record) {}

    OutputRecord* record() const { return Record; }

  private:
    OutputRecord* Record;
};

#pragma once

#include "host/Api.h"
#include "host/Input.h"
#include "host/Output.h"
#include "host/Parameter.h"

struct RequestRecord;

// One render of one operator at one time: the input values it sees and the outputs it produces.
class HOST_API Request {
  public:
    explicit Request(RequestRecord* record) : Record(record) {}

    double GetTime() const;
    // The value of `input` for this request; `flags` 0 asks for it as it stands.
    Parameter* GetInputData(Input* input, int flags);
    bool SetOutputData(Output* output, Parameter* data);

    RequestRecord* record() const { return Record; }

  private:
    RequestRecord* Record;
};

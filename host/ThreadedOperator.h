#pragma once

#include "host/Api.h"
#include "host/FuID.h"
#include "host/Operator.h"

// An operator whose render is split into chunks that the host runs on its worker threads.
class HOST_API ThreadedOperator : public Operator {
  public:
    ThreadedOperator(const Registry* reg, const ScriptVal& value, const TagList& tags);
    ~ThreadedOperator() override;

    static FuID ClassID;

    // Worker entries, in the host's table order.
    virtual void ThreadMain(Request* req, long chunk);
    virtual void ProcessChunk(Request* req, long chunk);
    virtual void QuickProcessChunk(Request* req, long chunk);

    // Calls ProcessChunk(req, c) for every c in [0, chunks) on the worker threads and returns when
    // all have finished. An exception from a chunk is rethrown once every chunk has finished.
    void DoMultiProcess(Request* req, long chunks);
};

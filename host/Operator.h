#pragma once

#include "host/Api.h"
#include "host/FuID.h"
#include "host/Input.h"
#include "host/Object.h"
#include "host/Output.h"
#include "host/Parameter.h"
#include "host/Request.h"
#include "host/ScriptVal.h"
#include "host/TagList.h"

struct OperatorRecord;

// Tags of AddInput and AddOutput. What the host makes of them is the host's business.
inline constexpr Tag TAG_DataType = 0x88020000;
inline constexpr Tag TAG_ControlKind = 0x80030000;
inline constexpr Tag TAG_RangeLow = 0x20030000;
inline constexpr Tag TAG_RangeHigh = 0x20030001;
inline constexpr Tag TAG_Default = 0x20030004;
inline constexpr Tag TAG_ComboEntry = 0x38040000;
inline constexpr Tag TAG_Notify = 0x1003000a;
inline constexpr Tag TAG_WholeNumber = 0x1003000c;
inline constexpr Tag TAG_ComboStyle = 0x10050000;
inline constexpr Tag TAG_ControlLayout = 0x20040007;
inline constexpr Tag TAG_MainLink = 0x10020001;

// A node of the host's graph: a page of controls, inputs and outputs, and a render entry.
class HOST_API Operator : public Object {
  public:
    Operator(const Registry* reg, const ScriptVal& value, const TagList& tags);
    ~Operator() override;

    // Registration hooks the host's class list calls for operators.
    static bool RegInit(Registry* reg);
    static void RegCleanup(Registry* reg);

    // Render entries, in the host's table order.
    virtual void PostProcess(Request* req);
    virtual bool Process(Request* req);
    virtual void PreCalcPreProcess(Request* req);

    // Interactive display and change handling, in the host's table order.
    virtual void ProcessGL(Request* req);
    virtual void NotifyChanged(Input* in, Parameter* param, double time, TagList* tags);
    virtual void RegionChanged(Input* in);

    int AddControlPage(const char* name, Tag tag, ...);
    Input* AddInput(const FuID& name, const FuID& id, Tag tag, ...);
    Output* AddOutput(const FuID& name, const FuID& id, Tag tag, ...);

    OperatorRecord* record() const { return Record; }

  private:
    OperatorRecord* Record;
};

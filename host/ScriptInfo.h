#pragma once

#include "host/Api.h"

// The script layer's record of a class: how to get from an object to its scriptable part and back.
class HOST_API ScriptInfo {
  public:
    ScriptInfo(unsigned long version, const char* className, const char* baseName,
               const char* extra);
    virtual ~ScriptInfo();

    virtual void* ToScriptObject(void* object) = 0;
    virtual void* FromScriptObject(void* object) = 0;

    unsigned long version() const { return Version; }
    const char* className() const { return ClassName; }

  private:
    unsigned long Version;
    const char* ClassName;
    const char* BaseName;
    const char* Extra;
};

// For classes whose every base part lies at the start of the object, both casts are the identity.
template <typename T> class ScriptInfoT : public ScriptInfo {
  public:
    using ScriptInfo::ScriptInfo;
    void* ToScriptObject(void* object) override { return object; }
    void* FromScriptObject(void* object) override { return object; }
};

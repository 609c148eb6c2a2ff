#pragma once

#include "host/Api.h"
#include "host/FuID.h"
#include "host/ScriptVal.h"
#include "host/TagList.h"

class Object;
class Registry;

// A link of the host's list of registered classes.
class HOST_API RegistryList {
  public:
    Registry* Next = nullptr;
};

// The host's class list: the registry records of every class loaded.
extern HOST_API RegistryList* ClassRegistry;

using ObjectFactory = Object* (*)(const Registry* reg, const ScriptVal& value, const TagList& tags);

// Registry tags.
inline constexpr Tag TAG_RegFactory = 0x60000000;
inline constexpr Tag TAG_RegInit = 0x60000001;
inline constexpr Tag TAG_RegCleanup = 0x60000002;
inline constexpr Tag TAG_RegScriptInfo = 0x60000005;
inline constexpr Tag TAG_RegParent = 0x60000011;
inline constexpr Tag TAG_RegName = 0x30000002;
inline constexpr Tag TAG_RegCategory = 0x30000003;
inline constexpr Tag TAG_RegShortName = 0x30000004;
inline constexpr Tag TAG_RegDescription = 0x30000005;
inline constexpr Tag TAG_RegBuildNote = 0x30000008;
inline constexpr Tag TAG_RegVersion = 0x10000000;
inline constexpr Tag TAG_RegPriority = 0x10000004;

// A class's record; it links itself into `*list` when built and unlinks when destroyed.
class HOST_API Registry : public RegistryList {
  public:
    Registry(RegistryList** list, const FuID& id, Tag tag, ...);
    ~Registry();
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;

    const FuID& id() const { return Id; }
    const TagList& tags() const { return Tags; }
    ObjectFactory factory() const;

  private:
    RegistryList** List;
    FuID Id;
    TagList Tags;
};

#include "host/Registry.h"

#include "minihost/Internal.h"

#include <cstring>
#include <string>

RegistryList* ClassRegistry = nullptr;

Registry::Registry(RegistryList** list, const FuID& id, Tag tag, ...) : List(list), Id(id) {
    va_list args;
    va_start(args, tag);
    minihost::detail::VaListEnd end(args);
    Tags = TagList::read(tag, args);
    // Link in at the head of the list, as the newest record.
    Next = static_cast<Registry*>(*List);
    *List = this;
    minihost::detail::notifyLifecycle(std::string("Registry ") + Id.c_str());
}

Registry::~Registry() {
    if (*List == this) {
        *List = Next;
    } else {
        for (Registry* reg = static_cast<Registry*>(*List); reg; reg = reg->Next) {
            if (reg->Next == this) {
                reg->Next = Next;
                break;
            }
        }
    }
    minihost::detail::notifyLifecycle(std::string("~Registry ") + Id.c_str());
}

ObjectFactory Registry::factory() const {
    const TagItem* item = Tags.find(TAG_RegFactory);
    if (!item)
        return nullptr;
    return reinterpret_cast<ObjectFactory>(const_cast<void*>(std::get<const void*>(item->value)));
}

namespace minihost {

std::vector<const Registry*> classes() {
    std::vector<const Registry*> list;
    for (const Registry* reg = static_cast<const Registry*>(ClassRegistry); reg; reg = reg->Next)
        list.push_back(reg);
    return list;
}

const Registry* findClass(std::string_view id) {
    for (const Registry* reg : classes())
        if (id == reg->id().c_str())
            return reg;
    return nullptr;
}

const void* registryPointer(const Registry& reg, Tag tag) {
    const TagItem* item = reg.tags().find(tag);
    if (!item || !std::holds_alternative<const void*>(item->value))
        return nullptr;
    return std::get<const void*>(item->value);
}

} // namespace minihost

#pragma once

#include "host/Api.h"

#include <cstddef>
#include <new>

class Registry;

// The host's object chain. Single inheritance throughout, so every base part lies at the start of
// the object.
class HOST_API LuaClass {
  public:
    LuaClass() = default;
    LuaClass(const LuaClass&) = delete;
    LuaClass& operator=(const LuaClass&) = delete;
    virtual ~LuaClass();
};

class HOST_API ScriptObject : public LuaClass {};

class HOST_API _Object : public ScriptObject {};

class HOST_API RefObject : public _Object {};

// Objects are allocated through the host's allocator.
class HOST_API Object : public RefObject {
  public:
    explicit Object(const Registry* reg) : Reg(reg) {}

    const Registry* registry() const { return Reg; }

    static void* operator new(std::size_t size);
    static void* operator new(std::size_t size, const std::nothrow_t&) noexcept;
    static void operator delete(void* memory) noexcept;
    static void operator delete(void* memory, const std::nothrow_t&) noexcept;

  private:
    const Registry* Reg;
};

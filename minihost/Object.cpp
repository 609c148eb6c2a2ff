#include "host/Object.h"

#include "host/Parameter.h"
#include "minihost/Internal.h"

#include <cstdlib>

LuaClass::~LuaClass() = default;

Parameter::~Parameter() = default;

void* Object::operator new(std::size_t size) {
    if (void* memory = operator new(size, std::nothrow))
        return memory;
    throw std::bad_alloc();
}

void* Object::operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (minihost::detail::takeAllocationFailure())
        return nullptr;
    return std::malloc(size);
}

void Object::operator delete(void* memory) noexcept {
    std::free(memory);
}

void Object::operator delete(void* memory, const std::nothrow_t&) noexcept {
    std::free(memory);
}

#pragma once

#include "host/Api.h"

#include <cstdint>

// The operating-system calls tools make, with the system's own types.
using BOOL = int;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using HWND = void*;
using HINSTANCE = void*;
using HMODULE = void*;
using LPVOID = void*;
using LPCSTR = const char*;

inline constexpr UINT MB_OK = 0;
inline constexpr DWORD DLL_PROCESS_DETACH = 0;
inline constexpr DWORD DLL_PROCESS_ATTACH = 1;
inline constexpr DWORD DLL_THREAD_ATTACH = 2;
inline constexpr DWORD DLL_THREAD_DETACH = 3;

extern "C" {
HOST_API int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
HOST_API BOOL DisableThreadLibraryCalls(HMODULE module);
}

// The entry point a tool library exports; the host calls it after loading and before unloading.
using LibraryEntryPoint = BOOL (*)(HINSTANCE instance, DWORD reason, LPVOID reserved);
inline constexpr const char* LibraryEntryPointName = "DllMain";

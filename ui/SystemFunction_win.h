#pragma once
// A function that older Windows lack, looked up rather than linked: null where its library or
// the function is absent. A library loaded here stays loaded for the life of the program.
#include <windows.h>

template <typename F>
F SystemFunction(const char* Library, const char* Name) {
    HMODULE module = GetModuleHandleA(Library);
    if (!module) module = LoadLibraryA(Library);
    return module ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, Name))) : nullptr;
}

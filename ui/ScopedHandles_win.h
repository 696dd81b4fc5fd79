#pragma once
// Move-only owners of GDI objects, device contexts and kernel handles: what is made is
// freed, and what is selected into a DC is put back, on every way out.
#include <windows.h>

#include <utility>

// A font, pen, brush or bitmap, freed with DeleteObject (deselect it first).
template <typename H>
class TGdiObject {
public:
    TGdiObject() = default;
    explicit TGdiObject(H Handle) : FHandle(Handle) {}
    ~TGdiObject() { Reset(); }
    TGdiObject(TGdiObject&& Other) noexcept : FHandle(Other.Release()) {}
    TGdiObject& operator=(TGdiObject&& Other) noexcept {
        if (this != &Other) Reset(Other.Release());
        return *this;
    }

    H Get() const { return FHandle; }
    explicit operator bool() const { return FHandle != nullptr; }
    H Release() { return std::exchange(FHandle, nullptr); }
    void Reset(H Handle = nullptr) {
        if (FHandle) DeleteObject(FHandle);
        FHandle = Handle;
    }

private:
    H FHandle = nullptr;
};

// A memory DC compatible with another one (null: with the screen), freed with DeleteDC.
class TMemoryDC {
public:
    explicit TMemoryDC(HDC Compatible = nullptr) : FDC(CreateCompatibleDC(Compatible)) {}
    ~TMemoryDC() {
        if (FDC) DeleteDC(FDC);
    }
    TMemoryDC(TMemoryDC&& Other) noexcept : FDC(std::exchange(Other.FDC, nullptr)) {}
    TMemoryDC& operator=(TMemoryDC&& Other) noexcept {
        std::swap(FDC, Other.FDC);
        return *this;
    }

    HDC Get() const { return FDC; }

private:
    HDC FDC;
};

// The DC of a window (null: of the screen), released with ReleaseDC.
class TWindowDC {
public:
    explicit TWindowDC(HWND Wnd) : FWnd(Wnd), FDC(GetDC(Wnd)) {}
    ~TWindowDC() {
        if (FDC) ReleaseDC(FWnd, FDC);
    }
    TWindowDC(TWindowDC&& Other) noexcept : FWnd(Other.FWnd), FDC(std::exchange(Other.FDC, nullptr)) {}
    TWindowDC& operator=(TWindowDC&& Other) noexcept {
        std::swap(FWnd, Other.FWnd);
        std::swap(FDC, Other.FDC);
        return *this;
    }

    HDC Get() const { return FDC; }

private:
    HWND FWnd;
    HDC FDC;
};

// The DC of WM_PAINT, from BeginPaint to EndPaint.
class TPaintDC {
public:
    explicit TPaintDC(HWND Wnd) : FWnd(Wnd), FPaint(), FDC(BeginPaint(Wnd, &FPaint)) {}
    ~TPaintDC() {
        if (FDC) EndPaint(FWnd, &FPaint);
    }
    TPaintDC(TPaintDC&& Other) noexcept
        : FWnd(Other.FWnd), FPaint(Other.FPaint), FDC(std::exchange(Other.FDC, nullptr)) {}
    TPaintDC& operator=(TPaintDC&& Other) noexcept {
        std::swap(FWnd, Other.FWnd);
        std::swap(FPaint, Other.FPaint);
        std::swap(FDC, Other.FDC);
        return *this;
    }

    HDC Get() const { return FDC; }

private:
    HWND FWnd;
    PAINTSTRUCT FPaint;
    HDC FDC;
};

// An object selected into a DC; the one it replaced goes back in when this goes.
class TSelectObject {
public:
    TSelectObject(HDC DC, HGDIOBJ Object) : FDC(DC), FOld(SelectObject(DC, Object)) {}
    ~TSelectObject() {
        if (FDC && FOld) SelectObject(FDC, FOld);
    }
    TSelectObject(TSelectObject&& Other) noexcept
        : FDC(std::exchange(Other.FDC, nullptr)), FOld(std::exchange(Other.FOld, nullptr)) {}
    TSelectObject& operator=(TSelectObject&& Other) noexcept {
        std::swap(FDC, Other.FDC);
        std::swap(FOld, Other.FOld);
        return *this;
    }

private:
    HDC FDC;
    HGDIOBJ FOld;
};

// A kernel handle (thread, event, file) closed with CloseHandle. Null and
// INVALID_HANDLE_VALUE both hold nothing, as the functions that make handles fail with
// either.
class TKernelHandle {
public:
    TKernelHandle() = default;
    explicit TKernelHandle(HANDLE Handle) : FHandle(Handle == INVALID_HANDLE_VALUE ? nullptr : Handle) {}
    ~TKernelHandle() {
        if (FHandle) CloseHandle(FHandle);
    }
    TKernelHandle(TKernelHandle&& Other) noexcept : FHandle(std::exchange(Other.FHandle, nullptr)) {}
    TKernelHandle& operator=(TKernelHandle&& Other) noexcept {
        std::swap(FHandle, Other.FHandle);
        return *this;
    }

    HANDLE Get() const { return FHandle; }
    explicit operator bool() const { return FHandle != nullptr; }

private:
    HANDLE FHandle = nullptr;
};

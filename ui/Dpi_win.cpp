#include "ui/Dpi_win.h"

#include "ui/ScopedHandles_win.h"
#include "ui/SystemFunction_win.h"

namespace {
// The per-monitor functions of user32 (and shcore for monitors), or null where absent.
struct TDpiApi {
    UINT(WINAPI* GetDpiForSystem)() = nullptr;
    UINT(WINAPI* GetDpiForWindow)(HWND) = nullptr;
    BOOL(WINAPI* AdjustWindowRectExForDpi)(RECT*, DWORD, BOOL, DWORD, UINT) = nullptr;
    int(WINAPI* GetSystemMetricsForDpi)(int, UINT) = nullptr;
    HRESULT(WINAPI* GetDpiForMonitor)(HMONITOR, int, UINT*, UINT*) = nullptr;

    TDpiApi() {
        GetDpiForSystem = SystemFunction<decltype(GetDpiForSystem)>("user32.dll", "GetDpiForSystem");
        GetDpiForWindow = SystemFunction<decltype(GetDpiForWindow)>("user32.dll", "GetDpiForWindow");
        AdjustWindowRectExForDpi =
            SystemFunction<decltype(AdjustWindowRectExForDpi)>("user32.dll", "AdjustWindowRectExForDpi");
        GetSystemMetricsForDpi =
            SystemFunction<decltype(GetSystemMetricsForDpi)>("user32.dll", "GetSystemMetricsForDpi");
        GetDpiForMonitor = SystemFunction<decltype(GetDpiForMonitor)>("shcore.dll", "GetDpiForMonitor");
    }
};

const TDpiApi& Api() {
    static const TDpiApi api;
    return api;
}

int ScreenDcDpi() {
    TWindowDC dc(nullptr);
    return UsableDpi(dc.Get() ? GetDeviceCaps(dc.Get(), LOGPIXELSX) : BaseDpi);
}
}  // namespace

int SystemDpi() {
    static const int dpi =
        Api().GetDpiForSystem ? UsableDpi(static_cast<int>(Api().GetDpiForSystem())) : ScreenDcDpi();
    return dpi;
}

int WindowDpi(HWND Wnd) {
    if (Wnd && Api().GetDpiForWindow) {
        int dpi = static_cast<int>(Api().GetDpiForWindow(Wnd));
        if (dpi > 0) return dpi;
    }
    return SystemDpi();
}

int MonitorDpi(HMONITOR Monitor) {
    UINT x = 0, y = 0;
    // 0: MDT_EFFECTIVE_DPI, the DPI the user chose for that monitor.
    if (Monitor && Api().GetDpiForMonitor && SUCCEEDED(Api().GetDpiForMonitor(Monitor, 0, &x, &y)) && x > 0)
        return static_cast<int>(x);
    return SystemDpi();
}

int DpiOfRect(const RECT& R) { return MonitorDpi(MonitorFromRect(&R, MONITOR_DEFAULTTONEAREST)); }

void AdjustWindowRectForDpi(RECT& R, DWORD Style, DWORD ExStyle, int Dpi) {
    if (Api().AdjustWindowRectExForDpi &&
        Api().AdjustWindowRectExForDpi(&R, Style, FALSE, ExStyle, static_cast<UINT>(UsableDpi(Dpi))))
        return;
    AdjustWindowRectEx(&R, Style, FALSE, ExStyle);
}

int SystemMetricForDpi(int Index, int Dpi) {
    if (Api().GetSystemMetricsForDpi)
        return Api().GetSystemMetricsForDpi(Index, static_cast<UINT>(UsableDpi(Dpi)));
    // Without the function the metric is the system DPI's; scale it to the one asked for.
    return MulDiv(GetSystemMetrics(Index), UsableDpi(Dpi), SystemDpi());
}

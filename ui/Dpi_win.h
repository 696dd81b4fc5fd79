#pragma once
// The DPI of the screen a window is on. Windows 10 (1607 on) tells it per monitor and per
// window; older systems only have the one DPI of the screen DC, so the newer functions are
// looked up at run time and each query falls back to that.
#include <windows.h>

#include "ui/DpiScale.h"

// The DPI the system started with (the primary screen's).
int SystemDpi();
// The DPI of the monitor the window is on, as the system scales it for us.
int WindowDpi(HWND Wnd);
// The DPI of a monitor.
int MonitorDpi(HMONITOR Monitor);
// The DPI of the monitor that holds most of the rectangle (screen pixels).
int DpiOfRect(const RECT& R);
// AdjustWindowRectEx with the frame metrics of Dpi.
void AdjustWindowRectForDpi(RECT& R, DWORD Style, DWORD ExStyle, int Dpi);
// GetSystemMetrics as at Dpi (small-icon size and the like).
int SystemMetricForDpi(int Index, int Dpi);

// Program entry: the application object (it installs the dispatcher and the reporter that
// shows errors nobody can catch in a box titled "Pelorin"), the options form as the main
// form (it starts hidden behind its tray icon), then the message loop until "Exit".
#include <windows.h>

#include "app/Main_win.h"
#include "base/Dispatcher.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    TApplication app;
    app.Initialize();
    app.SetTitle("Pelorin");
    Guarded([&] { OptionsForm = new TOptionsForm(&app); });
    if (!OptionsForm) return 1;
    app.Run();
    return 0;
}

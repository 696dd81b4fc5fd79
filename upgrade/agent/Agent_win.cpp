// The upgrade agent: started by the program as it closes, it waits for the program to exit,
// puts the downloaded files in place and starts the program again.
#include <windows.h>

#include <cstdlib>

#include "upgrade/agent/AgentFiles_win.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR CmdLine, int) {
    const std::string args = CmdLine ? CmdLine : "";
    if (args.find_first_not_of(" \t") == std::string::npos) {
        MessageBoxA(nullptr,
                    "Pelorin Upgrade Agent\n\nPelorin starts this helper to put a downloaded update in "
                    "place and to start Pelorin again. There is nothing to do when it is started by hand.",
                    "Pelorin Upgrade Agent", MB_OK | MB_ICONINFORMATION);
        return 0;
    }
    TWinAgentFiles files;
    return RunAgent(args, files, AgentWaits(std::getenv(kAgentWaitVariable)));
}

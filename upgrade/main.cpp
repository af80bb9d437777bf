// upgrade: unpacks the two packed executables carried behind this program's image into
// the directory named on the command line. Silent on success; on failure one message
// box with a numeric code and exit code 1.
#include <windows.h>

#include "extract.h"
#include "win32_platform.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const int code = upgrade::Upgrade<upgrade::Win32Platform>(GetCommandLineA());
    if (code == upgrade::kSucceeded) return 0;
    char message[64];
    wsprintfA(message, "Unable to perform upgrade (%i)", code);
    MessageBoxA(nullptr, message, "Tarnwick", MB_OK | MB_ICONEXCLAMATION | MB_SYSTEMMODAL);
    return 1;
}

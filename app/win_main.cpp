// Process entry of the Windows executable (GUI subsystem).
#include "app/run_application.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/,
                    int /*showCommand*/) {
    return RunApplication(instance);
}

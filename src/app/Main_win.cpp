#include <windows.h>

// Placeholder entry point until the main window lands.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return 0; }

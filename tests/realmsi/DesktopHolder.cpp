// Holds Wine's desktop for as long as it runs. Without a display, Wine's desktop process ends
// about a second after the last program that uses it, and a program that loads user32 while it
// is ending can wait some 10 s for a new one. scripts/run-tests keeps one of these running for
// the whole test run; stopping the Wine server ends it.

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    GetDesktopWindow(); // joins the desktop
    Sleep(INFINITE);
    return 0;
}

// Tells whether 32-bit Windows programs run here: where they cannot, this prints nothing. Under
// a 64-bit Wine without its 32-bit DLLs, or on a kernel without 32-bit system calls, a 32-bit
// program can end with exit code 0 having done nothing at all, so only the line counts.

#include <windows.h>

#include <cstdio>

int main()
{
    std::puts(sizeof(void*) == 4 ? "32-bit code runs" : "not a 32-bit build");
    return 0;
}

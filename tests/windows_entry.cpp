#include "app/windows_support.h"

#include <cstdio>

// A console entry that links the Windows-only pieces into an executable, so
// that their exports and the console attach can be checked without Qt.
int main()
{
    attachParentConsole();
    std::puts("");
    return 0;
}

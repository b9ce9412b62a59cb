// A small DLL for the end-to-end suite: copied over a target file and loaded,
// it holds the file as a mapped image the way a browser holds a control.
#include <windows.h>

extern "C" __declspec(dllexport) int PayloadMarker(void)
{
    return 1;
}

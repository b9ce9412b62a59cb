// reg.exe as an older Windows has it: asked for a registry view (/reg:32,
// /reg:64) it says the syntax is wrong; asked anything else, it answers as
// for a key that is there.
#include <stdio.h>
#include <string.h>

int main(int argc, char **argv)
{
    for (int i = 1; i < argc; i++)
        if (_strnicmp(argv[i], "/reg:", 5) == 0) {
            fputs("ERROR: Invalid syntax.\nType \"REG QUERY /?\" for usage.\n", stderr);
            return 1;
        }
    return 0;
}

#include "kxviewer/kxvstartup.h"

int main(int argc, char** argv)
{
    {
        KxvStartup process(argc, argv);
        process.Run();
    }
    return 0;
}

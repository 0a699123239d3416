#include "kxviewer/kxvstartup.h"
#include "utils/kx/kx.h"

int main(int argc, char** argv)
{
    ZmLib::KX::SetPrintMode(2);
    {
        KxvStartup process(argc, argv);
        process.Run();
    }
    return 0;
}

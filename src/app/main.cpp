#include "DownloaderApp.h"

int main(int argc, char** argv)
{
    DownloaderApp app(argc, argv);
    return app.StartUp();
}

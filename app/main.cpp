#include "app/CSirensetApp.h"

int main(int argc, char** argv)
{
    CSirensetApp app(argc, argv);
    return app.Run();
}

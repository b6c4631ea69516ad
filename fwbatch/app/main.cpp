// fwbatch: upgrades the firmware of the checked devices, up to 32 at once.
#include "fwbatch/app/FwbatchApp.h"

int main(int argc, char** argv) {
    fwbatch::CFwbatchApp app;
    return app.Run(argc, argv);
}

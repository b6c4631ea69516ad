// cfgpush: pushes a factory configuration package to the checked devices.
#include "cfgpush/app/CfgpushApp.h"

int main(int argc, char** argv) {
    cfgpush::CCfgpushApp app;
    return app.Run(argc, argv);
}

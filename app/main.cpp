#include "app/quorvel_app.h"

// The one application object.
CQuorvelApp theApp;

int main(int argc, char** argv) {
    return theApp.Run(argc, argv);
}

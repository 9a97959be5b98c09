#include "app/quorvel_app.h"

int main(int argc, char** argv) {
    return AfxGetApp().Run(argc, argv);
}

#include "app/application.h"

int main(int argc, char** argv) {
    return velqa::app::run(argc, argv);
}

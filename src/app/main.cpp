#include <cstdlib>

#include "app/application.h"

int main(int argc, char** argv) {
    // Read here, once: the program hands the address down.
    const char* update_url = std::getenv("VELQA_UPDATE_URL");
    return velqa::app::run(argc, argv, update_url != nullptr ? update_url : "");
}

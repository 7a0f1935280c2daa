#include <cstdlib>

#include "app/application.h"
#include "platform/folders.h"

int main(int argc, char** argv) {
    // Read here, once: the program hands the address and the lock folder down.
    const char* update_url = std::getenv("VELQA_UPDATE_URL");
    const char* runtime_dir = std::getenv("XDG_RUNTIME_DIR");
    return velqa::app::run(
        argc, argv, update_url != nullptr ? update_url : "",
        velqa::platform::runtime_folder(runtime_dir != nullptr ? runtime_dir : ""));
}

// The shooting-pattern files: any bytes as an imported file and as a gun's stored file are
// refused or read as bullets and an image, and a bullet saved over them gives a file that reads
// back; never a crash or a throw.
#include <cstdlib>

#include "macro/shoot_data.h"
#include "scratch_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace velqa::macro;
    const auto& folder = velqa::fuzz::scratch_folder("shoot");
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (const auto events = parse_shoot_file(text); events && events->size() != ShootEventCount)
        std::abort();

    ShootPatterns patterns(folder, folder / "none");
    velqa::fuzz::put_bytes(patterns.pattern_path(0), data, size);
    patterns.load_bullets(0);
    patterns.image();
    const Bullet bullet{true, 3, false, 4, 60};
    if (!patterns.save_bullet(0, 29, bullet).ok())
        return 0;
    const auto bullets = patterns.load_bullets(0);
    if (!bullets || (*bullets)[29] != bullet)
        std::abort();
    return 0;
}

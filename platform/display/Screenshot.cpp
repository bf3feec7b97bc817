// PNG pictures of the whole screen, navigation bar included.
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC  // private to this file: a program may carry its own copy
#define STBI_WRITE_NO_STDIO
#include <stb_image_write.h>

#include <vector>

#include "Presenter.h"
#include "internal.h"
#include "kernel/internal.h"
#include "winerror.h"

namespace orvi::display {

namespace {

void AppendBytes(void* context, void* data, int size) {
    auto* out = static_cast<std::vector<unsigned char>*>(context);
    const auto* bytes = static_cast<const unsigned char*>(data);
    out->insert(out->end(), bytes, bytes + size);
}

// The framebuffer as packed RGB rows, read under ScreenLock.
std::vector<unsigned char> CopyScreenRgb() {
    const ScreenGeometry& screen = Geometry();
    const size_t count = static_cast<size_t>(screen.width) * screen.height;
    std::vector<unsigned char> rgb(count * 3);
    std::lock_guard lock(ScreenLock());
    const uint32_t* pixels = ScreenPixels();
    for (size_t i = 0; i < count; ++i) {
        rgb[i * 3] = static_cast<unsigned char>(pixels[i] >> 16);
        rgb[i * 3 + 1] = static_cast<unsigned char>(pixels[i] >> 8);
        rgb[i * 3 + 2] = static_cast<unsigned char>(pixels[i]);
    }
    return rgb;
}

}  // namespace

bool WriteScreenshot(const std::string& hostPath, DWORD* error) {
    // Drawing already requested (the navigation bar, a window's paint that
    // marked the screen) lands before the picture is taken.
    Presenter::Instance().Flush(std::chrono::seconds(5));
    const ScreenGeometry& screen = Geometry();
    const std::vector<unsigned char> rgb = CopyScreenRgb();
    std::vector<unsigned char> png;
    if (!stbi_write_png_to_func(AppendBytes, &png, screen.width, screen.height, 3, rgb.data(),
                                screen.width * 3)) {
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return false;
    }
    return kernel::AtomicReplaceHostFile(hostPath, png.data(), png.size(), error);
}

}  // namespace orvi::display

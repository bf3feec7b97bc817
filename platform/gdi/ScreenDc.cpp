// Screen DCs over the display's framebuffer.
#include "gdi/ScreenDc.h"

#include "display/Display.h"
#include "internal.h"

namespace orvi::gdi {
namespace {

const ScreenAccess& DisplayAccess() {
    static const ScreenAccess access{&display::ScreenLock, &display::ScreenPixels,
                                     &display::MarkScreenDirty, display::Geometry().width,
                                     display::Geometry().height};
    return access;
}

}  // namespace

HDC CreateScreenDc(POINT origin, std::vector<RECT> visible) {
    return CreateDcOnScreen(&DisplayAccess(), origin, std::move(visible));
}

bool SetScreenDcVisible(HDC hdc, std::vector<RECT> visible) {
    auto dc = ReferenceDc(hdc);
    if (!dc || !dc->screen)
        return false;
    std::lock_guard guard(dc->lock);
    dc->visible = std::move(visible);
    return true;
}

bool DeleteScreenDc(HDC hdc) {
    return DeleteDcObject(hdc, true);
}

}  // namespace orvi::gdi

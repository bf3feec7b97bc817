// orvi-demo: one framework window on the device screen. Under the sdl
// display it opens a desktop window; under the headless display it is driven
// through the automation socket ($ORVI_AUTOMATION).
#include "CDemoWindow.h"
#include "winloop.h"

int main() {
    CMessageLoop loop;
    CDemoWindow window;
    if (!window.Create(nullptr, nullptr, u"Orvi Demo"))
        return 2;
    window.ShowWindow(SW_SHOW);
    window.UpdateWindow();
    return loop.Run();
}

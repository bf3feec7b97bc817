// Entry points of the display contract that reach the display thread.
#include "Presenter.h"
#include "internal.h"

namespace orvi::display {

void MarkScreenDirty(const RECT& area) {
    const RECT clipped = ClipToScreen(area);
    if (!IsEmptyRect(clipped))
        Presenter::Instance().MarkDirty(clipped);
}

void NavBarChanged() {
    Presenter::Instance().RequestNavBar();
}

void RaiseHostWindow() {
    Presenter::Instance().RequestRaise();
}

}  // namespace orvi::display

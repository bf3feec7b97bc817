// System metrics and device capabilities, from the screen's geometry.
#include "display/Display.h"
#include "internal.h"

using orvi::display::Geometry;
using orvi::display::Scale;

int GetSystemMetrics(int nIndex) {
    const auto& g = Geometry();
    switch (nIndex) {
    case SM_CXSCREEN:
    case SM_CXFULLSCREEN:
    case SM_CXVIRTUALSCREEN: return g.width;
    case SM_CYSCREEN:
    case SM_CYVIRTUALSCREEN: return g.height;
    case SM_CYFULLSCREEN: return g.height - Scale(26);
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
    case SM_CYVSCROLL:
    case SM_CXHSCROLL:
    case SM_CYVTHUMB:
    case SM_CXHTHUMB: return Scale(13);
    case SM_CYCAPTION:
    case SM_CYMENU: return Scale(26);
    case SM_CXBORDER:
    case SM_CYBORDER: return Scale(1);
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME: return Scale(3);
    case SM_CXEDGE:
    case SM_CYEDGE: return Scale(2);
    case SM_CXICON:
    case SM_CYICON:
    case SM_CXCURSOR:
    case SM_CYCURSOR: return Scale(32);
    case SM_CXSMICON:
    case SM_CYSMICON: return Scale(16);
    case SM_CXICONSPACING:
    case SM_CYICONSPACING: return Scale(75);
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK: return Scale(4);
    case SM_MOUSEPRESENT:
    case SM_CMONITORS: return 1;
    case SM_DEBUG: return 0;
    default: SetLastError(ERROR_INVALID_PARAMETER); return 0;
    }
}

int GetDeviceCaps(HDC hdc, int nIndex) {
    if (!orvi::gdi::ReferenceDc(hdc))
        return 0;
    const auto& g = Geometry();
    switch (nIndex) {
    case TECHNOLOGY: return DT_RASDISPLAY;
    case HORZRES: return g.width;
    case VERTRES: return g.height;
    case HORZSIZE: return g.width * 254 / (g.dpi * 10);
    case VERTSIZE: return g.height * 254 / (g.dpi * 10);
    case BITSPIXEL: return 32;
    case PLANES: return 1;
    case NUMCOLORS: return -1;
    case RASTERCAPS: return RC_BITBLT | RC_STRETCHBLT;
    case LOGPIXELSX:
    case LOGPIXELSY: return g.dpi;
    default: return 0;
    }
}

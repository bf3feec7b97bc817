// The device's system colours.
#include "internal.h"

DWORD GetSysColor(int nIndex) {
    // The device's default scheme: white windows, grey 3-D faces, navy selection.
    static const COLORREF kColors[] = {
        RGB(192, 192, 192),  // COLOR_SCROLLBAR
        RGB(0, 128, 128),    // COLOR_BACKGROUND
        RGB(0, 0, 128),      // COLOR_ACTIVECAPTION
        RGB(128, 128, 128),  // COLOR_INACTIVECAPTION
        RGB(255, 255, 255),  // COLOR_MENU
        RGB(255, 255, 255),  // COLOR_WINDOW
        RGB(0, 0, 0),        // COLOR_WINDOWFRAME
        RGB(0, 0, 0),        // COLOR_MENUTEXT
        RGB(0, 0, 0),        // COLOR_WINDOWTEXT
        RGB(255, 255, 255),  // COLOR_CAPTIONTEXT
        RGB(192, 192, 192),  // COLOR_ACTIVEBORDER
        RGB(192, 192, 192),  // COLOR_INACTIVEBORDER
        RGB(128, 128, 128),  // COLOR_APPWORKSPACE
        RGB(0, 0, 128),      // COLOR_HIGHLIGHT
        RGB(255, 255, 255),  // COLOR_HIGHLIGHTTEXT
        RGB(192, 192, 192),  // COLOR_BTNFACE
        RGB(128, 128, 128),  // COLOR_BTNSHADOW
        RGB(128, 128, 128),  // COLOR_GRAYTEXT
        RGB(0, 0, 0),        // COLOR_BTNTEXT
        RGB(192, 192, 192),  // COLOR_INACTIVECAPTIONTEXT
        RGB(255, 255, 255),  // COLOR_BTNHIGHLIGHT
        RGB(0, 0, 0),        // COLOR_3DDKSHADOW
        RGB(223, 223, 223),  // COLOR_3DLIGHT
        RGB(0, 0, 0),        // COLOR_INFOTEXT
        RGB(255, 255, 225),  // COLOR_INFOBK
        RGB(255, 255, 255),  // COLOR_STATIC
        RGB(0, 0, 0),        // COLOR_STATICTEXT
        RGB(16, 132, 208),   // COLOR_GRADIENTACTIVECAPTION
        RGB(181, 181, 181),  // COLOR_GRADIENTINACTIVECAPTION
    };
    // The device accepts the index with or without SYS_COLOR_INDEX_FLAG.
    int index = nIndex & ~SYS_COLOR_INDEX_FLAG;
    if (index < 0 || index >= static_cast<int>(std::size(kColors))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return kColors[index];
}

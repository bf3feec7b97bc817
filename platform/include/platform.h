// Umbrella header of the device platform, the windows.h of this system.
#pragma once

#include "wintypes.h"
#include "winerror.h"
#include "kernelapi.h"
#include "moduleapi.h"
#include "msgqueue.h"
#include "textapi.h"
#include "wformat.h"
#include "cryptapi.h"
#include "fileapi.h"
#include "regapi.h"
#include "wingdi.h"
#include "winuser.h"
#include "imaging.h"

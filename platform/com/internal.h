// Internal functions of the component model shared by its API files.
#pragma once

#include "comapi.h"

namespace orvi::com {

// True when the calling thread may create objects: it is initialised itself,
// or some thread of the process is in the multithreaded apartment.
bool ThreadMayUseCom();

// The creator of a built-in class, or nullptr. The platform's own classes are
// entered on first use.
ORVI_CLASS_CREATOR FindBuiltinClass(REFCLSID rclsid);
void RegisterBuiltinClass(REFCLSID rclsid, ORVI_CLASS_CREATOR create);
bool UnregisterBuiltinClass(REFCLSID rclsid);

// Class object of a plug-in class registered under HKCR\CLSID; REGDB_E_CLASSNOTREG
// when there is no registration.
HRESULT GetPluginClassObject(REFCLSID rclsid, REFIID riid, void** ppv);

}  // namespace orvi::com

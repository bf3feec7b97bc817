// The document class's creator, entered into the component model's class
// table by the platform.
#pragma once

#include "xmldom.h"

namespace orvi::xml {

HRESULT CreateDomDocument(REFIID riid, void** ppv);

}  // namespace orvi::xml

// What a stream source tells the decoder engine that reads it.
//
// Ownership: the engine outlives every stream bound to it (it closes the
// stream before it goes away); a stream only borrows the pointer.
#pragma once

#include "platform.h"

class IStreamEngine {
public:
    // Called on the thread that reads the stream when a metadata block sets a
    // new title (already converted from the ANSI code page, at most 511 characters).
    virtual void SetStreamTitle(LPCWSTR pszTitle) = 0;

protected:
    ~IStreamEngine() = default;
};

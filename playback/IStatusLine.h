// What starting a station tells the Now Playing view: the status line's text
// and that a player has accepted a stream. The view implements it.
//
// Threading: called on the Now Playing worker, never on the user-interface
// thread, so an implementation hands the change over to its window (a sent
// or posted message) instead of painting from the worker.
#pragma once

#include "platform.h"

class IStatusLine {
public:
    // Replaces the status line's text and repaints it. pszText is valid only
    // during the call.
    virtual void ShowStatus(LPCWSTR pszText) = 0;
    // A player accepted the stream: the view now counts as playing.
    virtual void SetPlaying() = 0;

protected:
    ~IStatusLine() = default;
};

// Drawing sessions: the locks, surface and clip of the DC (or two DCs)
// one drawing call works on.
#pragma once

#include "gdi/internal.h"

namespace orvi::gdi {

// What a locked DC draws into: its surface, its logical-to-device offset and
// its clip rectangles in device coordinates.
struct Target {
    Surface surface;
    POINT offset{0, 0};
    std::vector<RECT> clips;
    bool screen = false;  // the screen keeps its top byte zero
    RECT ClipBox() const;
};

// Locks one or two DCs (and the screen when either draws on it) for one
// operation; the area marked touched on the destination is reported dirty
// when the session ends.
class DrawSession {
public:
    explicit DrawSession(Dc& dst);
    DrawSession(Dc& dst, Dc& src);
    ~DrawSession();
    DrawSession(const DrawSession&) = delete;
    DrawSession& operator=(const DrawSession&) = delete;
    const Target& Dst() const { return m_dst; }
    const Target& Src() const { return m_src; }
    void Touch(const RECT& deviceArea);

private:
    void Lock(Dc& dst, Dc* src);
    Dc& m_dstDc;
    std::unique_lock<std::mutex> m_dstLock;
    std::unique_lock<std::mutex> m_srcLock;
    std::unique_lock<std::mutex> m_screenLock;
    Target m_dst;
    Target m_src;
    RECT m_dirty{0, 0, 0, 0};
};

Target MakeTarget(Dc& dc);

// Calls f(piece) for each non-empty part of a device rectangle inside the clip.
template <class F>
void ForEachClipped(const Target& t, const RECT& area, F&& f) {
    for (const RECT& clip : t.clips) {
        RECT piece = Intersect(area, clip);
        if (!IsEmpty(piece))
            f(piece);
    }
}

}  // namespace orvi::gdi

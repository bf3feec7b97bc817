// The desktop backend: the device screen in an SDL2 window, enlarged by an
// integer factor. Every SDL call happens on the display thread, which is the
// thread that called SDL_Init. The thread sleeps in SDL_WaitEventTimeout;
// with only the video subsystem initialised, SDL waits on the display
// connection instead of polling, and Wake() ends the wait by pushing a user
// event (SDL wakes the waiting thread for events pushed from elsewhere).
#include <SDL.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "DisplayBackend.h"
#include "SdlInput.h"
#include "internal.h"
#include "kernel/internal.h"

namespace orvi::display {

namespace {

class SdlBackend final : public DisplayBackend {
public:
    ~SdlBackend() override { Close(); }

    bool Open() override;
    void WaitForWork(Clock::time_point deadline) override;
    void Wake() override;
    void Present(const std::vector<RECT>& areas) override;
    void Raise() override { SDL_RaiseWindow(m_window); }

private:
    void Close();
    void Show();
    // Handles one host event; true when it was our wake-up.
    bool Dispatch(const SDL_Event& event);

    SDL_Window* m_window = nullptr;
    SDL_Renderer* m_renderer = nullptr;
    SDL_Texture* m_texture = nullptr;
    Uint32 m_wakeEvent = 0;
    bool m_initialised = false;
    SdlInput m_input{HostWindowScale()};
};

bool SdlBackend::Open() {
    // Ctrl-C and SIGTERM keep their usual meaning instead of becoming SDL_QUIT.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        kernel::Trace("display: SDL video: %s", SDL_GetError());
        return false;
    }
    m_initialised = true;
    // Without a desktop SDL settles for a driver that shows nothing and
    // polls; headless does the same job without the cost.
    const std::string driver = SDL_GetCurrentVideoDriver();
    if (driver == "offscreen" || driver == "dummy") {
        kernel::Trace("display: SDL found no desktop (driver %s)", driver.c_str());
        Close();
        return false;
    }
    const int scale = HostWindowScale();
    const ScreenGeometry& screen = Geometry();
    m_window = SDL_CreateWindow(program_invocation_short_name, SDL_WINDOWPOS_CENTERED,
                                SDL_WINDOWPOS_CENTERED, screen.width * scale,
                                screen.height * scale, SDL_WINDOW_SHOWN);
    if (m_window) {
        SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
        m_renderer = SDL_CreateRenderer(m_window, -1, 0);
    }
    if (m_renderer)
        m_texture = SDL_CreateTexture(m_renderer, SDL_PIXELFORMAT_RGB888,
                                      SDL_TEXTUREACCESS_STREAMING, screen.width, screen.height);
    m_wakeEvent = SDL_RegisterEvents(1);
    if (!m_texture || m_wakeEvent == static_cast<Uint32>(-1)) {
        kernel::Trace("display: SDL window: %s", SDL_GetError());
        Close();
        return false;
    }
    // Text input supplies only characters no mapped key produces (SdlInput).
    SDL_StartTextInput();
    kernel::Trace("display: sdl window %dx%d, scale %d, driver %s", screen.width, screen.height,
                  scale, driver.c_str());
    Present({RECT{0, 0, screen.width, screen.height}});
    return true;
}

void SdlBackend::Close() {
    if (m_texture)
        SDL_DestroyTexture(m_texture);
    if (m_renderer)
        SDL_DestroyRenderer(m_renderer);
    if (m_window)
        SDL_DestroyWindow(m_window);
    m_texture = nullptr;
    m_renderer = nullptr;
    m_window = nullptr;
    if (m_initialised)
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    m_initialised = false;
}

void SdlBackend::WaitForWork(Clock::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return;
        SDL_Event event;
        // Capped so that a far deadline cannot overflow SDL's int timeout.
        const int timeout = static_cast<int>(std::min<long long>(left.count(), 3600 * 1000));
        if (SDL_WaitEventTimeout(&event, timeout) && Dispatch(event))
            return;
    }
}

void SdlBackend::Wake() {
    SDL_Event event{};
    event.type = m_wakeEvent;
    SDL_PushEvent(&event);
}

bool SdlBackend::Dispatch(const SDL_Event& event) {
    if (event.type == m_wakeEvent)
        return true;
    if (event.type == SDL_WINDOWEVENT && (event.window.event == SDL_WINDOWEVENT_EXPOSED ||
                                          event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED)) {
        Show();
        return false;
    }
    m_input.Handle(event);
    return false;
}

void SdlBackend::Present(const std::vector<RECT>& areas) {
    // The pixels are copied out under ScreenLock and uploaded after it is
    // released: drawing threads never wait on the graphics driver.
    const int width = Geometry().width;
    std::vector<std::vector<uint32_t>> copies(areas.size());
    {
        std::lock_guard lock(ScreenLock());
        const uint32_t* pixels = ScreenPixels();
        for (size_t i = 0; i < areas.size(); ++i) {
            const RECT& a = areas[i];
            for (LONG y = a.top; y < a.bottom; ++y) {
                const uint32_t* row = pixels + static_cast<size_t>(y) * width;
                copies[i].insert(copies[i].end(), row + a.left, row + a.right);
            }
        }
    }
    for (size_t i = 0; i < areas.size(); ++i) {
        const RECT& a = areas[i];
        const SDL_Rect r{a.left, a.top, a.right - a.left, a.bottom - a.top};
        SDL_UpdateTexture(m_texture, &r, copies[i].data(), r.w * 4);
    }
    Show();
}

void SdlBackend::Show() {
    SDL_RenderClear(m_renderer);
    SDL_RenderCopy(m_renderer, m_texture, nullptr, nullptr);
    SDL_RenderPresent(m_renderer);
}

}  // namespace

std::unique_ptr<DisplayBackend> CreateSdlBackend() {
    return std::make_unique<SdlBackend>();
}

}  // namespace orvi::display

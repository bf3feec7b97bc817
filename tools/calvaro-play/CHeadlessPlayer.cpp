#include "CHeadlessPlayer.h"

#include "CrashTrace.h"

namespace {

constexpr WCHAR kClass[] = u"CalvaroPlayNotify";
constexpr UINT kPollMs = 200;

const char* StateName(LONG state) {
    switch (state) {
    case CPlayer::Stopped: return "stopped";
    case CPlayer::Opening: return "opening";
    case CPlayer::Playing: return "playing";
    case CPlayer::Failed: return "failed";
    default: return "unknown";
    }
}

std::string Utf8(const std::u16string& text) {
    char buffer[2048] = {};
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, buffer, sizeof(buffer) - 1, nullptr, nullptr);
    return buffer;
}

}  // namespace

CHeadlessPlayer::CHeadlessPlayer(const Options& options) : m_options(options), m_stations(m_cache, *this) {}

CHeadlessPlayer::~CHeadlessPlayer() {
    m_decoder.Destroy();
    if (m_hWnd)
        DestroyWindow(m_hWnd);
}

int CHeadlessPlayer::Run(const CRadioChannel& station) {
    m_dwStart = GetTickCount();
    m_dwMainThread = GetCurrentThreadId();
    if (!CreateNotifyWindow() || !m_decoder.Create(m_hWnd))
        return 1;
    m_decoder.SetNotifyWindow(m_hWnd);
    // The media player of "mms:" and "rtsp:" streams is not part of this
    // tool: such a stream is refused and the next candidate is tried.
    m_stations.SetPlayers(&m_decoder, nullptr);
    m_stations.SetConfiguredVolume(m_options.nVolume);
    m_pStation = &station;
    HANDLE worker = CreateThread(nullptr, 0, Worker, this, 0, nullptr);
    if (!worker)
        return 1;
    SetTimer(m_hWnd, kPollTimer, kPollMs, nullptr);
    MSG msg;
    while (!Finished() && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    KillTimer(m_hWnd, kPollTimer);
    m_decoder.Stop();
    // The worker has posted its result, so it is ending.
    WaitForSingleObject(worker, INFINITE);
    CloseHandle(worker);
    Poll();
    return m_bPlayed ? 0 : 1;
}

bool CHeadlessPlayer::CreateNotifyWindow() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = WindowProc;
    wc.lpszClassName = kClass;
    RegisterClassW(&wc);
    m_hWnd = CreateWindowExW(0, kClass, u"calvaro-play", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, this);
    return m_hWnd != nullptr;
}

DWORD WINAPI CHeadlessPlayer::Worker(LPVOID pParam) {
    auto* self = static_cast<CHeadlessPlayer*>(pParam);
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const BOOL started = self->m_stations.PlayStation(*self->m_pStation);
    CoUninitialize();
    PostMessageW(self->m_hWnd, UM_STARTED, started, 0);
    return 0;
}

LRESULT CALLBACK CHeadlessPlayer::WindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_CREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<CHeadlessPlayer*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    if (!self)
        return DefWindowProcW(hWnd, uMsg, wParam, lParam);
    switch (uMsg) {
    case UM_STARTED:
        self->m_nStarted = static_cast<int>(wParam);
        self->Poll();
        return 0;
    case WM_TIMER:
        self->Poll();
        return 0;
    default:
        if (uMsg >= UM_DECODER_BUFFERING && uMsg <= UM_DECODER_WRITE_ERROR) {
            self->OnNotify(uMsg, wParam, lParam);
            return 0;
        }
        return DefWindowProcW(hWnd, uMsg, wParam, lParam);
    }
}

void CHeadlessPlayer::OnNotify(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    m_decoder.OnNotify(uMsg, wParam, lParam);
    Poll();
}

void CHeadlessPlayer::Poll() {
    PlayerStatus status;
    if (!m_decoder.GetStatus(&status))
        return;
    if (status.state != m_nLastState) {
        m_nLastState = status.state;
        Print("state", StateName(status.state));
    }
    if (status.state == CPlayer::Playing) {
        m_bPlayed = true;
        if (!status.title.empty() && status.title != m_lastTitle) {
            m_lastTitle = status.title;
            Print("title", Utf8(status.title));
        }
    } else if (status.statusText != m_lastStatus && !status.statusText.empty()) {
        m_lastStatus = status.statusText;
        Print("status", Utf8(status.statusText));
    }
    const DWORD firstWrite = m_decoder.Engine()->FirstWriteTick();
    if (m_options.bTiming && firstWrite && !m_bFirstWritePrinted) {
        m_bFirstWritePrinted = true;
        Print("first buffer", std::to_string(firstWrite - m_dwStart) + " ms");
    }
}

// Done once the start failed, the stream ended or failed after it started,
// or the seconds asked for have been played.
bool CHeadlessPlayer::Finished() {
    if (m_nStarted == 0)
        return true;
    if (m_nStarted < 0)
        return false;
    const LONG state = m_decoder.GetState();
    if (state == CPlayer::Stopped || state == CPlayer::Failed)
        return true;
    const CDecoderEngine* engine = m_decoder.Engine();
    return m_options.dSeconds > 0 && engine->BytesPerSecond() &&
           double(engine->BytesPlayed()) / engine->BytesPerSecond() >= m_options.dSeconds;
}

void CHeadlessPlayer::ShowStatus(LPCWSTR pszText) { Print("status", Utf8(pszText ? pszText : u"")); }

void CHeadlessPlayer::Print(const char* pszKind, const std::string& text) {
    std::lock_guard lock(m_printMutex);
    if (m_options.bTiming)
        std::printf("[%6lu ms] ", static_cast<unsigned long>(GetTickCount() - m_dwStart));
    std::printf("%s: %s\n", pszKind, text.c_str());
    std::fflush(stdout);
}

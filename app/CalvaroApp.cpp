#include "CalvaroApp.h"

#include "CFfmpegLibrary.h"
#include "CMainFrame.h"
#include "commctrl.h"
#include "resource.h"

WCHAR g_appName[MAX_PATH];
CAppModule _Module;

namespace {

constexpr int kInstanceAttempts = 25;
constexpr WCHAR kPlayFavoriteToken[] = u"playf:";

// The favourite named by "playf:<n>" anywhere in the command line; false
// when the token is missing or nothing follows it. The number converts like
// _wtol, so text without digits gives 0.
bool FavoriteFromCommandLine(LPCWSTR commandLine, LONG* index) {
    if (!commandLine)
        return false;
    const WCHAR* token = wcsstr(commandLine, kPlayFavoriteToken);
    if (!token)
        return false;
    const WCHAR* number = token + wcslen(kPlayFavoriteToken);
    if (!*number)
        return false;
    *index = _wtol(number);
    return true;
}

void PostPlayFavorite(HWND frame, LPCWSTR commandLine) {
    LONG index = 0;
    if (FavoriteFromCommandLine(commandLine, &index))
        PostMessageW(frame, UM_PLAY_FAVORITE, 1, index);
}

enum class Instance { First, HandedOver, Failed };

// Decides whether this process is the first instance. The first keeps its
// mutex handle open for the life of the process. A second one brings the
// running instance's frame forward and hands the command line's favourite
// to it. When the running instance shows no window within the attempts,
// this one starts on its own.
Instance DecideInstance(LPCWSTR commandLine, int* exitCode) {
    for (int attempt = 0; attempt < kInstanceAttempts;) {
        HANDLE mutex = CreateMutexW(nullptr, FALSE, g_appName);
        const DWORD error = GetLastError();
        if (!mutex) {
            *exitCode = error == ERROR_INVALID_HANDLE ? E_INVALIDARG : E_FAIL;
            return Instance::Failed;
        }
        if (error != ERROR_ALREADY_EXISTS)
            return Instance::First;  // the handle stays open on purpose
        CloseHandle(mutex);
        HWND running = FindWindowW(g_appName, nullptr);
        if (!running) {
            Sleep(100);
            ++attempt;
            continue;
        }
        const auto withPopups = reinterpret_cast<HWND>(reinterpret_cast<ULONG_PTR>(running) | 1);
        if (SetForegroundWindow(withPopups)) {
            PostPlayFavorite(running, commandLine);
            *exitCode = 1;
            return Instance::HandedOver;
        }
        ++attempt;
    }
    return Instance::First;
}

}  // namespace

int Run(LPWSTR lpCmdLine, int nShowCmd) {
    CMessageLoop loop;
    _Module.AddMessageLoop(&loop);

    auto* frame = new CMainFrame;
    int result = 0;
    if (frame->Create(nullptr, nullptr, g_appName)) {
        HACCEL accelerators = LoadAcceleratorsW(_Module.GetResourceInstance(),
                                                MAKEINTRESOURCEW(IDR_MAINFRAME));
        (void)accelerators;  // none is shipped: the handle is null
        frame->ShowWindow(nShowCmd);
        PostPlayFavorite(*frame, lpCmdLine);
        result = loop.Run();
    }
    // Skin images are released here once the skin store exists.
    _Module.RemoveMessageLoop();
    delete frame;
    return result;
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPWSTR lpCmdLine, int nShowCmd) {
    LoadStringW(hInstance, IDR_MAINFRAME, g_appName, MAX_PATH);
    if (!g_appName[0])
        return E_FAIL;

    int exitCode = 0;
    if (DecideInstance(lpCmdLine, &exitCode) != Instance::First)
        return exitCode;

    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    INITCOMMONCONTROLSEX controls = {8, ICC_DATE_CLASSES};
    InitCommonControlsEx(&controls);
    _Module.Init(nullptr, hInstance);
    // Without the libraries only the decoder player fails, at its first open.
    g_ffmpeg.Load();
    const int result = Run(lpCmdLine, nShowCmd);
    g_ffmpeg.Free();
    _Module.Term();
    CoUninitialize();
    return result;
}

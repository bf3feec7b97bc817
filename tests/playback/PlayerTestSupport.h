// What the decoder player tests share: a notify window that hands every
// notification to the player (as the Now Playing view does) and records it,
// message pumping with a time limit, and a fixture with the local server,
// the `file:` audio sink and the FFmpeg binding.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "CFfmpegLibrary.h"
#include "CPlayer.h"
#include "LogTestSupport.h"
#include "ScopedEnv.h"
#include "TestAudio.h"
#include "TestHttpServer.h"
#include "platform.h"

namespace orvi::test {

struct Notice {
    UINT message;
    WPARAM wParam;
};

class NotifyWindow {
public:
    NotifyWindow() {
        static const bool s_registered = [] {
            WNDCLASSW wc{};
            wc.lpfnWndProc = Proc;
            wc.lpszClassName = kClass;
            return RegisterClassW(&wc) != 0;
        }();
        EXPECT_TRUE(s_registered);
        m_hWnd = CreateWindowExW(0, kClass, u"notify", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, this);
        EXPECT_NE(nullptr, m_hWnd);
    }
    ~NotifyWindow() { DestroyWindow(m_hWnd); }
    NotifyWindow(const NotifyWindow&) = delete;
    NotifyWindow& operator=(const NotifyWindow&) = delete;

    HWND Handle() const { return m_hWnd; }
    // The player that gets each notification, as the view passes them on.
    void SetPlayer(CPlayer* player) { m_player = player; }
    // Called after each notification, with the player's status then.
    void OnNotice(std::function<void(const Notice&)> observer) { m_observer = std::move(observer); }

    std::vector<Notice> notices;

    std::vector<UINT> Messages(UINT except = 0) const {
        std::vector<UINT> messages;
        for (const Notice& n : notices)
            if (n.message != except)
                messages.push_back(n.message);
        return messages;
    }
    bool Received(UINT message) const {
        for (const Notice& n : notices)
            if (n.message == message)
                return true;
        return false;
    }

private:
    static constexpr WCHAR kClass[] = u"OrviTestNotify";

    static LRESULT CALLBACK Proc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        if (msg == WM_CREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto* self = reinterpret_cast<NotifyWindow*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
        if (self && msg >= WM_USER + 778 && msg <= WM_USER + 848) {
            self->notices.push_back({msg, wParam});
            if (self->m_player)
                self->m_player->OnNotify(msg, wParam, lParam);
            if (self->m_observer)
                self->m_observer(self->notices.back());
            return 0;
        }
        return DefWindowProcW(hWnd, msg, wParam, lParam);
    }

    HWND m_hWnd = nullptr;
    CPlayer* m_player = nullptr;
    std::function<void(const Notice&)> m_observer;
};

// Dispatches this thread's messages until done() or the time limit; the
// result of done() at the end.
inline bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done())
            return true;
        if (std::chrono::steady_clock::now() >= end)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

// A device root with COM and the log, the local server, FFmpeg bound and
// the device's sound going to a WAV file.
class DecoderTest : public LoggedDeviceTest {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(g_ffmpeg.Load()); }

    void SetUp() override {
        LoggedDeviceTest::SetUp();
        ASSERT_TRUE(m_server.Start());
    }

    std::string WavPath() const { return m_root.HostPath() + "/out.wav"; }
    std::u16string Url(const std::string& path) const { return Ascii(m_server.Url(path)); }
    // An MP3 tone, made once per length and format for the whole program.
    static const std::string& Mp3(double seconds, int rate = 44100, int channels = 2) {
        static std::vector<std::pair<std::string, std::string>> s_made;
        const std::string key = std::to_string(seconds) + "/" + std::to_string(rate) + "/" + std::to_string(channels);
        for (const auto& made : s_made)
            if (made.first == key)
                return made.second;
        ToneFormat tone;
        tone.seconds = seconds;
        tone.sampleRate = rate;
        tone.channels = channels;
        tone.bitRate = rate >= 32000 ? 128000 : 32000;
        s_made.emplace_back(key, EncodeTone(tone));
        EXPECT_FALSE(s_made.back().second.empty());
        return s_made.back().second;
    }

    ScopedEnv m_sink{"ORVI_AUDIO", ("file:" + m_root.HostPath() + "/out.wav").c_str()};
    TestHttpServer m_server;
};

}  // namespace orvi::test

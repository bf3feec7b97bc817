// Stand-ins for what starting a station talks to: a player that records the
// calls it gets and refuses to open the addresses a test names, and a status
// line that keeps every text it is shown. Written against CPlayer and
// IStatusLine only, so the real players must pass the same tests.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "CPlayer.h"
#include "IStatusLine.h"

namespace orvi::test {

class RecordingPlayer : public CPlayer {
public:
    // "Create", "SetVolume <value> absolute|relative", "Open <url>", ...
    std::vector<std::u16string> calls;
    // Addresses whose Open answers FALSE.
    std::set<std::u16string> refused;

    std::vector<std::u16string> Opened() const {
        std::vector<std::u16string> urls;
        for (const std::u16string& call : calls) {
            if (call.rfind(u"Open ", 0) == 0)
                urls.push_back(call.substr(5));
        }
        return urls;
    }

    BOOL Create(HWND) override {
        Record(u"Create");
        return TRUE;
    }
    void Destroy() override { Record(u"Destroy"); }
    BOOL IsActive() override { return m_nState == Opening || m_nState == Playing; }
    BOOL Open(LPCWSTR pszUrl) override {
        Record(u"Open " + std::u16string(pszUrl));
        m_strUrl = pszUrl;
        const bool accepted = refused.count(m_strUrl) == 0;
        m_nState = accepted ? Opening : Failed;
        return accepted;
    }
    BOOL Reopen() override { return Open(std::u16string(m_strUrl).c_str()); }
    BOOL Stop() override {
        m_nState = Stopped;
        Record(u"Stop");
        return TRUE;
    }
    BOOL Pause() override { return FALSE; }
    BOOL Resume() override { return FALSE; }
    int SetVolume(int nValue, VolumeChange change) override {
        const bool relative = change == VolumeChange::Relative;
        std::string text = "SetVolume " + std::to_string(nValue) + (relative ? " relative" : " absolute");
        Record(std::u16string(text.begin(), text.end()));
        return m_nVolume = NewVolume(nValue, change, m_nVolume);
    }
    int GetVolume() override { return m_nVolume; }
    BOOL GetStatus(PlayerStatus* pStatus) override {
        pStatus->state = m_nState;
        return TRUE;
    }
    void SetNotifyWindow(HWND) override {}
    void OnNotify(UINT, WPARAM, LPARAM) override {}

private:
    void Record(std::u16string call) { calls.push_back(std::move(call)); }
};

class RecordingStatusLine : public IStatusLine {
public:
    std::vector<std::u16string> texts;
    int playingMarks = 0;

    void ShowStatus(LPCWSTR pszText) override { texts.emplace_back(pszText); }
    void SetPlaying() override { ++playingMarks; }
};

}  // namespace orvi::test

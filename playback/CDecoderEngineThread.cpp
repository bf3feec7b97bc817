// The decode thread: reads and decodes the opened stream and keeps the
// device fed with two alternating one-second buffers.
#include <algorithm>
#include <cstring>

#include "CDecoderEngine.h"
#include "CPlayer.h"
#include "CrashTrace.h"
#include "OrviDebug.h"

namespace {

void Acknowledge(const MSG& request) {
    PostThreadMessageW(static_cast<DWORD>(request.lParam), request.message, 0, request.lParam);
}

bool IsRequest(const MSG& msg) { return msg.message == UM_DECODE_STOP || msg.message == UM_DECODE_QUIT; }

}  // namespace

DWORD WINAPI CDecoderEngine::DecodeThread(LPVOID pParam) {
    auto* self = static_cast<CDecoderEngine*>(pParam);
    if (!RunWithCrashTrace(GuardedLoop, self)) {
        Log(u"The exception occurred at DecodeThread\n");
        self->AbandonAfterCrash();
    }
    self->m_dwDecodeThread = 0;
    return 0;
}

void CALLBACK CDecoderEngine::GuardedLoop(LPVOID pParam) { static_cast<CDecoderEngine*>(pParam)->MessageLoop(); }

// What the crashed thread held may be damaged, so it is dropped without
// being freed; the device (and the buffers it may still hold) stays for
// Stop to reset and close. The next Start makes a new thread.
void CDecoderEngine::AbandonAfterCrash() {
    m_pInput = nullptr;
    m_pIo = nullptr;
    m_pFormat = nullptr;
    m_pCodec = nullptr;
    m_pPacket = nullptr;
    m_pFrame = nullptr;
    m_pSwr = nullptr;
    m_nAudioStream = -1;
    m_pSamples = nullptr;
    m_cbSamples = 0;
    m_cbLeftover = 0;
    m_bPlaying = false;
    Notify(UM_DECODER_STOPPED);
}

void CDecoderEngine::MessageLoop() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        switch (msg.message) {
        case UM_DECODE_STOP:
            Acknowledge(msg);
            break;
        case UM_DECODE_QUIT:
            Acknowledge(msg);
            return;
        case UM_DECODE_START:
            if (Play())
                return;
            break;
        case UM_DECODE_BUFFER_DONE:
            BufferReturned(msg.lParam);  // one that came back after a drain gave up
            break;
        default:
            break;  // a stale stream message
        }
    }
}

// Plays until the stream ends or a stop or quit arrives. TRUE for a quit.
bool CDecoderEngine::Play() {
    if (!m_pSamples) {
        Log(u"0x%08x:DecodeThread not ready AM_START\n", GetCurrentThreadId());
        return false;
    }
    // A cancellation posted while this thread was not reading belongs to
    // the play that has ended.
    MSG msg;
    while (PeekMessageW(&msg, nullptr, UM_STREAM_FIRST, UM_STREAM_LAST, PM_REMOVE)) {
    }
    // A stop that overtook the start has taken the device already.
    if (!(m_hPlaying = m_hWaveOut))
        return false;
    m_bPlaying = true;
    MSG request{};
    const bool bStopped = !FeedBuffers(&request);
    Drain(bStopped, &request);
    if (IsRequest(request)) {
        FreeStream();
        m_bPlaying = false;
        Acknowledge(request);
    } else {
        m_bPlaying = false;
    }
    Notify(UM_DECODER_STOPPED);
    return request.message == UM_DECODE_QUIT;
}

// Keeps both buffers going until the stream runs dry (TRUE) or a stop or
// quit request arrives (FALSE, the request in *pRequest).
bool CDecoderEngine::FeedBuffers(MSG* pRequest) {
    const auto takeRequest = [pRequest] {
        PeekMessageW(pRequest, nullptr, UM_DECODE_QUIT, UM_DECODE_STOP, PM_REMOVE);
        return false;
    };
    int cbData = FillBuffer(0);
    if (cbData < 0)
        return takeRequest();
    WriteBuffer(0, cbData, true);
    cbData = FillBuffer(1);
    if (cbData < 0)
        return takeRequest();
    Notify(UM_DECODER_PLAYING);
    int nNext = 1;
    for (;;) {
        if (cbData > 0)
            WriteBuffer(nNext, cbData, false);
        else
            Log(u"The data is empty! pWav2, len=%ld\n", cbData);
        MSG msg;
        if (GetMessageW(&msg, nullptr, UM_DECODE_QUIT, UM_DECODE_BUFFER_DONE) <= 0 || IsRequest(msg)) {
            *pRequest = msg;
            return false;
        }
        if (msg.message != UM_DECODE_BUFFER_DONE)
            continue;
        nNext = BufferReturned(msg.lParam);
        if (nNext < 0)
            continue;
        cbData = FillBuffer(nNext);
        if (cbData < 0)
            return takeRequest();
        if (cbData < 1)
            return true;
    }
}

// Collects the buffers still at the device. A stop returns them at once
// (the device is reset); at the end of a stream the last second is let play
// out, for up to two seconds.
void CDecoderEngine::Drain(bool bStopRequested, MSG* pRequest) {
    if (bStopRequested && m_hPlaying)
        waveOutReset(m_hPlaying);
    const DWORD start = GetTickCount();
    while (m_nQueued > 0) {
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= kDrainWaitMs)
            break;
        // Other messages may sit in the queue (a reader's late news), which
        // would wake a message wait at once: this wait polls instead.
        MSG msg;
        if (!PeekMessageW(&msg, nullptr, UM_DECODE_QUIT, UM_DECODE_BUFFER_DONE, PM_NOREMOVE)) {
            Sleep(kDrainPollMs);
            continue;
        }
        while (PeekMessageW(&msg, nullptr, UM_DECODE_QUIT, UM_DECODE_BUFFER_DONE, PM_REMOVE)) {
            if (msg.message == UM_DECODE_BUFFER_DONE) {
                BufferReturned(msg.lParam);
            } else if (IsRequest(msg) && !IsRequest(*pRequest)) {
                *pRequest = msg;
                if (m_hPlaying)
                    waveOutReset(m_hPlaying);
            }
        }
    }
}

bool CDecoderEngine::WriteBuffer(int nIndex, int cbData, bool bFirst) {
    WAVEHDR& header = m_wave[nIndex];
    header.dwBufferLength = static_cast<DWORD>(cbData);
    header.dwFlags = 0;
    MMRESULT result = waveOutPrepareHeader(m_hPlaying, &header, sizeof(WAVEHDR));
    const bool prepared = result == MMSYSERR_NOERROR;
    if (prepared) {
        m_bQueued[nIndex] = true;
        ++m_nQueued;
        result = waveOutWrite(m_hPlaying, &header, sizeof(WAVEHDR));
        if (result == MMSYSERR_NOERROR) {
            if (bFirst)
                m_dwFirstWrite = GetTickCount();
            return true;
        }
        m_bQueued[nIndex] = false;
        --m_nQueued;
    }
    // The buffer comes round again as though the device had played it.
    if (bFirst)
        Log(u"PlayWave failed! pWave1, err=%ld\n", result);
    else if (!prepared)
        Log(u"waveOutPrepareHeader failed! pWav2, len=%ld, err=%ld\n", cbData, result);
    else
        Log(u"waveOutWrite failed! pWav2, len=%ld, err=%ld\n", cbData, result);
    PostThreadMessageW(GetCurrentThreadId(), UM_DECODE_BUFFER_DONE, 0, reinterpret_cast<LPARAM>(&header));
    if (!bFirst)
        Notify(UM_DECODER_WRITE_ERROR);
    return false;
}

// The device (or a failed write) handed a buffer back: it is unprepared
// here, on the thread that owns it, never in the device's callback. The
// buffer's index, or -1 for a header that is not one of ours.
int CDecoderEngine::BufferReturned(LPARAM lParam) {
    auto* header = reinterpret_cast<WAVEHDR*>(lParam);
    const int nIndex = header == &m_wave[0] ? 0 : header == &m_wave[1] ? 1 : -1;
    if (nIndex < 0)
        return -1;
    if (m_bQueued[nIndex]) {
        m_bQueued[nIndex] = false;
        --m_nQueued;
    }
    if (header->dwFlags & WHDR_PREPARED)
        waveOutUnprepareHeader(m_hPlaying, header, sizeof(WAVEHDR));
    return nIndex;
}

// Bytes put into buffer nIndex: the decoded bytes carried over from the
// previous buffer first, then newly decoded ones. 0 once the stream has
// ended; -1 when a stop or quit request is waiting (it stays queued).
int CDecoderEngine::FillBuffer(int nIndex) {
    auto* pOut = reinterpret_cast<BYTE*>(m_wave[nIndex].lpData);
    const LONG cbTarget = m_nBufferSize;
    if (cbTarget <= 0)
        return 0;
    int cbFilled = 0;
    if (m_cbLeftover > 0) {
        cbFilled = std::min<int>(m_cbLeftover, cbTarget);
        std::memcpy(pOut, m_pLeftover, cbFilled);
        m_pLeftover += cbFilled;
        m_cbLeftover -= cbFilled;
        if (m_cbLeftover > 0)
            return cbFilled;
    }
    return DecodeInto(pOut, cbFilled, cbTarget);
}

bool CDecoderEngine::StopIsWaiting() {
    MSG msg;
    return PeekMessageW(&msg, nullptr, UM_DECODE_QUIT, UM_DECODE_STOP, PM_NOREMOVE) != FALSE;
}

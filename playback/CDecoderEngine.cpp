// Opening and closing the decoder engine's stream and device; the decode
// thread itself is in CDecoderEngineThread.cpp.
#include "CDecoderEngine.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "CHttpStream.h"
#include "CInputProtocol.h"
#include "CPlayer.h"
#include "OrviDebug.h"

namespace {

// FFmpeg reads through this much of its own buffer per call of the input.
constexpr int kIoBufferBytes = 32768;
// The URL as FFmpeg sees it, in the ANSI code page.
constexpr int kUrlBytes = 4096;
// The engine could not take the stream because the previous one is still
// owned by a decode thread that did not answer its stop in time.
constexpr int kErrorBusy = AVERROR(EBUSY);

int ReadInput(void* opaque, uint8_t* buffer, int size) {
    const int result = static_cast<CInputProtocol*>(opaque)->Read(buffer, size);
    return result == 0 ? AVERROR_EOF : result;
}

int64_t SeekInput(void* opaque, int64_t offset, int whence) {
    auto* input = static_cast<CInputProtocol*>(opaque);
    const LONGLONG result = (whence & AVSEEK_SIZE)
                                ? input->Seek(0, CInputProtocol::kSizeQuery)
                                : input->Seek(offset, whence & ~AVSEEK_FORCE);
    return result < 0 ? AVERROR(EIO) : result;
}

std::string AnsiUrl(LPCWSTR pszUrl) {
    char szUrl[kUrlBytes] = {};
    std::u16string url(pszUrl);
    // Cut in UTF-16 first: the code page has one byte per character.
    if (url.size() >= kUrlBytes)
        url.resize(kUrlBytes - 1);
    WideCharToMultiByte(CP_ACP, 0, url.c_str(), -1, szUrl, kUrlBytes, nullptr, nullptr);
    szUrl[kUrlBytes - 1] = 0;
    return szUrl;
}

}  // namespace

CDecoderEngine::CDecoderEngine() = default;

CDecoderEngine::~CDecoderEngine() {
    // Destroy has normally run; this only frees what a caller left behind.
    if (!m_bPlaying)
        FreeStream();
}

// No notification is sent while the open lock is held: the window's thread
// may be waiting for that lock in Teardown (it handles sent messages while
// it waits, but a lock holder must never depend on that).
BOOL CDecoderEngine::Open(LPCWSTR pszUrl) {
    if (!pszUrl || !*pszUrl) {
        Notify(UM_DECODER_OPENED, kErrorNoUrl);
        return FALSE;
    }
    if (!g_ffmpeg.IsLoaded()) {
        Notify(UM_DECODER_OPENED, kErrorNoLibrary);
        return FALSE;
    }
    std::unique_lock lock(m_openMutex);
    Stop();
    int result = TeardownLocked() ? 0 : kErrorBusy;
    if (result == 0) {
        const std::string url = AnsiUrl(pszUrl);
        // Recorded so that a Teardown from another thread can cancel this
        // open's waits; cleared on every way out, so that no cancellation is
        // posted to a thread that has moved on.
        m_dwOpeningThread = GetCurrentThreadId();
        result = OpenInput(url.c_str());
        if (result == 0)
            result = OpenCodec();
        if (result == 0)
            CopyTexts();
        else
            TeardownLocked();
        m_dwOpeningThread = 0;
    }
    lock.unlock();
    Notify(UM_DECODER_OPENED, static_cast<WPARAM>(result));
    return result == 0;
}

// 0, the input's refusal, or FFmpeg's own open error.
int CDecoderEngine::OpenInput(const char* pszUrl) {
    int error = 0;
    m_pInput = CInputProtocol::Open(pszUrl, &error);
    if (!m_pInput)
        return error ? error : AVERROR(EIO);
    auto* buffer = static_cast<unsigned char*>(g_ffmpeg.av_malloc(kIoBufferBytes));
    if (buffer)
        m_pIo = g_ffmpeg.avio_alloc_context(buffer, kIoBufferBytes, 0, m_pInput, ReadInput, nullptr, SeekInput);
    if (!m_pIo) {
        g_ffmpeg.av_freep(&buffer);
        return AVERROR(ENOMEM);
    }
    if (!(m_pFormat = g_ffmpeg.avformat_alloc_context()))
        return AVERROR(ENOMEM);
    m_pFormat->pb = m_pIo;
    // On failure FFmpeg frees the format context (not the input it was given).
    return g_ffmpeg.avformat_open_input(&m_pFormat, pszUrl, nullptr, nullptr);
}

int CDecoderEngine::OpenCodec() {
    for (unsigned i = 0; i < m_pFormat->nb_streams && m_nAudioStream < 0; ++i) {
        const AVCodecParameters* parameters = m_pFormat->streams[i]->codecpar;
        if (parameters && parameters->codec_type == AVMEDIA_TYPE_AUDIO)
            m_nAudioStream = static_cast<int>(i);
    }
    if (m_nAudioStream < 0)
        return static_cast<int>(kErrorNoAudio);
    // From here on the network is read by the stream's own thread, and
    // buffering is reported to the player's window.
    if (CHttpStream* stream = m_pInput->HttpStream()) {
        stream->SetNotifyWindow(m_hWndNotify);
        stream->SetEngine(this);
        stream->StartReader();
    }
    if (g_ffmpeg.avformat_find_stream_info(m_pFormat, nullptr) < 0)
        return static_cast<int>(kErrorNoAudio);
    const AVCodecParameters* parameters = m_pFormat->streams[m_nAudioStream]->codecpar;
    const AVCodec* codec = g_ffmpeg.avcodec_find_decoder(parameters->codec_id);
    if (!codec)
        return static_cast<int>(kErrorNoAudio);
    m_pCodec = g_ffmpeg.avcodec_alloc_context3(codec);
    if (!m_pCodec || g_ffmpeg.avcodec_parameters_to_context(m_pCodec, parameters) < 0 ||
        g_ffmpeg.avcodec_open2(m_pCodec, codec, nullptr) < 0)
        return static_cast<int>(kErrorCodecOpen);
    m_pPacket = g_ffmpeg.av_packet_alloc();
    m_pFrame = g_ffmpeg.av_frame_alloc();
    if (!m_pPacket || !m_pFrame)
        return AVERROR(ENOMEM);
    return 0;
}

// Today's FFmpeg keeps tags in UTF-8; streams of some formats (Ogg) carry
// them on the audio stream rather than on the file.
void CDecoderEngine::CopyTexts() {
    static const char* const kKeys[kTexts][2] = {
        {"album", nullptr}, {"title", nullptr}, {"artist", "author"}, {"copyright", nullptr}, {"comment", nullptr}};
    AVDictionary* const sources[] = {m_pFormat->metadata, m_pFormat->streams[m_nAudioStream]->metadata};
    std::lock_guard lock(m_textMutex);
    for (int text = 0; text < kTexts; ++text) {
        const AVDictionaryEntry* entry = nullptr;
        for (AVDictionary* source : sources) {
            for (const char* key : kKeys[text]) {
                if (!entry && key && source)
                    entry = g_ffmpeg.av_dict_get(source, key, nullptr, 0);
            }
        }
        if (entry && entry->value && *entry->value)
            MultiByteToWideChar(CP_UTF8, 0, entry->value, -1, m_szTexts[text], kTextChars - 1);
    }
}

BOOL CDecoderEngine::Teardown() {
    Stop();
    std::unique_lock lock(m_openMutex, std::defer_lock);
    if (!LockAgainstOpen(&lock)) {
        Log(u"Teardown: the open in progress did not end\r\n");
        return FALSE;
    }
    return TeardownLocked();
}

// Takes the open lock, cancelling an open that another thread has in
// progress. Messages sent to this thread are handled meanwhile, so an
// opening thread that notifies this one cannot stall. FALSE when the open
// did not end within the acknowledgement limit.
bool CDecoderEngine::LockAgainstOpen(std::unique_lock<std::recursive_mutex>* pLock) {
    const DWORD self = GetCurrentThreadId();
    const DWORD start = GetTickCount();
    bool bCancelled = false;
    while (!pLock->try_lock()) {
        const DWORD opening = m_dwOpeningThread;
        if (opening && opening != self && !bCancelled)
            bCancelled = PostThreadMessageW(opening, UM_STREAM_CANCEL, 0, 0) != FALSE;
        if (GetTickCount() - start >= kAckWaitMs)
            return false;
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
        Sleep(kDrainPollMs);
    }
    return true;
}

// FALSE when the stream is still owned by a decode thread that did not
// acknowledge its stop: nothing is freed under it then.
bool CDecoderEngine::TeardownLocked() {
    // Cancellations and completions meant for this thread's last stream
    // wait must not reach the next one.
    MSG msg;
    while (PeekMessageW(&msg, nullptr, UM_STREAM_FIRST, UM_STREAM_LAST, PM_REMOVE)) {
    }
    if (m_bPlaying && GetCurrentThreadId() != m_dwDecodeThread) {
        Log(u"Teardown: the decode thread still plays\r\n");
        return false;
    }
    FreeStream();
    return true;
}

// The caller owns the stream: it is the decode thread ending a play, or no
// decode thread is playing.
void CDecoderEngine::FreeStream() {
    m_nAudioStream = -1;
    if (g_ffmpeg.IsLoaded()) {
        g_ffmpeg.avcodec_free_context(&m_pCodec);
        g_ffmpeg.swr_free(&m_pSwr);
        g_ffmpeg.av_channel_layout_uninit(&m_swrLayout);
        g_ffmpeg.av_frame_free(&m_pFrame);
        g_ffmpeg.av_packet_free(&m_pPacket);
        g_ffmpeg.avformat_close_input(&m_pFormat);
        if (m_pIo) {
            g_ffmpeg.av_freep(&m_pIo->buffer);
            g_ffmpeg.avio_context_free(&m_pIo);
        }
    }
    delete m_pInput;
    m_pInput = nullptr;
    {
        std::lock_guard lock(m_textMutex);
        std::memset(m_szTexts, 0, sizeof(m_szTexts));
    }
    // Buffers still queued to a device read the block: it goes only once
    // they are back.
    if (m_nQueued == 0) {
        delete[] m_pSamples;
        m_pSamples = nullptr;
        m_cbSamples = 0;
    } else {
        Log(u"Teardown: %d buffers still queued, sample block kept\r\n", m_nQueued.load());
    }
    m_pLeftover = nullptr;
    m_cbLeftover = 0;
}

BOOL CDecoderEngine::Start() {
    {
        std::unique_lock lock(m_openMutex, std::defer_lock);
        if (!LockAgainstOpen(&lock) || m_nAudioStream < 0 || !m_pCodec)
            return FALSE;
        if (!m_hWaveOut && !OpenDevice())
            return FALSE;
        if (!m_dwDecodeThread) {
            // The thread's queue exists from its first instruction, so the
            // start request can be posted at once.
            DWORD id = 0;
            if (m_hDecodeThread)
                CloseHandle(m_hDecodeThread);
            m_hDecodeThread = CreateThread(nullptr, 0, DecodeThread, this, 0, &id);
            if (!m_hDecodeThread)
                return FALSE;
            m_dwDecodeThread = id;
        }
        PostThreadMessageW(m_dwDecodeThread, UM_DECODE_START, 0, 0);
    }
    Notify(UM_DECODER_STARTING);
    return TRUE;
}

// The stream's rate and channels, always as signed 16-bit samples: the
// converter turns whatever the decoder produces (planar float for MP3 and
// AAC) into that.
BOOL CDecoderEngine::OpenDevice() {
    int channels = m_pCodec->ch_layout.nb_channels;
    if (channels < 1 || channels > kMaxDeviceChannels)
        channels = 2;
    const int rate = m_pCodec->sample_rate;
    if (rate < 1)
        return FALSE;
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = static_cast<WORD>(channels);
    format.nSamplesPerSec = static_cast<DWORD>(rate);
    format.wBitsPerSample = 16;
    format.nBlockAlign = static_cast<WORD>(channels * 2);
    format.nAvgBytesPerSec = format.nBlockAlign * format.nSamplesPerSec;
    HWAVEOUT device = nullptr;
    const MMRESULT result = waveOutOpen(&device, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(WaveCallback),
                                        reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION);
    if (result != MMSYSERR_NOERROR) {
        Log(u"waveOutOpen failed! err=%ld\n", result);
        return FALSE;
    }
    const DWORD bufferBytes = format.nAvgBytesPerSec;
    if (!m_pSamples) {
        m_cbSamples = kScratchBytes + 2 * bufferBytes;
        m_pSamples = new (std::nothrow) BYTE[m_cbSamples];
    }
    if (!m_pSamples) {
        waveOutClose(device);
        return FALSE;
    }
    m_wChannels = format.nChannels;
    m_dwBytesPerSec = format.nAvgBytesPerSec;
    m_nBufferSize = static_cast<LONG>(bufferBytes);
    m_ullBytesPlayed = 0;
    m_dwFirstWrite = 0;
    for (int i = 0; i < 2; ++i) {
        m_wave[i] = WAVEHDR{};
        m_wave[i].lpData = reinterpret_cast<LPSTR>(m_pSamples + kScratchBytes + i * bufferBytes);
    }
    m_pLeftover = nullptr;
    m_cbLeftover = 0;
    m_hWaveOut = device;
    SetVolume(m_nVolume);
    return TRUE;
}

void CDecoderEngine::Stop() {
    const HWAVEOUT device = m_hWaveOut.exchange(nullptr);
    if (!device)
        return;
    const DWORD thread = m_dwDecodeThread;
    if (thread && thread != GetCurrentThreadId()) {
        // The cancel ends a stream read the decode thread may be blocked in.
        PostThreadMessageW(thread, UM_STREAM_CANCEL, 0, 0);
        Sleep(kCancelGraceMs);
        if (!PostAndWait(thread, UM_DECODE_STOP))
            Log(u"Stop: the decode thread did not answer\r\n");
    }
    waveOutReset(device);
    waveOutClose(device);
}

BOOL CDecoderEngine::Destroy() {
    if (!Teardown())
        return FALSE;
    const DWORD thread = m_dwDecodeThread;
    if (thread && !PostAndWait(thread, UM_DECODE_QUIT))
        return FALSE;
    if (m_hDecodeThread) {
        // After its acknowledgement the thread only clears its id and ends.
        if (WaitForSingleObject(m_hDecodeThread, kAckWaitMs) != WAIT_OBJECT_0)
            return FALSE;
        CloseHandle(m_hDecodeThread);
        m_hDecodeThread = nullptr;
    }
    return TRUE;
}

// Posts uMsg with this thread as the sender and waits for the same message
// back, dispatching paint messages meanwhile; messages sent to this thread's
// windows are handled inside the waits.
bool CDecoderEngine::PostAndWait(DWORD dwThread, UINT uMsg) {
    MSG msg;
    // An answer to an earlier request that timed out is not this answer.
    while (PeekMessageW(&msg, nullptr, uMsg, uMsg, PM_REMOVE)) {
    }
    const DWORD self = GetCurrentThreadId();
    if (!PostThreadMessageW(dwThread, uMsg, 0, static_cast<LPARAM>(self)))
        return false;
    const DWORD start = GetTickCount();
    for (;;) {
        if (PeekMessageW(&msg, nullptr, uMsg, uMsg, PM_REMOVE) && !msg.hwnd)
            return true;
        if (PeekMessageW(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) {
            DispatchMessageW(&msg);
            continue;
        }
        if (GetTickCount() - start >= kAckWaitMs)
            return false;
        // Other queued messages would end a message wait at once; sent
        // messages are handled by the PeekMessage calls above.
        Sleep(kDrainPollMs);
    }
}

void CALLBACK CDecoderEngine::WaveCallback(HWAVEOUT, UINT uMsg, DWORD_PTR dwInstance, DWORD_PTR dwParam1,
                                           DWORD_PTR) {
    if (uMsg != WOM_DONE)
        return;
    auto* self = reinterpret_cast<CDecoderEngine*>(dwInstance);
    const auto* header = reinterpret_cast<const WAVEHDR*>(dwParam1);
    self->m_ullBytesPlayed += header->dwBufferLength;
    PostThreadMessageW(self->m_dwDecodeThread, UM_DECODE_BUFFER_DONE, 0, static_cast<LPARAM>(dwParam1));
}

void CDecoderEngine::SetVolume(int nVolume) {
    m_nVolume = std::clamp(nVolume, 0, 100);
    const DWORD level = static_cast<DWORD>(m_nVolume) * 0xFFFF / 100;
    if (const HWAVEOUT device = m_hWaveOut)
        waveOutSetVolume(device, MAKELONG(level, level));
}

int CDecoderEngine::GetVolume() {
    const HWAVEOUT device = m_hWaveOut;
    DWORD volume = 0;
    if (!device || waveOutGetVolume(device, &volume) != MMSYSERR_NOERROR)
        return -1;
    const DWORD level = LOWORD(volume) ? LOWORD(volume) : HIWORD(volume);
    // Rounded, not cut: SetVolume's level for v must read back as v, or
    // every read-and-change of the volume would lose a step.
    return static_cast<int>((level * 100 + 0x7FFF) / 0xFFFF);
}

std::u16string CDecoderEngine::ElapsedText() const {
    const ULONGLONG seconds = m_dwBytesPerSec ? m_ullBytesPlayed / m_dwBytesPerSec : 0;
    std::u16string text;
    if (seconds > 0)
        orvi::fmt::Format(&text, u"%02d:%02d", static_cast<int>(seconds / 60), static_cast<int>(seconds % 60));
    else
        text = u"00:00";
    return text;
}

std::u16string CDecoderEngine::Title() const {
    std::lock_guard lock(m_textMutex);
    return m_szTexts[kTitle];
}

std::u16string CDecoderEngine::Author() const {
    std::lock_guard lock(m_textMutex);
    return m_szTexts[kAuthor];
}

void CDecoderEngine::SetStreamTitle(LPCWSTR pszTitle) {
    std::lock_guard lock(m_textMutex);
    StringCchCopyW(m_szTexts[kTitle], kTextChars, pszTitle ? pszTitle : u"");
}

void CDecoderEngine::Notify(UINT uMsg, WPARAM wParam) {
    if (const HWND window = m_hWndNotify)
        SendMessageW(window, uMsg, wParam, reinterpret_cast<LPARAM>(this));
}

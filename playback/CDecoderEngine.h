// The decoder player's engine: opens a stream through the program's own input
// protocols, demultiplexes and decodes it with FFmpeg, converts the audio to
// interleaved signed 16-bit PCM and plays it through the wave-out device with
// two one-second buffers fed by the engine's decode thread.
//
// Threading:
// - Open and Start run on the thread that starts a station (the Now Playing
//   worker); Stop, Teardown, Destroy and the volume calls on the user-interface
//   thread. Open, Start and Teardown exclude each other; a Teardown from
//   another thread first cancels an open in progress.
// - The decode thread owns the FFmpeg contexts while it plays; the other
//   threads touch them only once it has acknowledged a stop.
// - The wave-out callback runs on the device's thread and only counts and
//   posts.
// - Notifications are sent (SendMessage) to the notify window, so the window's
//   thread must keep pumping while it waits for the engine: Stop and Destroy
//   do so themselves.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "CFfmpegLibrary.h"
#include "IStreamEngine.h"
#include "platform.h"

class CInputProtocol;

// Thread messages of the decode thread. Quit and stop carry the sender's
// thread id in lParam and are acknowledged with the same message.
constexpr UINT UM_DECODE_QUIT = WM_USER + 785;
constexpr UINT UM_DECODE_STOP = WM_USER + 786;
constexpr UINT UM_DECODE_START = WM_USER + 787;
constexpr UINT UM_DECODE_BUFFER_DONE = WM_USER + 788;  // lParam: the WAVEHDR
// The range of the stream sources' thread messages (cancel, data, end).
constexpr UINT UM_STREAM_FIRST = WM_USER + 768;
constexpr UINT UM_STREAM_LAST = WM_USER + 772;

class CDecoderEngine final : public IStreamEngine {
public:
    // UM_DECODER_OPENED error values besides FFmpeg's own negative codes.
    static constexpr WPARAM kErrorNoUrl = 0x80070057;
    static constexpr WPARAM kErrorNoLibrary = 0x80004003;
    static constexpr WPARAM kErrorNoAudio = 1169;
    static constexpr WPARAM kErrorCodecOpen = 110;
    // Decoder output scratch before the two wave buffers in the sample block.
    static constexpr DWORD kScratchBytes = 288000;
    static constexpr int kTextChars = 512;
    // Limits of the waits for the decode thread's acknowledgements.
    static constexpr DWORD kAckWaitMs = 5000;
    static constexpr DWORD kCancelGraceMs = 500;
    static constexpr DWORD kDrainWaitMs = 2000;
    static constexpr DWORD kDrainPollMs = 5;
    // More channels than the device takes are mixed down to stereo.
    static constexpr int kMaxDeviceChannels = 8;

    CDecoderEngine();
    ~CDecoderEngine();
    CDecoderEngine(const CDecoderEngine&) = delete;
    CDecoderEngine& operator=(const CDecoderEngine&) = delete;

    // Opens pszUrl and prepares its first audio stream for decoding. Sends
    // UM_DECODER_OPENED with 0 or the error; FALSE on failure.
    BOOL Open(LPCWSTR pszUrl);
    // Opens the device for the stream's format (when not open yet), makes
    // the decode thread (once) and asks it to play. FALSE without an opened
    // stream or when the device cannot be opened.
    BOOL Start();
    // Ends playing and closes the device; returns within about 5.5 seconds.
    void Stop();
    // Stop, then frees everything Open and Start made, cancelling an open
    // in progress on another thread first. FALSE when that open or the
    // decode thread did not give the stream up in time: it is kept then.
    BOOL Teardown();
    // Teardown and ends the decode thread. FALSE when the thread (or an
    // open) did not end within its time limit: the engine must then not be
    // deleted.
    BOOL Destroy();

    void SetVolume(int nVolume);  // 0..100, applied to the open device
    int GetVolume();              // 0..100, -1 when no device is open

    void SetNotifyWindow(HWND hWnd) { m_hWndNotify = hWnd; }
    HWND NotifyWindow() const { return m_hWndNotify; }

    // Elapsed playing time as "mm:ss" ("00:00" before the first second).
    std::u16string ElapsedText() const;
    std::u16string Title() const;
    std::u16string Author() const;
    // The device format and the buffer sizes of the stream being played.
    DWORD BytesPerSecond() const { return m_dwBytesPerSec; }
    LONG BufferSize() const { return m_nBufferSize; }
    DWORD SampleBlockSize() const { return m_cbSamples; }
    ULONGLONG BytesPlayed() const { return m_ullBytesPlayed; }
    // GetTickCount when the current play wrote its first buffer; 0 before.
    DWORD FirstWriteTick() const { return m_dwFirstWrite; }

    // IStreamEngine: a metadata block named a new title (stream's thread).
    void SetStreamTitle(LPCWSTR pszTitle) override;

private:
    enum Text { kAlbum, kTitle, kAuthor, kCopyright, kComment, kTexts };

    // CDecoderEngine.cpp: opening and closing.
    int OpenInput(const char* pszUrl);
    int OpenCodec();
    void CopyTexts();
    bool LockAgainstOpen(std::unique_lock<std::recursive_mutex>* pLock);
    bool TeardownLocked();
    void FreeStream();
    void Notify(UINT uMsg, WPARAM wParam = 0);
    BOOL OpenDevice();
    bool PostAndWait(DWORD dwThread, UINT uMsg);
    static void CALLBACK WaveCallback(HWAVEOUT hwo, UINT uMsg, DWORD_PTR dwInstance, DWORD_PTR dwParam1,
                                      DWORD_PTR dwParam2);

    // CDecoderEngineThread.cpp: the decode thread and its buffers.
    static DWORD WINAPI DecodeThread(LPVOID pParam);
    static void CALLBACK GuardedLoop(LPVOID pParam);
    void AbandonAfterCrash();
    void MessageLoop();
    bool Play();
    bool FeedBuffers(MSG* pRequest);
    void Drain(bool bStopRequested, MSG* pRequest);
    bool WriteBuffer(int nIndex, int cbData, bool bFirst);
    int BufferReturned(LPARAM lParam);
    int FillBuffer(int nIndex);
    bool StopIsWaiting();

    // CDecoderEngineDecode.cpp: packets to PCM.
    int DecodeInto(BYTE* pOut, int cbFilled, int cbTarget);
    int CodecFailed(int cbFilled, int cbPacket);
    int ConvertFrame();
    int DrainConverter();
    bool PrepareConverter();
    int TakeConverted(BYTE* pOut, int cbFilled, int cbTarget, int cbConverted);

    // Open stream.
    CInputProtocol* m_pInput = nullptr;
    AVIOContext* m_pIo = nullptr;
    AVFormatContext* m_pFormat = nullptr;
    int m_nAudioStream = -1;
    AVCodecContext* m_pCodec = nullptr;
    AVPacket* m_pPacket = nullptr;
    AVFrame* m_pFrame = nullptr;
    SwrContext* m_pSwr = nullptr;
    // The input format the converter was made for.
    int m_nSwrRate = 0;
    int m_nSwrFormat = -1;
    AVChannelLayout m_swrLayout{};

    // Output.
    std::atomic<ULONGLONG> m_ullBytesPlayed{0};
    DWORD m_dwBytesPerSec = 0;
    WORD m_wChannels = 0;
    std::atomic<LONG> m_nBufferSize{0};  // -1 once the stream has ended
    std::atomic<HWAVEOUT> m_hWaveOut{nullptr};
    HWAVEOUT m_hPlaying = nullptr;  // decode thread: the device it plays to
    WAVEHDR m_wave[2] = {};
    BYTE* m_pSamples = nullptr;
    DWORD m_cbSamples = 0;
    BYTE* m_pLeftover = nullptr;
    int m_cbLeftover = 0;
    std::atomic<DWORD> m_dwFirstWrite{0};
    std::atomic<int> m_nQueued{0};  // buffers at the device
    bool m_bQueued[2] = {};         // decode thread: which ones
    int m_nVolume = 100;

    // Threads.
    std::atomic<DWORD> m_dwDecodeThread{0};
    HANDLE m_hDecodeThread = nullptr;
    std::atomic<bool> m_bPlaying{false};  // the decode thread uses the contexts
    std::atomic<DWORD> m_dwOpeningThread{0};
    std::recursive_mutex m_openMutex;  // Open against Teardown
    std::atomic<HWND> m_hWndNotify{nullptr};

    mutable std::mutex m_textMutex;  // the texts: the stream writes the title
    WCHAR m_szTexts[kTexts][kTextChars] = {};
};

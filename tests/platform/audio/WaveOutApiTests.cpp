// Wave-out argument, format, handle and volume checks.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "ScopedEnv.h"
#include "TestSupport.h"
#include "WaveOutTestSupport.h"

using orvi::test::OpenWithRecorder;
using orvi::test::PcmFormat;
using orvi::test::ScopedEnv;
using orvi::test::WaveBuffer;
using orvi::test::WaveRecorder;

namespace {

// Opens a null device on the format and closes it again.
MMRESULT OpenAndClose(const WAVEFORMATEX& format, UINT deviceId = WAVE_MAPPER) {
    WaveRecorder recorder;
    HWAVEOUT device = nullptr;
    const MMRESULT r = waveOutOpen(&device, deviceId, &format, recorder.Callback(),
                                   recorder.Instance(), CALLBACK_FUNCTION);
    if (r == MMSYSERR_NOERROR)
        EXPECT_EQ(waveOutClose(device), MMRESULT(MMSYSERR_NOERROR));
    else
        EXPECT_EQ(device, nullptr) << "the handle is set only on success";
    return r;
}

}  // namespace

TEST(waveOutOpen, OpensPcmOfEveryWidthAndChannelCount) {
    ScopedEnv audio("ORVI_AUDIO", "null");
    for (WORD bits : {8, 16, 24, 32})
        for (WORD channels = 1; channels <= 8; ++channels)
            EXPECT_EQ(OpenAndClose(PcmFormat(channels, 44100, bits)), MMRESULT(MMSYSERR_NOERROR))
                << bits << " bits, " << channels << " channels";
    // The mapper and device 0 are the same device; there is no device 1.
    const WAVEFORMATEX cd = PcmFormat(2, 44100, 16);
    EXPECT_EQ(OpenAndClose(cd, 0), MMRESULT(MMSYSERR_NOERROR));
    EXPECT_EQ(OpenAndClose(cd, 1), MMRESULT(MMSYSERR_BADDEVICEID));
}

TEST(waveOutOpen, RejectsFormatsItCannotPlay) {
    ScopedEnv audio("ORVI_AUDIO", "null");
    WAVEFORMATEX f = PcmFormat(2, 22050, 16);
    f.wFormatTag = 2;
    EXPECT_EQ(OpenAndClose(f), MMRESULT(WAVERR_BADFORMAT)) << "not PCM";
    EXPECT_EQ(OpenAndClose(PcmFormat(1, 22050, 12)), MMRESULT(WAVERR_BADFORMAT));
    EXPECT_EQ(OpenAndClose(PcmFormat(0, 22050, 16)), MMRESULT(WAVERR_BADFORMAT));
    EXPECT_EQ(OpenAndClose(PcmFormat(9, 22050, 16)), MMRESULT(WAVERR_BADFORMAT));
    EXPECT_EQ(OpenAndClose(PcmFormat(2, 0, 16)), MMRESULT(WAVERR_BADFORMAT));
    EXPECT_EQ(OpenAndClose(PcmFormat(1, 768001, 8)), MMRESULT(WAVERR_BADFORMAT));
    EXPECT_EQ(OpenAndClose(PcmFormat(1, 768000, 8)), MMRESULT(MMSYSERR_NOERROR));
    f = PcmFormat(2, 22050, 16);
    f.nBlockAlign = 2;
    EXPECT_EQ(OpenAndClose(f), MMRESULT(WAVERR_BADFORMAT)) << "block align";
    f = PcmFormat(2, 22050, 16);
    f.nAvgBytesPerSec = 22050;
    EXPECT_EQ(OpenAndClose(f), MMRESULT(WAVERR_BADFORMAT)) << "byte rate";
}

TEST(waveOutOpen, TakesOnlyACallbackFunction) {
    ScopedEnv audio("ORVI_AUDIO", "null");
    const WAVEFORMATEX f = PcmFormat(1, 8000, 8);
    WaveRecorder recorder;
    HWAVEOUT device = nullptr;
    const DWORD_PTR proc = recorder.Callback();
    const DWORD_PTR instance = recorder.Instance();
    EXPECT_EQ(waveOutOpen(&device, WAVE_MAPPER, nullptr, proc, instance, CALLBACK_FUNCTION),
              MMRESULT(MMSYSERR_INVALPARAM));
    EXPECT_EQ(waveOutOpen(nullptr, WAVE_MAPPER, &f, proc, instance, CALLBACK_FUNCTION),
              MMRESULT(MMSYSERR_INVALPARAM));
    EXPECT_EQ(waveOutOpen(&device, WAVE_MAPPER, &f, 0, instance, CALLBACK_FUNCTION),
              MMRESULT(MMSYSERR_INVALPARAM));
    for (DWORD flags : {0x0u, 0x00020000u, 0x00050000u, CALLBACK_FUNCTION | 0x1u})
        EXPECT_EQ(waveOutOpen(&device, WAVE_MAPPER, &f, proc, instance, flags),
                  MMRESULT(MMSYSERR_INVALFLAG))
            << std::hex << flags;
    EXPECT_EQ(device, nullptr);
    EXPECT_TRUE(recorder.All().empty()) << "a refused open notifies nobody";
}

class waveOutOpenSink : public orvi::test::DeviceRootTest {};

TEST_F(waveOutOpenSink, FailsWithoutADriver) {
    const WAVEFORMATEX f = PcmFormat(1, 8000, 8);
    {
        ScopedEnv audio("ORVI_AUDIO", "speakers");
        EXPECT_EQ(OpenAndClose(f), MMRESULT(MMSYSERR_NODRIVER));
    }
    {
        ScopedEnv audio("ORVI_AUDIO", "file:");
        EXPECT_EQ(OpenAndClose(f), MMRESULT(MMSYSERR_NODRIVER)) << "a file sink needs a path";
    }
    const std::string missing = m_root.HostPath() + "/no/such/folder/out.wav";
    ScopedEnv audio("ORVI_AUDIO", ("file:" + missing).c_str());
    EXPECT_EQ(OpenAndClose(f), MMRESULT(MMSYSERR_NODRIVER));
    EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST(waveOutClose, InvalidAndClosedHandlesAreRefusedEverywhere) {
    ScopedEnv audio("ORVI_AUDIO", "null");
    const WAVEFORMATEX f = PcmFormat(1, 8000, 8);
    WaveRecorder recorder;
    HWAVEOUT closed = nullptr;
    ASSERT_EQ(OpenWithRecorder(&closed, f, recorder), MMRESULT(MMSYSERR_NOERROR));
    ASSERT_EQ(waveOutClose(closed), MMRESULT(MMSYSERR_NOERROR));
    const HWAVEOUT bogus = reinterpret_cast<HWAVEOUT>(uintptr_t(0x1234));
    const HWAVEOUT mapper = reinterpret_cast<HWAVEOUT>(uintptr_t(WAVE_MAPPER));
    for (HWAVEOUT h : {closed, bogus, HWAVEOUT(nullptr), mapper}) {
        WaveBuffer buffer(16);
        DWORD volume = 0;
        EXPECT_EQ(waveOutClose(h), MMRESULT(MMSYSERR_INVALHANDLE));
        EXPECT_EQ(waveOutPrepareHeader(h, &buffer.header, sizeof(WAVEHDR)),
                  MMRESULT(MMSYSERR_INVALHANDLE));
        EXPECT_EQ(waveOutUnprepareHeader(h, &buffer.header, sizeof(WAVEHDR)),
                  MMRESULT(MMSYSERR_INVALHANDLE));
        EXPECT_EQ(waveOutWrite(h, &buffer.header, sizeof(WAVEHDR)), MMRESULT(MMSYSERR_INVALHANDLE));
        EXPECT_EQ(waveOutReset(h), MMRESULT(MMSYSERR_INVALHANDLE));
        EXPECT_EQ(waveOutSetVolume(h, 0), MMRESULT(MMSYSERR_INVALHANDLE));
        EXPECT_EQ(waveOutGetVolume(h, &volume), MMRESULT(MMSYSERR_INVALHANDLE));
        EXPECT_EQ(buffer.header.dwFlags, 0u);
    }
    const auto all = recorder.All();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].message, UINT(WOM_OPEN));
    EXPECT_EQ(all[1].message, UINT(WOM_CLOSE));
}

TEST(waveOutWrite, RequiresAPreparedHeaderOfTheRightSize) {
    ScopedEnv audio("ORVI_AUDIO", "null");
    const WAVEFORMATEX f = PcmFormat(1, 8000, 8);
    WaveRecorder recorder;
    HWAVEOUT device = nullptr;
    ASSERT_EQ(OpenWithRecorder(&device, f, recorder), MMRESULT(MMSYSERR_NOERROR));
    WaveBuffer buffer(8);
    EXPECT_EQ(waveOutWrite(device, &buffer.header, sizeof(WAVEHDR)), MMRESULT(WAVERR_UNPREPARED));
    EXPECT_EQ(waveOutPrepareHeader(device, &buffer.header, sizeof(WAVEHDR) - 1),
              MMRESULT(MMSYSERR_INVALPARAM));
    EXPECT_EQ(waveOutPrepareHeader(device, nullptr, sizeof(WAVEHDR)), MMRESULT(MMSYSERR_INVALPARAM));
    WaveBuffer noData(8);
    noData.header.lpData = nullptr;
    EXPECT_EQ(waveOutPrepareHeader(device, &noData.header, sizeof(WAVEHDR)),
              MMRESULT(MMSYSERR_INVALPARAM));

    EXPECT_EQ(waveOutPrepareHeader(device, &buffer.header, sizeof(WAVEHDR)),
              MMRESULT(MMSYSERR_NOERROR));
    EXPECT_EQ(buffer.header.dwFlags, DWORD(WHDR_PREPARED));
    EXPECT_EQ(waveOutPrepareHeader(device, &buffer.header, sizeof(WAVEHDR)),
              MMRESULT(MMSYSERR_NOERROR)) << "preparing twice is harmless";
    EXPECT_EQ(waveOutWrite(device, &buffer.header, sizeof(WAVEHDR) + 4),
              MMRESULT(MMSYSERR_INVALPARAM));
    EXPECT_EQ(waveOutUnprepareHeader(device, &buffer.header, sizeof(WAVEHDR)),
              MMRESULT(MMSYSERR_NOERROR));
    EXPECT_EQ(buffer.header.dwFlags, 0u);
    EXPECT_EQ(waveOutUnprepareHeader(device, &buffer.header, sizeof(WAVEHDR)),
              MMRESULT(MMSYSERR_NOERROR)) << "an unprepared header is left as it is";
    EXPECT_EQ(waveOutWrite(device, &buffer.header, sizeof(WAVEHDR)), MMRESULT(WAVERR_UNPREPARED));
    EXPECT_TRUE(recorder.Done().empty());
    EXPECT_EQ(waveOutClose(device), MMRESULT(MMSYSERR_NOERROR));
}

TEST(waveOutSetVolume, RoundTripsPerDevice) {
    ScopedEnv audio("ORVI_AUDIO", "null");
    const WAVEFORMATEX f = PcmFormat(2, 8000, 16);
    WaveRecorder ra, rb;
    HWAVEOUT a = nullptr, b = nullptr;
    ASSERT_EQ(OpenWithRecorder(&a, f, ra), MMRESULT(MMSYSERR_NOERROR));
    ASSERT_EQ(OpenWithRecorder(&b, f, rb), MMRESULT(MMSYSERR_NOERROR));
    DWORD volume = 0;
    EXPECT_EQ(waveOutGetVolume(a, &volume), MMRESULT(MMSYSERR_NOERROR));
    EXPECT_EQ(volume, 0xFFFFFFFFu) << "a new device plays at full volume";
    EXPECT_EQ(waveOutSetVolume(a, 0x12345678), MMRESULT(MMSYSERR_NOERROR));
    EXPECT_EQ(waveOutGetVolume(a, &volume), MMRESULT(MMSYSERR_NOERROR));
    EXPECT_EQ(volume, 0x12345678u);
    EXPECT_EQ(waveOutGetVolume(b, &volume), MMRESULT(MMSYSERR_NOERROR));
    EXPECT_EQ(volume, 0xFFFFFFFFu) << "volumes are per device";
    EXPECT_EQ(waveOutGetVolume(a, nullptr), MMRESULT(MMSYSERR_INVALPARAM));
    EXPECT_EQ(waveOutClose(a), MMRESULT(MMSYSERR_NOERROR));
    EXPECT_EQ(waveOutClose(b), MMRESULT(MMSYSERR_NOERROR));
}

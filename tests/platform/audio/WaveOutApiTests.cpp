// Wave-out argument, format, handle and volume checks.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "ScopedEnv.h"
#include "TestSupport.h"
#include "WaveOutTestSupport.h"

using namespace orvi::test;

namespace {

// Opens the device and closes it again. A refused open leaves the handle
// alone and notifies nobody.
MMRESULT OpenAndClose(const WAVEFORMATEX* format, UINT id = WAVE_MAPPER,
                      DWORD flags = CALLBACK_FUNCTION) {
    WaveRecorder recorder;
    HWAVEOUT device = nullptr;
    const MMRESULT r =
        waveOutOpen(&device, id, format, recorder.Callback(), recorder.Instance(), flags);
    if (r == MMSYSERR_NOERROR)
        EXPECT_EQ(waveOutClose(device), MMRESULT(MMSYSERR_NOERROR));
    else
        EXPECT_TRUE(device == nullptr && recorder.All().empty()) << r;
    return r;
}

}  // namespace

TEST(waveOutOpen, OpensWhatItCanPlayAndRefusesTheRest) {
    ScopedEnv audio("ORVI_AUDIO", "null");
    for (WORD bits : {8, 16, 24, 32})
        for (WORD channels = 1; channels <= 8; ++channels) {
            const WAVEFORMATEX f = PcmFormat(channels, 44100, bits);
            EXPECT_EQ(OpenAndClose(&f), MMRESULT(MMSYSERR_NOERROR)) << bits << "x" << channels;
        }
    const WAVEFORMATEX f = PcmFormat(1, 768000, 8);
    EXPECT_EQ(OpenAndClose(&f, 0), MMRESULT(MMSYSERR_NOERROR)) << "device 0 is the mapper";
    EXPECT_EQ(OpenAndClose(&f, 1), MMRESULT(MMSYSERR_BADDEVICEID));
    EXPECT_EQ(OpenAndClose(nullptr), MMRESULT(MMSYSERR_INVALPARAM));
    for (DWORD flags : {0x0u, 0x00020000u, 0x00050000u, CALLBACK_FUNCTION | 0x1u})
        EXPECT_EQ(OpenAndClose(&f, WAVE_MAPPER, flags), MMRESULT(MMSYSERR_INVALFLAG)) << flags;
    WaveRecorder recorder;
    HWAVEOUT device = nullptr;
    const DWORD_PTR proc = recorder.Callback(), instance = recorder.Instance();
    EXPECT_EQ(waveOutOpen(nullptr, WAVE_MAPPER, &f, proc, instance, CALLBACK_FUNCTION),
              MMRESULT(MMSYSERR_INVALPARAM));
    EXPECT_EQ(waveOutOpen(&device, WAVE_MAPPER, &f, 0, instance, CALLBACK_FUNCTION),
              MMRESULT(MMSYSERR_INVALPARAM));
    EXPECT_TRUE(device == nullptr && recorder.All().empty());

    WAVEFORMATEX notPcm = PcmFormat(2, 22050, 16), badAlign = notPcm, badRate = notPcm;
    notPcm.wFormatTag = 2;
    badAlign.nBlockAlign = 2;
    badRate.nAvgBytesPerSec = 22050;
    const WAVEFORMATEX refused[] = {notPcm, badAlign, badRate, PcmFormat(1, 22050, 12),
                                    PcmFormat(0, 22050, 16), PcmFormat(9, 22050, 16),
                                    PcmFormat(2, 0, 16), PcmFormat(1, 768001, 8)};
    for (const WAVEFORMATEX& bad : refused)
        EXPECT_EQ(OpenAndClose(&bad), MMRESULT(WAVERR_BADFORMAT)) << "format " << &bad - refused;
}

class waveOutOpenSink : public DeviceRootTest {};

TEST_F(waveOutOpenSink, FailsWithoutADriver) {
    const WAVEFORMATEX f = PcmFormat(1, 8000, 8);
    const std::string missing = m_root.HostPath() + "/no/such/folder/out.wav";
    // An unknown sink, a file sink without a path, and one it cannot create.
    for (const std::string& sink : {std::string("speakers"), std::string("file:"), "file:" + missing}) {
        ScopedEnv audio("ORVI_AUDIO", sink.c_str());
        EXPECT_EQ(OpenAndClose(&f), MMRESULT(MMSYSERR_NODRIVER)) << sink;
    }
    EXPECT_FALSE(std::filesystem::exists(missing));
}

// WOM_OPEN comes from the opening thread, WOM_DONE from the device's own,
// with the header done, also for a buffer written again once returned, and
// WOM_CLOSE last from the closing thread. Then the handle is as invalid as
// one that never was.
TEST(waveOutClose, ComesLastFromItsThreadAndInvalidatesTheHandle) {
    ScopedEnv audio("ORVI_AUDIO", "null");
    WaveRecorder recorder;
    HWAVEOUT closed = nullptr;
    ASSERT_EQ(recorder.Open(&closed, PcmFormat(1, 8000, 8)), MMRESULT(MMSYSERR_NOERROR));
    WaveBuffer played(80);
    for (size_t round = 1; round <= 2; ++round) {
        ASSERT_EQ(PrepareAndWrite(closed, played), MMRESULT(MMSYSERR_NOERROR));
        ASSERT_TRUE(recorder.WaitForDone(round));
    }
    std::thread::id closer;
    std::thread([&] {
        closer = std::this_thread::get_id();
        EXPECT_EQ(waveOutClose(closed), MMRESULT(MMSYSERR_NOERROR));
    }).join();
    const auto all = recorder.All();
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[0].message, UINT(WOM_OPEN));
    EXPECT_EQ(all[0].thread, std::this_thread::get_id());
    for (size_t i : {1, 2}) {
        EXPECT_EQ(all[i].message, UINT(WOM_DONE));
        EXPECT_EQ(all[i].header, &played.header);
        EXPECT_EQ(all[i].flags, DWORD(WHDR_DONE | WHDR_PREPARED));
        EXPECT_TRUE(all[i].thread != all[0].thread && all[i].thread != closer);
    }
    EXPECT_EQ(all[1].thread, all[2].thread);
    EXPECT_EQ(all[3].message, UINT(WOM_CLOSE));
    EXPECT_EQ(all[3].thread, closer);

    const HWAVEOUT bogus = reinterpret_cast<HWAVEOUT>(uintptr_t(0x1234));
    const HWAVEOUT mapper = reinterpret_cast<HWAVEOUT>(uintptr_t(WAVE_MAPPER));
    for (HWAVEOUT h : {closed, bogus, HWAVEOUT(nullptr), mapper}) {
        WaveBuffer buffer(16);
        DWORD volume = 0;
        EXPECT_EQ(waveOutClose(h), MMRESULT(MMSYSERR_INVALHANDLE));
        EXPECT_EQ(waveOutPrepareHeader(h, &buffer.header, kHdr), MMRESULT(MMSYSERR_INVALHANDLE));
        EXPECT_EQ(waveOutUnprepareHeader(h, &buffer.header, kHdr), MMRESULT(MMSYSERR_INVALHANDLE));
        EXPECT_EQ(waveOutWrite(h, &buffer.header, kHdr), MMRESULT(MMSYSERR_INVALHANDLE));
        EXPECT_EQ(waveOutReset(h), MMRESULT(MMSYSERR_INVALHANDLE));
        EXPECT_EQ(waveOutSetVolume(h, 0), MMRESULT(MMSYSERR_INVALHANDLE));
        EXPECT_EQ(waveOutGetVolume(h, &volume), MMRESULT(MMSYSERR_INVALHANDLE));
        EXPECT_EQ(buffer.header.dwFlags, 0u);
    }
    EXPECT_EQ(recorder.All().size(), 4u);
}

TEST(waveOutWrite, RequiresAPreparedHeaderOfTheRightSize) {
    ScopedEnv audio("ORVI_AUDIO", "null");
    WaveRecorder recorder;
    HWAVEOUT device = nullptr;
    ASSERT_EQ(recorder.Open(&device, PcmFormat(1, 8000, 8)), MMRESULT(MMSYSERR_NOERROR));
    WaveBuffer buffer(8), noData(8);
    noData.header.lpData = nullptr;
    WAVEHDR* h = &buffer.header;
    EXPECT_EQ(waveOutWrite(device, h, kHdr), MMRESULT(WAVERR_UNPREPARED));
    EXPECT_EQ(waveOutPrepareHeader(device, h, kHdr - 1), MMRESULT(MMSYSERR_INVALPARAM));
    EXPECT_EQ(waveOutPrepareHeader(device, nullptr, kHdr), MMRESULT(MMSYSERR_INVALPARAM));
    EXPECT_EQ(waveOutPrepareHeader(device, &noData.header, kHdr), MMRESULT(MMSYSERR_INVALPARAM));
    for (int twice = 0; twice < 2; ++twice) {
        EXPECT_EQ(waveOutPrepareHeader(device, h, kHdr), MMRESULT(MMSYSERR_NOERROR)) << twice;
        EXPECT_EQ(h->dwFlags, DWORD(WHDR_PREPARED));
    }
    EXPECT_EQ(waveOutWrite(device, h, kHdr + 4), MMRESULT(MMSYSERR_INVALPARAM));
    for (int twice = 0; twice < 2; ++twice) {
        EXPECT_EQ(waveOutUnprepareHeader(device, h, kHdr), MMRESULT(MMSYSERR_NOERROR)) << twice;
        EXPECT_EQ(h->dwFlags, 0u);
    }
    EXPECT_EQ(waveOutWrite(device, h, kHdr), MMRESULT(WAVERR_UNPREPARED));
    EXPECT_TRUE(recorder.Done().empty());
    EXPECT_EQ(waveOutClose(device), MMRESULT(MMSYSERR_NOERROR));
}

TEST(waveOutSetVolume, RoundTripsPerDevice) {
    ScopedEnv audio("ORVI_AUDIO", "null");
    WaveRecorder ra, rb;
    HWAVEOUT a = nullptr, b = nullptr;
    ASSERT_EQ(ra.Open(&a, PcmFormat(2, 8000, 16)), MMRESULT(MMSYSERR_NOERROR));
    ASSERT_EQ(rb.Open(&b, PcmFormat(2, 8000, 16)), MMRESULT(MMSYSERR_NOERROR));
    DWORD va = 0, vb = 0;
    EXPECT_EQ(waveOutGetVolume(a, &va), MMRESULT(MMSYSERR_NOERROR));
    EXPECT_EQ(va, 0xFFFFFFFFu) << "a new device plays at full volume";
    EXPECT_EQ(waveOutSetVolume(a, 0x12345678), MMRESULT(MMSYSERR_NOERROR));
    EXPECT_EQ(waveOutGetVolume(a, &va), MMRESULT(MMSYSERR_NOERROR));
    EXPECT_EQ(waveOutGetVolume(b, &vb), MMRESULT(MMSYSERR_NOERROR));
    EXPECT_EQ(va, 0x12345678u);
    EXPECT_EQ(vb, 0xFFFFFFFFu) << "volumes are per device";
    EXPECT_EQ(waveOutGetVolume(a, nullptr), MMRESULT(MMSYSERR_INVALPARAM));
    EXPECT_EQ(waveOutClose(a), MMRESULT(MMSYSERR_NOERROR));
    EXPECT_EQ(waveOutClose(b), MMRESULT(MMSYSERR_NOERROR));
}

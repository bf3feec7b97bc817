// Wave-out entry points: argument and handle checks and the table of open
// devices. See mmsystem.h for the contract.
#include <mutex>
#include <new>
#include <unordered_map>

#include "WaveOutDevice.h"

namespace orvi::audio {
namespace {

// Handles come from a counter and are never reused within the process, so a
// stale handle answers MMSYSERR_INVALHANDLE rather than reaching a newer
// device.
class DeviceTable {
public:
    HWAVEOUT Insert(std::shared_ptr<WaveOutDevice> device) {
        std::lock_guard lock(m_mutex);
        m_next += 4;
        m_devices.emplace(m_next, std::move(device));
        return reinterpret_cast<HWAVEOUT>(m_next);
    }
    std::shared_ptr<WaveOutDevice> Find(HWAVEOUT h) {
        std::lock_guard lock(m_mutex);
        auto it = m_devices.find(reinterpret_cast<uintptr_t>(h));
        return it == m_devices.end() ? nullptr : it->second;
    }
    void Remove(HWAVEOUT h) {
        std::lock_guard lock(m_mutex);
        m_devices.erase(reinterpret_cast<uintptr_t>(h));
    }

private:
    std::mutex m_mutex;
    uintptr_t m_next = 0x9000;
    std::unordered_map<uintptr_t, std::shared_ptr<WaveOutDevice>> m_devices;
};

DeviceTable& Devices() {
    static DeviceTable table;
    return table;
}

bool HeaderOk(const WAVEHDR* pwh, UINT cbwh) {
    return pwh && cbwh == sizeof(WAVEHDR) && pwh->lpData;
}

}  // namespace
}  // namespace orvi::audio

using namespace orvi::audio;

MMRESULT waveOutOpen(LPHWAVEOUT phwo, UINT uDeviceID, LPCWAVEFORMATEX pwfx, DWORD_PTR dwCallback,
                     DWORD_PTR dwInstance, DWORD fdwOpen) {
    if (fdwOpen != CALLBACK_FUNCTION)
        return MMSYSERR_INVALFLAG;
    if (uDeviceID != 0 && uDeviceID != WAVE_MAPPER)
        return MMSYSERR_BADDEVICEID;
    if (!phwo || !pwfx || !dwCallback)
        return MMSYSERR_INVALPARAM;
    PcmFormat format;
    if (const MMRESULT r = CheckPcmFormat(pwfx, &format); r != MMSYSERR_NOERROR)
        return r;
    MMRESULT result = MMSYSERR_NOERROR;
    std::unique_ptr<AudioSink> sink = OpenAudioSink(format, &result);
    if (!sink)
        return result;
    std::shared_ptr<WaveOutDevice> device;
    try {
        device = std::make_shared<WaveOutDevice>(format, std::move(sink),
                                                 reinterpret_cast<LPWAVECALLBACK>(dwCallback),
                                                 dwInstance);
    } catch (const std::bad_alloc&) {
        return MMSYSERR_NOMEM;
    }
    const HWAVEOUT handle = Devices().Insert(device);
    *phwo = handle;
    device->Start(handle);
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutClose(HWAVEOUT hwo) {
    auto device = Devices().Find(hwo);
    if (!device)
        return MMSYSERR_INVALHANDLE;
    if (const MMRESULT r = device->BeginClose(); r != MMSYSERR_NOERROR)
        return r;
    Devices().Remove(hwo);
    device->EndClose();
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutPrepareHeader(HWAVEOUT hwo, LPWAVEHDR pwh, UINT cbwh) {
    auto device = Devices().Find(hwo);
    if (!device)
        return MMSYSERR_INVALHANDLE;
    return HeaderOk(pwh, cbwh) ? device->Prepare(pwh) : MMSYSERR_INVALPARAM;
}

MMRESULT waveOutUnprepareHeader(HWAVEOUT hwo, LPWAVEHDR pwh, UINT cbwh) {
    auto device = Devices().Find(hwo);
    if (!device)
        return MMSYSERR_INVALHANDLE;
    return pwh && cbwh == sizeof(WAVEHDR) ? device->Unprepare(pwh) : MMSYSERR_INVALPARAM;
}

MMRESULT waveOutWrite(HWAVEOUT hwo, LPWAVEHDR pwh, UINT cbwh) {
    auto device = Devices().Find(hwo);
    if (!device)
        return MMSYSERR_INVALHANDLE;
    return HeaderOk(pwh, cbwh) ? device->Write(pwh) : MMSYSERR_INVALPARAM;
}

MMRESULT waveOutReset(HWAVEOUT hwo) {
    auto device = Devices().Find(hwo);
    return device ? device->Reset() : MMSYSERR_INVALHANDLE;
}

MMRESULT waveOutSetVolume(HWAVEOUT hwo, DWORD dwVolume) {
    auto device = Devices().Find(hwo);
    return device ? device->SetVolume(dwVolume) : MMSYSERR_INVALHANDLE;
}

MMRESULT waveOutGetVolume(HWAVEOUT hwo, LPDWORD pdwVolume) {
    auto device = Devices().Find(hwo);
    if (!device)
        return MMSYSERR_INVALHANDLE;
    return pdwVolume ? device->GetVolume(pdwVolume) : MMSYSERR_INVALPARAM;
}

// GPS Intermediate Driver entry points: argument and handle checks, the
// table of open devices, the gpsd endpoint. See gpsapi.h for the contract.
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>

#include "GpsdDevice.h"
#include "kernel/internal.h"
#include "kernelapi.h"

namespace orvi::gps {
namespace {

constexpr char kDefaultHost[] = "127.0.0.1";
constexpr char kDefaultPort[] = "2947";

struct Endpoint {
    std::string host = kDefaultHost;
    std::string port = kDefaultPort;
};

// $ORVI_GPSD as "host:port", "host" or ":port"; else $ORVI_GPSD_PORT.
Endpoint GpsdEndpoint() {
    Endpoint endpoint;
    if (const char* value = std::getenv("ORVI_GPSD"); value && *value) {
        const std::string text = value;
        const size_t colon = text.rfind(':');
        if (colon == std::string::npos) {
            endpoint.host = text;
        } else {
            if (colon > 0)
                endpoint.host = text.substr(0, colon);
            if (colon + 1 < text.size())
                endpoint.port = text.substr(colon + 1);
        }
    } else if (const char* port = std::getenv("ORVI_GPSD_PORT"); port && *port) {
        endpoint.port = port;
    }
    return endpoint;
}

// Handles come from a counter and are never reused within the process.
class DeviceTable {
public:
    HANDLE Insert(std::shared_ptr<GpsdDevice> device) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_next += 4;
        m_devices.emplace(m_next, std::move(device));
        return reinterpret_cast<HANDLE>(m_next);
    }
    std::shared_ptr<GpsdDevice> Find(HANDLE h) {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_devices.find(reinterpret_cast<uintptr_t>(h));
        return it == m_devices.end() ? nullptr : it->second;
    }
    std::shared_ptr<GpsdDevice> Remove(HANDLE h) {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_devices.find(reinterpret_cast<uintptr_t>(h));
        if (it == m_devices.end())
            return nullptr;
        std::shared_ptr<GpsdDevice> device = std::move(it->second);
        m_devices.erase(it);
        return device;
    }
    // The most recently opened device, or null.
    std::shared_ptr<GpsdDevice> Newest() {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::shared_ptr<GpsdDevice> newest;
        uintptr_t newestKey = 0;
        for (const auto& [key, device] : m_devices) {
            if (key > newestKey) {
                newestKey = key;
                newest = device;
            }
        }
        return newest;
    }

private:
    std::mutex m_mutex;
    uintptr_t m_next = 0x7000;
    std::unordered_map<uintptr_t, std::shared_ptr<GpsdDevice>> m_devices;
};

DeviceTable& Devices() {
    static DeviceTable table;
    return table;
}

template <size_t N>
void CopyText(const std::string& text, WCHAR (&field)[N]) {
    const std::u16string wide = orvi::kernel::Utf8ToUtf16(text);
    const size_t count = wide.size() < N ? wide.size() : N - 1;
    std::memcpy(field, wide.data(), count * sizeof(WCHAR));
    field[count] = 0;
}

}  // namespace
}  // namespace orvi::gps

using namespace orvi::gps;

HANDLE GPSOpenDevice(HANDLE hNewLocationData, HANDLE hDeviceStateChange, LPCWSTR szDeviceName,
                     DWORD dwFlags) {
    if (szDeviceName || dwFlags != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const Endpoint endpoint = GpsdEndpoint();
    DWORD error = ERROR_SUCCESS;
    std::shared_ptr<GpsdDevice> device =
        GpsdDevice::Open(endpoint.host, endpoint.port, hNewLocationData, hDeviceStateChange, &error);
    if (!device) {
        SetLastError(error);
        return nullptr;
    }
    return Devices().Insert(std::move(device));
}

DWORD GPSCloseDevice(HANDLE hGPSDevice) {
    std::shared_ptr<GpsdDevice> device = Devices().Remove(hGPSDevice);
    if (!device)
        return ERROR_INVALID_HANDLE;
    device->Close();
    return ERROR_SUCCESS;
}

DWORD GPSGetPosition(HANDLE hGPSDevice, GPS_POSITION* pGPSPosition, DWORD dwMaximumAge,
                     DWORD dwFlags) {
    if (!pGPSPosition || pGPSPosition->dwVersion != GPS_VERSION_1 ||
        pGPSPosition->dwSize != sizeof(GPS_POSITION) || dwFlags != 0)
        return ERROR_INVALID_PARAMETER;
    std::shared_ptr<GpsdDevice> device = Devices().Find(hGPSDevice);
    if (!device)
        return ERROR_INVALID_HANDLE;
    device->LatestPosition(*pGPSPosition, dwMaximumAge);
    return ERROR_SUCCESS;
}

DWORD GPSGetDeviceState(GPS_DEVICE* pGPSDevice) {
    if (!pGPSDevice || pGPSDevice->dwVersion != GPS_VERSION_1 ||
        pGPSDevice->dwSize != sizeof(GPS_DEVICE))
        return ERROR_INVALID_PARAMETER;
    std::memset(reinterpret_cast<BYTE*>(pGPSDevice) + 2 * sizeof(DWORD), 0,
                sizeof(GPS_DEVICE) - 2 * sizeof(DWORD));
    const std::shared_ptr<GpsdDevice> device = Devices().Newest();
    pGPSDevice->dwServiceState = device ? SERVICE_STATE_ON : SERVICE_STATE_OFF;
    pGPSDevice->dwDeviceState = device && device->Connected() ? SERVICE_STATE_ON : SERVICE_STATE_OFF;
    CopyText("GPD0:", pGPSDevice->szGPSMultiplexPrefix);
    if (device) {
        pGPSDevice->ftLastDataReceived = device->LastDataReceived();
        CopyText("gpsd", pGPSDevice->szGPSDriverPrefix);
        CopyText("gpsd at " + device->Endpoint(), pGPSDevice->szGPSFriendlyName);
    }
    return ERROR_SUCCESS;
}

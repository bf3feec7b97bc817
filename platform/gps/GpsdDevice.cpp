// gpsd client of the GPS Intermediate Driver, over libgps.
#include "GpsdDevice.h"

#include <gps.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>

#include <sys/socket.h>

#include "kernel/internal.h"
#include "kernelapi.h"

namespace orvi::gps {
namespace {

using Clock = std::chrono::system_clock;

// Reader poll interval: bounds how long GPSCloseDevice waits for the thread.
constexpr int kPollMicroseconds = 50000;
constexpr double kKnotsPerMetrePerSecond = 1.943844492;
constexpr int64_t kUnixToFileTimeSeconds = 11644473600;

SYSTEMTIME ToSystemTime(const timespec& ts) {
    std::tm utc{};
    const time_t seconds = ts.tv_sec;
    gmtime_r(&seconds, &utc);
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(utc.tm_year + 1900);
    st.wMonth = static_cast<WORD>(utc.tm_mon + 1);
    st.wDayOfWeek = static_cast<WORD>(utc.tm_wday);
    st.wDay = static_cast<WORD>(utc.tm_mday);
    st.wHour = static_cast<WORD>(utc.tm_hour);
    st.wMinute = static_cast<WORD>(utc.tm_min);
    st.wSecond = static_cast<WORD>(utc.tm_sec);
    st.wMilliseconds = static_cast<WORD>(ts.tv_nsec / 1000000);
    return st;
}

// The device record for one TPV report. libgps leaves a field NaN when the
// report did not carry it, and the time zero.
GPS_POSITION ToPosition(const gps_fix_t& fix) {
    GPS_POSITION p{};
    p.dwVersion = GPS_VERSION_1;
    p.dwSize = sizeof(GPS_POSITION);
    if (fix.time.tv_sec != 0) {
        p.stUTCTime = ToSystemTime(fix.time);
        p.dwValidFields |= GPS_VALID_UTC_TIME;
    }
    struct Field {
        double value;
        DWORD flag;
    };
    const Field fields[] = {{fix.latitude, GPS_VALID_LATITUDE},
                            {fix.longitude, GPS_VALID_LONGITUDE},
                            {fix.speed, GPS_VALID_SPEED},
                            {fix.track, GPS_VALID_HEADING},
                            {fix.magnetic_var, GPS_VALID_MAGNETIC_VARIATION},
                            {fix.altMSL, GPS_VALID_ALTITUDE_WRT_SEA_LEVEL},
                            {fix.altHAE, GPS_VALID_ALTITUDE_WRT_ELLIPSOID}};
    for (const Field& f : fields) {
        if (std::isfinite(f.value))
            p.dwValidFields |= f.flag;
    }
    const auto valid = [&](DWORD flag) { return (p.dwValidFields & flag) != 0; };
    p.dblLatitude = valid(GPS_VALID_LATITUDE) ? fix.latitude : 0;
    p.dblLongitude = valid(GPS_VALID_LONGITUDE) ? fix.longitude : 0;
    p.flSpeed = valid(GPS_VALID_SPEED) ? static_cast<float>(fix.speed * kKnotsPerMetrePerSecond) : 0;
    p.flHeading = valid(GPS_VALID_HEADING) ? static_cast<float>(fix.track) : 0;
    p.dblMagneticVariation = valid(GPS_VALID_MAGNETIC_VARIATION) ? fix.magnetic_var : 0;
    p.flAltitudeWRTSeaLevel = valid(GPS_VALID_ALTITUDE_WRT_SEA_LEVEL) ? static_cast<float>(fix.altMSL) : 0;
    p.flAltitudeWRTEllipsoid = valid(GPS_VALID_ALTITUDE_WRT_ELLIPSOID) ? static_cast<float>(fix.altHAE) : 0;
    p.FixType = fix.mode == MODE_3D ? GPS_FIX_3D : fix.mode == MODE_2D ? GPS_FIX_2D : GPS_FIX_UNKNOWN;
    if (fix.mode >= MODE_2D)
        p.FixQuality = fix.status == STATUS_DGPS_FIX ? GPS_FIX_QUALITY_DGPS : GPS_FIX_QUALITY_GPS;
    return p;
}

bool IsPositionReport(const char* message) {
    static constexpr char kTpv[] = "{\"class\":\"TPV\"";
    return std::strncmp(message, kTpv, sizeof(kTpv) - 1) == 0;
}

}  // namespace

GpsdDevice::GpsdDevice(HANDLE hNewLocationData, HANDLE hDeviceStateChange, std::string endpoint)
    : m_hNewLocationData(hNewLocationData),
      m_hDeviceStateChange(hDeviceStateChange),
      m_endpoint(std::move(endpoint)),
      m_data(std::make_unique<gps_data_t>()) {}

GpsdDevice::~GpsdDevice() { Close(); }

std::shared_ptr<GpsdDevice> GpsdDevice::Open(const std::string& host, const std::string& port,
                                             HANDLE hNewLocationData, HANDLE hDeviceStateChange,
                                             DWORD* error) {
    std::shared_ptr<GpsdDevice> device(
        new GpsdDevice(hNewLocationData, hDeviceStateChange, host + ":" + port));
    if (gps_open(host.c_str(), port.c_str(), device->m_data.get()) != 0) {
        orvi::kernel::Trace("GPSOpenDevice: gpsd at %s not reachable: %s",
                            device->m_endpoint.c_str(), gps_errstr(errno));
        *error = ERROR_DEV_NOT_EXIST;
        return nullptr;
    }
    if (gps_stream(device->m_data.get(), WATCH_ENABLE | WATCH_JSON, nullptr) != 0) {
        orvi::kernel::Trace("GPSOpenDevice: gpsd at %s refused the watch",
                            device->m_endpoint.c_str());
        gps_close(device->m_data.get());
        *error = ERROR_DEV_NOT_EXIST;
        return nullptr;
    }
    device->m_connected = true;
    if (hDeviceStateChange)
        SetEvent(hDeviceStateChange);
    device->m_reader = std::thread([raw = device.get()] { raw->ReadLoop(); });
    return device;
}

void GpsdDevice::Close() {
    std::call_once(m_closeOnce, [this] {
        m_stop = true;
        if (m_reader.joinable()) {
            m_reader.join();
            gps_close(m_data.get());
        }
    });
}

void GpsdDevice::ReadLoop() {
    while (!m_stop) {
        errno = 0;
        if (!gps_waiting(m_data.get(), kPollMicroseconds)) {
            if (errno == 0 || errno == EINTR)
                continue;
            break;
        }
        // libgps copies the start of the object it read; the class name is
        // all that is looked at.
        char message[128] = {};
        const int read = gps_read(m_data.get(), message, sizeof(message));
        if (read > 0) {
            if (IsPositionReport(message))
                OnReport();
            continue;
        }
        // libgps answers 0 both for half a line and for the end of the
        // stream; only a peek tells them apart.
        char byte;
        if (read < 0 || recv(m_data->gps_fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0)
            break;
    }
    if (m_stop)
        return;
    orvi::kernel::Trace("GPS: lost gpsd at %s", m_endpoint.c_str());
    m_connected = false;
    if (m_hDeviceStateChange)
        SetEvent(m_hDeviceStateChange);
}

void GpsdDevice::OnReport() {
    const GPS_POSITION position = ToPosition(m_data->fix);
    const Clock::time_point arrival = Clock::now();
    Clock::time_point fixTime = arrival;
    if (position.dwValidFields & GPS_VALID_UTC_TIME) {
        const auto since = std::chrono::seconds(m_data->fix.time.tv_sec) +
                           std::chrono::nanoseconds(m_data->fix.time.tv_nsec);
        fixTime = Clock::time_point(std::chrono::duration_cast<Clock::duration>(since));
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_position = position;
        m_fixTime = fixTime;
        m_arrival = arrival;
    }
    if (m_hNewLocationData)
        SetEvent(m_hNewLocationData);
}

void GpsdDevice::LatestPosition(GPS_POSITION& position, DWORD maximumAgeMs) const {
    const DWORD version = position.dwVersion;
    const DWORD size = position.dwSize;
    Clock::time_point fixTime;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        position = m_position;
        fixTime = m_fixTime;
    }
    position.dwVersion = version;
    position.dwSize = size;
    const auto age = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - fixTime);
    if (age.count() > static_cast<int64_t>(maximumAgeMs))
        position.dwValidFields = 0;
}

FILETIME GpsdDevice::LastDataReceived() const {
    Clock::time_point arrival;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        arrival = m_arrival;
    }
    FILETIME ft{};
    if (arrival == Clock::time_point{})
        return ft;
    const auto units = std::chrono::duration_cast<std::chrono::nanoseconds>(arrival.time_since_epoch()).count() / 100 +
                       kUnixToFileTimeSeconds * 10000000;
    ft.dwLowDateTime = static_cast<DWORD>(units);
    ft.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(units) >> 32);
    return ft;
}

}  // namespace orvi::gps

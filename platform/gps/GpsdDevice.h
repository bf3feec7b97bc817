// One open GPS device: a connection to gpsd, the thread that reads its
// reports, and the latest position.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "gpsapi.h"

struct gps_data_t;

namespace orvi::gps {

class GpsdDevice {
public:
    // Connects to gpsd at host:port and starts the reader. On failure
    // returns null with *error set to the last-error code for the caller.
    static std::shared_ptr<GpsdDevice> Open(const std::string& host, const std::string& port,
                                            HANDLE hNewLocationData, HANDLE hDeviceStateChange,
                                            DWORD* error);
    ~GpsdDevice();
    GpsdDevice(const GpsdDevice&) = delete;
    GpsdDevice& operator=(const GpsdDevice&) = delete;

    // Stops the reader and closes the connection; the events are not touched
    // afterwards. Idempotent.
    void Close();

    // The latest report, with nothing valid when it is older than
    // maximumAgeMs; the caller has checked the record's version and size.
    void LatestPosition(GPS_POSITION& position, DWORD maximumAgeMs) const;

    bool Connected() const { return m_connected.load(); }
    // Arrival of the latest report (UTC); zero when none arrived.
    FILETIME LastDataReceived() const;
    const std::string& Endpoint() const { return m_endpoint; }

private:
    GpsdDevice(HANDLE hNewLocationData, HANDLE hDeviceStateChange, std::string endpoint);
    void ReadLoop();
    void OnReport();

    const HANDLE m_hNewLocationData;
    const HANDLE m_hDeviceStateChange;
    const std::string m_endpoint;
    std::unique_ptr<gps_data_t> m_data;  // used by the reader thread only
    std::thread m_reader;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_connected{false};
    std::once_flag m_closeOnce;

    mutable std::mutex m_mutex;  // guards the fields below
    GPS_POSITION m_position{};
    // Time of the fix: the report's, else its arrival.
    std::chrono::system_clock::time_point m_fixTime{};
    std::chrono::system_clock::time_point m_arrival{};
};

}  // namespace orvi::gps

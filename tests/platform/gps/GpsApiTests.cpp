// GPS Intermediate Driver against the fake gpsd.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>

#include "FakeGpsd.h"
#include "ScopedEnv.h"
#include "gpsapi.h"
#include "kernelapi.h"

using orvi::test::FakeGpsd;
using orvi::test::FakeTpv;
using orvi::test::ScopedEnv;
using namespace std::chrono_literals;

namespace {

constexpr DWORD kLatLon = GPS_VALID_LATITUDE | GPS_VALID_LONGITUDE;

class GpsTest : public ::testing::Test {
protected:
    GpsTest() : m_endpoint(m_gpsd.Endpoint()), m_env("ORVI_GPSD", m_endpoint.c_str()) {
        m_event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    }
    ~GpsTest() override { CloseHandle(m_event); }

    HANDLE Open(HANDLE stateEvent = nullptr) {
        HANDLE device = ::GPSOpenDevice(m_event, stateEvent, nullptr, 0);
        EXPECT_NE(device, nullptr) << "last error " << GetLastError();
        return device;
    }
    // Scripts one report and returns the position once it has arrived.
    GPS_POSITION Deliver(HANDLE device, const FakeTpv& report, DWORD maximumAge = 5000) {
        m_gpsd.SetScript({report}, 10ms, FakeGpsd::Repeat::Once);
        EXPECT_EQ(WaitForSingleObject(m_event, 5000), WAIT_OBJECT_0);
        GPS_POSITION position{};
        position.dwVersion = GPS_VERSION_1;
        position.dwSize = sizeof(position);
        EXPECT_EQ(::GPSGetPosition(device, &position, maximumAge, 0), DWORD(ERROR_SUCCESS));
        EXPECT_EQ(position.dwSize, sizeof(position));
        return position;
    }

    FakeGpsd m_gpsd;
    std::string m_endpoint;
    ScopedEnv m_env;
    HANDLE m_event = nullptr;
};

class GPSGetPosition : public GpsTest {};
class GPSOpenDevice : public GpsTest {};

GPS_DEVICE DeviceState() {
    GPS_DEVICE state{};
    state.dwVersion = GPS_VERSION_1;
    state.dwSize = sizeof(state);
    EXPECT_EQ(GPSGetDeviceState(&state), DWORD(ERROR_SUCCESS));
    return state;
}

}  // namespace

TEST_F(GPSGetPosition, FixCarriesLatitudeLongitudeAndTime) {
    HANDLE device = Open();
    FakeTpv fix;
    fix.lat = 37.78125;
    fix.lon = -122.4199;
    fix.altMSL = 12.5;
    const GPS_POSITION position = Deliver(device, fix);
    EXPECT_EQ(position.dwValidFields & kLatLon, kLatLon);
    EXPECT_TRUE(position.dwValidFields & GPS_VALID_UTC_TIME);
    EXPECT_TRUE(position.dwValidFields & GPS_VALID_ALTITUDE_WRT_SEA_LEVEL);
    EXPECT_FALSE(position.dwValidFields & GPS_VALID_SPEED);
    EXPECT_DOUBLE_EQ(position.dblLatitude, 37.78125);
    EXPECT_DOUBLE_EQ(position.dblLongitude, -122.4199);
    EXPECT_FLOAT_EQ(position.flAltitudeWRTSeaLevel, 12.5f);
    EXPECT_EQ(position.FixType, GPS_FIX_3D);
    SYSTEMTIME now;
    GetSystemTime(&now);
    EXPECT_EQ(position.stUTCTime.wYear, now.wYear);

    const GPS_DEVICE state = DeviceState();
    EXPECT_EQ(state.dwServiceState, DWORD(SERVICE_STATE_ON));
    EXPECT_EQ(state.dwDeviceState, DWORD(SERVICE_STATE_ON));
    EXPECT_NE(state.ftLastDataReceived.dwHighDateTime, 0u);
    EXPECT_EQ(GPSCloseDevice(device), DWORD(ERROR_SUCCESS));
}

TEST_F(GPSGetPosition, MaskFollowsEachReport) {
    HANDLE device = Open();
    FakeTpv fix;
    fix.lat = 10;
    fix.lon = 20;
    EXPECT_EQ(Deliver(device, fix).dwValidFields & kLatLon, kLatLon);

    FakeTpv latitudeOnly;
    latitudeOnly.lat = 11;
    latitudeOnly.mode = 2;
    GPS_POSITION position = Deliver(device, latitudeOnly);
    EXPECT_EQ(position.dwValidFields & kLatLon, DWORD(GPS_VALID_LATITUDE));
    EXPECT_DOUBLE_EQ(position.dblLatitude, 11);

    FakeTpv noFix;  // no time: its age counts from its arrival
    noFix.mode = 1;
    noFix.time = "";
    position = Deliver(device, noFix);
    EXPECT_EQ(position.dwValidFields & (kLatLon | GPS_VALID_UTC_TIME), 0u);
    EXPECT_EQ(position.FixType, GPS_FIX_UNKNOWN);
    EXPECT_EQ(GPSCloseDevice(device), DWORD(ERROR_SUCCESS));
}

TEST_F(GPSGetPosition, FixOlderThanMaximumAgeIsNotValid) {
    HANDLE device = Open();
    FakeTpv old;
    old.lat = 1;
    old.lon = 2;
    old.time = FakeGpsd::IsoTime(std::chrono::system_clock::now() - 60s);
    EXPECT_EQ(Deliver(device, old, 5000).dwValidFields, 0u);
    GPS_POSITION position{};
    position.dwVersion = GPS_VERSION_1;
    position.dwSize = sizeof(position);
    EXPECT_EQ(::GPSGetPosition(device, &position, 600000, 0), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(position.dwValidFields & kLatLon, kLatLon);
    EXPECT_EQ(GPSCloseDevice(device), DWORD(ERROR_SUCCESS));
}

TEST_F(GPSGetPosition, RejectsBadRecordsAndHandles) {
    HANDLE device = Open();
    GPS_POSITION position{};
    position.dwVersion = GPS_VERSION_1;
    position.dwSize = 340;
    EXPECT_EQ(::GPSGetPosition(device, &position, 5000, 0), DWORD(ERROR_INVALID_PARAMETER));
    position.dwSize = sizeof(position);
    position.dwVersion = 2;
    EXPECT_EQ(::GPSGetPosition(device, &position, 5000, 0), DWORD(ERROR_INVALID_PARAMETER));
    position.dwVersion = GPS_VERSION_1;
    EXPECT_EQ(::GPSGetPosition(device, &position, 5000, 1), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(::GPSGetPosition(device, nullptr, 5000, 0), DWORD(ERROR_INVALID_PARAMETER));
    // Nothing received yet: success with nothing valid.
    EXPECT_EQ(::GPSGetPosition(device, &position, 5000, 0), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(position.dwValidFields, 0u);

    GPS_DEVICE state{};
    state.dwVersion = GPS_VERSION_1;
    state.dwSize = 200;
    EXPECT_EQ(GPSGetDeviceState(&state), DWORD(ERROR_INVALID_PARAMETER));

    EXPECT_EQ(GPSCloseDevice(device), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(::GPSGetPosition(device, &position, 5000, 0), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_EQ(GPSCloseDevice(device), DWORD(ERROR_INVALID_HANDLE));
}

TEST_F(GPSOpenDevice, SignalsNewLocationPerReportAndNothingInSilence) {
    HANDLE device = Open();
    EXPECT_EQ(WaitForSingleObject(m_event, 300), DWORD(WAIT_TIMEOUT));
    FakeTpv fix;
    fix.lat = 1;
    fix.lon = 2;
    m_gpsd.SetScript({fix}, 20ms, FakeGpsd::Repeat::Loop);
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(WaitForSingleObject(m_event, 5000), WAIT_OBJECT_0) << "report " << i;
    EXPECT_EQ(GPSCloseDevice(device), DWORD(ERROR_SUCCESS));
}

TEST_F(GPSOpenDevice, EachOpenHasItsOwnConnectionClosedByClose) {
    FakeTpv fix;
    fix.lat = 1;
    fix.lon = 2;
    m_gpsd.SetScript({fix}, 50ms);
    for (int round = 1; round <= 2; ++round) {
        HANDLE device = Open();
        EXPECT_EQ(WaitForSingleObject(m_event, 5000), WAIT_OBJECT_0);
        EXPECT_EQ(GPSCloseDevice(device), DWORD(ERROR_SUCCESS));
        EXPECT_TRUE(m_gpsd.WaitForOpenConnections(0, 5s));
        EXPECT_EQ(m_gpsd.ConnectionsAccepted(), round);
    }
    EXPECT_EQ(DeviceState().dwServiceState, DWORD(SERVICE_STATE_OFF));
}

TEST_F(GPSOpenDevice, LostGpsdSignalsStateChange) {
    HANDLE stateEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE device = Open(stateEvent);
    EXPECT_EQ(WaitForSingleObject(stateEvent, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(DeviceState().dwDeviceState, DWORD(SERVICE_STATE_ON));
    m_gpsd.Stop();
    EXPECT_EQ(WaitForSingleObject(stateEvent, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(DeviceState().dwDeviceState, DWORD(SERVICE_STATE_OFF));
    EXPECT_EQ(GPSCloseDevice(device), DWORD(ERROR_SUCCESS));
    CloseHandle(stateEvent);
}

TEST_F(GPSOpenDevice, FailsAtOnceWithoutGpsd) {
    std::string endpoint;
    {
        FakeGpsd gone;  // a port that was just free and is closed again
        endpoint = gone.Endpoint();
    }
    ScopedEnv env("ORVI_GPSD", endpoint.c_str());
    const auto start = std::chrono::steady_clock::now();
    SetLastError(0);
    EXPECT_EQ(::GPSOpenDevice(nullptr, nullptr, nullptr, 0), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_DEV_NOT_EXIST));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);

    SetLastError(0);
    EXPECT_EQ(::GPSOpenDevice(nullptr, nullptr, u"GPD0:", 0), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    SetLastError(0);
    EXPECT_EQ(::GPSOpenDevice(nullptr, nullptr, nullptr, 1), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

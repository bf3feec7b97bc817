#include "QueryGpsPosition.h"

#include "OrviDebug.h"
#include "gpsapi.h"

namespace {

constexpr DWORD kFixWaitMs = 5000;
constexpr DWORD kMaximumFixAgeMs = 5000;

// Reads the fix of an open device; logs what went wrong.
BOOL ReadFix(HANDLE device, double* longitude, double* latitude) {
    GPS_DEVICE state{};
    state.dwVersion = GPS_VERSION_1;
    state.dwSize = sizeof(GPS_DEVICE);
    if (DWORD result = GPSGetDeviceState(&state)) {
        Log(u"GPSGetDeviceState failed(0x%x)\r\n", result);
        return FALSE;
    }
    GPS_POSITION position{};
    position.dwVersion = state.dwVersion;
    position.dwSize = sizeof(GPS_POSITION);
    const DWORD both = GPS_VALID_LATITUDE | GPS_VALID_LONGITUDE;
    if (GPSGetPosition(device, &position, kMaximumFixAgeMs, 0) == ERROR_SUCCESS &&
        (position.dwValidFields & both) == both) {
        *longitude = position.dblLongitude;
        *latitude = position.dblLatitude;
        return TRUE;
    }
    Log(u"GPSGetPosition failed(0x%x)\r\n", 0xFFFFFFFFu);
    return FALSE;
}

}  // namespace

BOOL QueryGpsPosition(double* longitude, double* latitude) {
    HANDLE newLocation = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE device = GPSOpenDevice(newLocation, nullptr, nullptr, 0);
    if (!device) {
        Log(u"GPSOpenDevice failed(0x%x)\r\n", GetLastError());
        CloseHandle(newLocation);
        return FALSE;
    }
    BOOL found = FALSE;
    const DWORD wait = WaitForSingleObject(newLocation, kFixWaitMs);
    if (wait == WAIT_OBJECT_0)
        found = ReadFix(device, longitude, latitude);
    else
        Log(u"GPSOpenDevice failed(0x%x)\r\n", wait);
    GPSCloseDevice(device);
    CloseHandle(newLocation);
    return found;
}

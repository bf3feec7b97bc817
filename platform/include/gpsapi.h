// GPS Intermediate Driver: position reports from the host's gpsd.
//
// GPSOpenDevice connects to gpsd and asks it to stream JSON reports. gpsd is
// found at $ORVI_GPSD ("host:port", "host" or ":port"), else at 127.0.0.1 on
// port $ORVI_GPSD_PORT, else at 127.0.0.1:2947. The environment is read at
// every open. When gpsd cannot be reached the open fails at once: NULL with
// ERROR_DEV_NOT_EXIST as the last error, so that a caller waiting for a fix
// learns right away that there is no GPS rather than after its time-out.
//
// Every position report (gpsd's TPV object) is kept as the device's latest
// position and then signals hNewLocationData. The valid-fields mask says what
// the report carried: latitude and longitude each only when present, the
// UTC time only when the report had one. A fix's age is measured from the
// report's time (from its arrival when it had none); GPSGetPosition marks
// nothing valid in a fix older than dwMaximumAge. hDeviceStateChange is
// signalled once the device is on and again when gpsd goes away; the
// connection is not re-established after that (open the device again).
//
// Events are the platform's events (CreateEventW); the driver only calls
// SetEvent on them and never closes them, so they must stay open until
// GPSCloseDevice returns. Reports are read on a thread of the driver; the
// functions are thread-safe. GPS device handles are closed with
// GPSCloseDevice, not CloseHandle.
//
// Results are DWORD error codes: ERROR_SUCCESS, ERROR_INVALID_PARAMETER for
// a null record, a dwVersion other than GPS_VERSION_1, a dwSize other than
// the record's size or non-zero reserved flags, ERROR_INVALID_HANDLE for a
// handle that is not an open GPS device.
#pragma once

#include "winerror.h"
#include "wintypes.h"

#define GPS_VERSION_1 1
#define GPS_MAX_SATELLITES 12
#define GPS_MAX_PREFIX_NAME 16
#define GPS_MAX_FRIENDLY_NAME 64

// ---- valid fields of GPS_POSITION ---------------------------------------------
#define GPS_VALID_UTC_TIME 0x00000001
#define GPS_VALID_LATITUDE 0x00000002
#define GPS_VALID_LONGITUDE 0x00000004
#define GPS_VALID_SPEED 0x00000008
#define GPS_VALID_HEADING 0x00000010
#define GPS_VALID_MAGNETIC_VARIATION 0x00000020
#define GPS_VALID_ALTITUDE_WRT_SEA_LEVEL 0x00000040
#define GPS_VALID_ALTITUDE_WRT_ELLIPSOID 0x00000080
#define GPS_VALID_POSITION_DILUTION_OF_PRECISION 0x00000100
#define GPS_VALID_HORIZONTAL_DILUTION_OF_PRECISION 0x00000200
#define GPS_VALID_VERTICAL_DILUTION_OF_PRECISION 0x00000400
#define GPS_VALID_SATELLITE_COUNT 0x00000800
#define GPS_VALID_SATELLITES_USED_PRNS 0x00001000
#define GPS_VALID_SATELLITES_IN_VIEW 0x00002000
#define GPS_VALID_SATELLITES_IN_VIEW_PRNS 0x00004000
#define GPS_VALID_SATELLITES_IN_VIEW_ELEVATION 0x00008000
#define GPS_VALID_SATELLITES_IN_VIEW_AZIMUTH 0x00010000
#define GPS_VALID_SATELLITES_IN_VIEW_SIGNAL_TO_NOISE_RATIO 0x00020000

#define GPS_DATA_FLAGS_HARDWARE_OFF 0x00000001

enum GPS_FIX_TYPE : int { GPS_FIX_UNKNOWN = 0, GPS_FIX_2D, GPS_FIX_3D };
enum GPS_FIX_QUALITY : int { GPS_FIX_QUALITY_UNKNOWN = 0, GPS_FIX_QUALITY_GPS, GPS_FIX_QUALITY_DGPS };
enum GPS_FIX_SELECTION : int {
    GPS_FIX_SELECTION_UNKNOWN = 0,
    GPS_FIX_SELECTION_AUTO,
    GPS_FIX_SELECTION_MANUAL
};

// Latitude and longitude in degrees (south and west negative), speed in
// knots, heading and magnetic variation in degrees, altitudes in metres.
struct GPS_POSITION {
    DWORD dwVersion;
    DWORD dwSize;
    DWORD dwValidFields;
    DWORD dwFlags;
    SYSTEMTIME stUTCTime;
    double dblLatitude;
    double dblLongitude;
    float flSpeed;
    float flHeading;
    double dblMagneticVariation;
    float flAltitudeWRTSeaLevel;
    float flAltitudeWRTEllipsoid;
    GPS_FIX_QUALITY FixQuality;
    GPS_FIX_TYPE FixType;
    GPS_FIX_SELECTION SelectionType;
    float flPositionDilutionOfPrecision;
    float flHorizontalDilutionOfPrecision;
    float flVerticalDilutionOfPrecision;
    DWORD dwSatelliteCount;
    DWORD rgdwSatellitesUsedPRNs[GPS_MAX_SATELLITES];
    DWORD dwSatellitesInView;
    DWORD rgdwSatellitesInViewPRNs[GPS_MAX_SATELLITES];
    DWORD rgdwSatellitesInViewElevation[GPS_MAX_SATELLITES];
    DWORD rgdwSatellitesInViewAzimuth[GPS_MAX_SATELLITES];
    DWORD rgdwSatellitesInViewSignalToNoiseRatio[GPS_MAX_SATELLITES];
};
static_assert(sizeof(GPS_POSITION) == 344, "device record size");

// ---- device state ----------------------------------------------------------------
#define SERVICE_STATE_OFF 0
#define SERVICE_STATE_ON 1
#define SERVICE_STATE_STARTING_UP 2
#define SERVICE_STATE_SHUTTING_DOWN 3
#define SERVICE_STATE_UNLOADING 4
#define SERVICE_STATE_UNINITIALIZED 5
#define SERVICE_STATE_UNKNOWN 0xFFFFFFFF

// Reported for the most recently opened device of the process:
// dwServiceState is on while such a device is open, dwDeviceState while it
// keeps its connection to gpsd, ftLastDataReceived is the arrival (UTC) of
// its latest report (zero before the first). No device open: both off.
struct GPS_DEVICE {
    DWORD dwVersion;
    DWORD dwSize;
    DWORD dwServiceState;
    DWORD dwDeviceState;
    FILETIME ftLastDataReceived;
    WCHAR szGPSDriverPrefix[GPS_MAX_PREFIX_NAME];
    WCHAR szGPSMultiplexPrefix[GPS_MAX_PREFIX_NAME];
    WCHAR szGPSFriendlyName[GPS_MAX_FRIENDLY_NAME];
};
static_assert(sizeof(GPS_DEVICE) == 216, "device record size");

// szDeviceName and dwFlags are reserved: NULL and 0, else
// ERROR_INVALID_PARAMETER. Either event may be NULL.
HANDLE GPSOpenDevice(HANDLE hNewLocationData, HANDLE hDeviceStateChange, LPCWSTR szDeviceName,
                     DWORD dwFlags);
// Stops the reader, closes the connection; the events are not signalled
// after it returns.
DWORD GPSCloseDevice(HANDLE hGPSDevice);
// The latest position; a device without any report (or only reports older
// than dwMaximumAge milliseconds) answers ERROR_SUCCESS with dwValidFields 0.
// dwFlags is reserved (0).
DWORD GPSGetPosition(HANDLE hGPSDevice, GPS_POSITION* pGPSPosition, DWORD dwMaximumAge,
                     DWORD dwFlags);
DWORD GPSGetDeviceState(GPS_DEVICE* pGPSDevice);

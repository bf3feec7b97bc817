// The device's current position for location-dependent directory pages.
#pragma once

#include "platform.h"

// Opens the GPS device, waits up to five seconds for one location report and
// reads that fix. TRUE with both values in degrees; FALSE, logged, when there
// is no device, no report in time, or a fix without latitude and longitude.
// Blocks the calling thread; keeps nothing between calls.
BOOL QueryGpsPosition(double* longitude, double* latitude);

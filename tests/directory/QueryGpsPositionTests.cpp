// The position query against a stand-in gpsd: a fix, no fix in time, a fix
// without longitude, and no gpsd at all.
#include <gtest/gtest.h>

#include <chrono>

#include "FakeGpsd.h"
#include "LogTestSupport.h"
#include "QueryGpsPosition.h"
#include "ScopedEnv.h"

namespace orvi::test {
namespace {

using namespace std::chrono_literals;

class GpsQueryTest : public LoggedDeviceTest {
protected:
    FakeGpsd m_gpsd;
    ScopedEnv m_endpoint{"ORVI_GPSD", m_gpsd.Endpoint().c_str()};
    double m_longitude = 1000;
    double m_latitude = 1000;
};

using QueryGpsPosition_ = GpsQueryTest;

TEST_F(QueryGpsPosition_, FixGivesBothValuesAndEachQueryOpensAndClosesTheDevice) {
    FakeTpv fix;
    fix.lat = 37.7793;
    fix.lon = -122.4193;
    m_gpsd.SetScript({fix}, 100ms);
    ASSERT_TRUE(QueryGpsPosition(&m_longitude, &m_latitude));
    EXPECT_DOUBLE_EQ(-122.4193, m_longitude);
    EXPECT_DOUBLE_EQ(37.7793, m_latitude);
    ASSERT_TRUE(QueryGpsPosition(&m_longitude, &m_latitude));
    EXPECT_EQ(2, m_gpsd.ConnectionsAccepted());
    EXPECT_TRUE(m_gpsd.WaitForOpenConnections(0, 5s));
    EXPECT_EQ(u"", LogText());
}

TEST_F(QueryGpsPosition_, NoReportWithinFiveSecondsFailsWithTheTimeOutCode) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(QueryGpsPosition(&m_longitude, &m_latitude));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);  // bounded, not hanging
    EXPECT_EQ(u"GPSOpenDevice failed(0x102)\r\n", LogText());
    EXPECT_EQ(1000, m_longitude);
    EXPECT_TRUE(m_gpsd.WaitForOpenConnections(0, 5s));
}

TEST_F(QueryGpsPosition_, LatitudeWithoutLongitudeFails) {
    FakeTpv latitudeOnly;
    latitudeOnly.lat = 51.5;
    m_gpsd.SetScript({latitudeOnly}, 100ms);
    EXPECT_FALSE(QueryGpsPosition(&m_longitude, &m_latitude));
    EXPECT_EQ(u"GPSGetPosition failed(0xffffffff)\r\n", LogText());
    EXPECT_EQ(1000, m_latitude);
}

TEST_F(QueryGpsPosition_, NoGpsdFailsAtOnceWithTheOpenLine) {
    m_gpsd.Stop();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(QueryGpsPosition(&m_longitude, &m_latitude));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 4s);  // well before the fix wait
    EXPECT_EQ(u"GPSOpenDevice failed(0x37)\r\n", LogText());  // ERROR_DEV_NOT_EXIST
}

}  // namespace
}  // namespace orvi::test

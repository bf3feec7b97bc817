// COrviHttp::EnsureNetwork over a scripted Connection Manager.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "COrviHttp.h"
#include "DeviceInfo.h"
#include "LogTestSupport.h"
#include "ScopedEnv.h"
#include "TestHttpServer.h"
#include "TestSupport.h"
#include "connmgr.h"

using orvi::test::Ascii;
using orvi::test::HttpResponse;
using orvi::test::ScopedEnv;

namespace {

class EnsureNetwork : public orvi::test::DeviceRootTest {
protected:
    void SetUp() override { ASSERT_TRUE(SetLogFile(u"\\http.log")); }
    void TearDown() override { SetLogFile(nullptr); }

    std::u16string LogText() {
        return orvi::test::FromUtf16Bytes(orvi::test::ReadHostFile(m_root.Host("\\http.log")));
    }
    // The proxy the client's internet handle uses, or "direct".
    std::u16string InternetProxy() {
        alignas(8) BYTE buffer[1024] = {};
        DWORD size = sizeof(buffer);
        if (!InternetQueryOptionW(m_http.InternetHandle(), INTERNET_OPTION_PROXY, buffer, &size))
            return u"<none>";
        const auto* info = reinterpret_cast<const INTERNET_PROXY_INFO*>(buffer);
        if (info->dwAccessType == INTERNET_OPEN_TYPE_DIRECT)
            return u"direct";
        return info->lpszProxy ? info->lpszProxy : u"";
    }
    // "%08x-%08x-%08x-%08x" of the named destination, as the log writes it.
    static std::u16string DestinationGuid(const char16_t* name) {
        CONNMGR_DESTINATION_INFO info{};
        for (int i = 0; SUCCEEDED(ConnMgrEnumDestinations(i, &info)); ++i) {
            if (std::u16string(info.szDescription) != name)
                continue;
            DWORD tail;
            std::memcpy(&tail, info.guid.Data4, 4);
            char text[40];
            std::snprintf(text, sizeof(text), "%08x-%08x-%08x-%08x", unsigned(info.guid.Data1),
                          unsigned(info.guid.Data2), unsigned(info.guid.Data3), unsigned(tail));
            return Ascii(text);
        }
        return u"<missing>";
    }

    ScopedEnv m_noPeer{"ORVI_PPP_PEER", nullptr};
    COrviHttp m_http;
};

// The device without an address of its own, and a Connection Manager that
// cannot map the service's address.
class EnsureNetworkWithoutAddress : public EnsureNetwork {
protected:
    ScopedEnv m_noName{"ORVI_HOST_NAME", ""};
    ScopedEnv m_noMap{"ORVI_CONNMGR_MAPURL", "none"};
};

TEST_F(EnsureNetwork, DesktopPassThroughOpensDirectConnection) {
    ScopedEnv peer("ORVI_PPP_PEER", "169.254.2.1");
    ScopedEnv proxy("http_proxy", "http://127.0.0.1:9");  // would swallow every request
    orvi::test::TestHttpServer server;
    ASSERT_TRUE(server.Start());
    server.Route("/page", HttpResponse::Text("ok"));
    EXPECT_EQ(200, m_http.EnsureNetwork(nullptr));
    ASSERT_NE(nullptr, m_http.InternetHandle());
    EXPECT_EQ(u"direct", InternetProxy());
    EXPECT_EQ(200, m_http.SendGet(Ascii(server.Url("/page")).c_str()));
    m_http.Close();
}

TEST_F(EnsureNetwork, UsableAddressNeedsNothing) {
    if (!g_deviceInfo.HasNetworkAddress(FALSE))
        GTEST_SKIP() << "this host has no non-loopback address";
    ScopedEnv map("ORVI_CONNMGR_MAPURL", "none");
    EXPECT_EQ(200, m_http.EnsureNetwork(u"http://192.0.2.1/"));
    EXPECT_EQ(nullptr, m_http.InternetHandle());
    EXPECT_EQ(u"", LogText());
}

TEST_F(EnsureNetworkWithoutAddress, ChoosesDestinationWithPort80Proxy) {
    ScopedEnv destinations("ORVI_CONNMGR_DESTINATIONS", "lan;wlan=10.0.0.1:8080;gprs=10.0.0.2:80");
    ScopedEnv result("ORVI_CONNMGR_RESULT", "connected");
    EXPECT_EQ(200, m_http.EnsureNetwork(nullptr));
    EXPECT_EQ(u"10.0.0.2:80", InternetProxy());
    const std::u16string log = LogText();
    EXPECT_NE(std::u16string::npos, log.find(u"ConnMgrMapURL failed(-2147467259), ConnMgrEnumDestinations enum dest\r\n"));
    for (const char16_t* name : {u"lan", u"wlan", u"gprs"}) {
        const std::u16string line = u"Enum dest: " + std::u16string(name) + u" " + DestinationGuid(name) + u"\r\n";
        EXPECT_NE(std::u16string::npos, log.find(line));
    }
    EXPECT_NE(std::u16string::npos, log.find(u"connection: " + DestinationGuid(u"gprs") + u" proxy=10.0.0.2:80\r\n"));
    EXPECT_LT(log.find(u"Enum dest: wlan"), log.find(u"Enum dest: gprs"));
}

TEST_F(EnsureNetworkWithoutAddress, FailingConnectionsEndWithNetworkFailure) {
    ScopedEnv destinations("ORVI_CONNMGR_DESTINATIONS", "gprs=10.0.0.2:80");
    ScopedEnv result("ORVI_CONNMGR_RESULT", "failed");
    EXPECT_EQ(-17, m_http.EnsureNetwork(nullptr));
    const std::u16string log = LogText();
    EXPECT_NE(std::u16string::npos, log.find(u"Enum dest: gprs " + DestinationGuid(u"gprs") + u"\r\n"));
    EXPECT_EQ(std::u16string::npos, log.find(u"connection: "));
    EXPECT_EQ(nullptr, m_http.InternetHandle());
}

TEST_F(EnsureNetworkWithoutAddress, ConnectionThatNeverComesUpTimesOut) {
    ScopedEnv destinations("ORVI_CONNMGR_DESTINATIONS", "gprs");
    ScopedEnv map("ORVI_CONNMGR_MAPURL", "gprs");
    ScopedEnv result("ORVI_CONNMGR_RESULT", "waiting");
    m_http.SetConnectionTimeLimit(700);
    EXPECT_EQ(-16, m_http.EnsureNetwork(nullptr));
    EXPECT_EQ(u"", LogText());
}

TEST_F(EnsureNetworkWithoutAddress, ProbeThroughProxyThenEverythingIsClosed) {
    ScopedEnv destinations("ORVI_CONNMGR_DESTINATIONS", "gprs=127.0.0.1:80");
    ScopedEnv result("ORVI_CONNMGR_RESULT", "connected");
    EXPECT_EQ(200, m_http.EnsureNetwork(u"http://127.0.0.1:9/probe"));
    EXPECT_EQ(nullptr, m_http.InternetHandle());
    EXPECT_NE(std::u16string::npos, LogText().find(u"proxy=127.0.0.1:80\r\n"));
}

TEST_F(EnsureNetworkWithoutAddress, QuitWhileWaitingEndsWithCancelAndStaysQueued) {
    ScopedEnv destinations("ORVI_CONNMGR_DESTINATIONS", "gprs");
    ScopedEnv map("ORVI_CONNMGR_MAPURL", "gprs");
    ScopedEnv result("ORVI_CONNMGR_RESULT", "waiting");
    PostQuitMessage(5);
    EXPECT_EQ(-1, m_http.EnsureNetwork(nullptr));
    MSG msg{};
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(static_cast<UINT>(WM_QUIT), msg.message);
    EXPECT_EQ(5u, msg.wParam);
}

TEST_F(EnsureNetworkWithoutAddress, MappedDestinationProxyIsUsed) {
    ScopedEnv destinations("ORVI_CONNMGR_DESTINATIONS", "wlan=10.0.0.1:8080");
    ScopedEnv map("ORVI_CONNMGR_MAPURL", "wlan");
    ScopedEnv result("ORVI_CONNMGR_RESULT", "connected");
    EXPECT_EQ(200, m_http.EnsureNetwork(nullptr));
    EXPECT_EQ(u"10.0.0.1:8080", InternetProxy());
}

}  // namespace

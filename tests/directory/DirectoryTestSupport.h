// Fixture of the directory tests: a device root with the data folder
// "\Data\", COM, the debug log, and one station directory.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "CStationDirectory.h"
#include "FakeGpsd.h"
#include "LogTestSupport.h"
#include "OpmlPage.h"
#include "OrviXml.h"
#include "ScopedEnv.h"
#include "TestHttpServer.h"
#include "comptr.h"

namespace orvi::test {

inline std::string Opml(const std::string& body, const std::string& head = "<title>Page</title>") {
    return "<?xml version=\"1.0\"?><opml version=\"1\"><head>" + head + "</head><body>" + body +
           "</body></opml>";
}

class DirectoryTest : public LoggedDeviceTest {
protected:
    void SetUp() override {
        LoggedDeviceTest::SetUp();
        ASSERT_TRUE(CreateDirectoryW(u"\\Data", nullptr));
        StringCchCopyW(m_directory.Config().dataFolder, MAX_PATH, u"\\Data\\");
    }

    // A new record whose local copy "\Data\<name>" holds bytes.
    CRadioChannel* PageWithCopy(const std::string& bytes, const std::string& name = "page.xml") {
        CRadioChannel* page = NewChannel(m_directory);
        page->localFile = u"\\Data\\" + Ascii(name);
        WriteDevice("\\Data\\" + name, bytes);
        return page;
    }

    // Parses one element from xml for ParseOutline.
    CComPtr<IXMLDOMNode> Element(const std::u16string& xml) {
        CComPtr<IXMLDOMDocument> document;
        EXPECT_EQ(S_OK, XmlCreateDocument(&document));
        VARIANT_BOOL ok = VARIANT_FALSE;
        EXPECT_EQ(S_OK, document->loadXML(CComBSTR(xml.c_str()), &ok));
        CComPtr<IXMLDOMElement> element;
        EXPECT_EQ(S_OK, document->get_documentElement(&element));
        return CComPtr<IXMLDOMNode>(element.p);
    }

    static std::vector<std::u16string> Texts(const CRadioChannel* list) {
        std::vector<std::u16string> texts;
        for (const CRadioChannel* child : list->children)
            texts.push_back(child->text);
        return texts;
    }

    static std::vector<const CRadioChannel*> Pointers(const CRadioChannel* list) {
        return std::vector<const CRadioChannel*>(list->children.begin(), list->children.end());
    }

    CStationDirectory m_directory;
};

// Pages served by the local HTTP server, and positions by the stand-in gpsd.
class PageServerTest : public DirectoryTest {
protected:
    void SetUp() override {
        DirectoryTest::SetUp();
        ASSERT_TRUE(m_server.Start());
    }
    // A page whose URL is the server's path.
    CRadioChannel* Page(const std::string& path, LONG timeLimit) {
        CRadioChannel* page = NewChannel(m_directory);
        page->url = Ascii(m_server.Url(path));
        page->localFile = u"\\Data\\page.xml";
        page->timeLimit = timeLimit;
        return page;
    }
    void StampCopy(std::time_t when) {
        HANDLE file = CreateFileW(u"\\Data\\page.xml", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        const ULONGLONG ticks = (static_cast<ULONGLONG>(when) + 11644473600ULL) * 10000000ULL;
        const FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
        EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &time));
        CloseHandle(file);
    }

    // A cradled device: the client goes straight to the server.
    ScopedEnv m_peer{"ORVI_PPP_PEER", "169.254.2.1"};
    FakeGpsd m_gpsd;
    ScopedEnv m_gpsdEndpoint{"ORVI_GPSD", m_gpsd.Endpoint().c_str()};
    TestHttpServer m_server;
};

}  // namespace orvi::test

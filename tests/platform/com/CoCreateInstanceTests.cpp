// Object creation by class id: built-in classes, registration, errors.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "comptr.h"
#include "regapi.h"
#include "xmldom.h"

namespace {

ORVI_DEFINE_GUID(CLSID_TestCounter, 0x5a1e0c11, 0x2b3c, 0x4d5e, 0x8f, 0x90, 0x01, 0x02, 0x03, 0x04,
                 0x05, 0x06);
ORVI_DEFINE_GUID(IID_ITestCounter, 0x5a1e0c12, 0x2b3c, 0x4d5e, 0x8f, 0x90, 0x01, 0x02, 0x03, 0x04,
                 0x05, 0x06);

std::atomic<int> g_liveCounters{0};

struct ITestCounter : IUnknown {
    STDMETHOD_(int, Next)() = 0;

protected:
    ~ITestCounter() = default;
};

class CTestCounter : public ITestCounter {
public:
    CTestCounter() { ++g_liveCounters; }
    virtual ~CTestCounter() { --g_liveCounters; }
    void* GetInterface(REFIID riid) {
        return riid == IID_IUnknown || riid == IID_ITestCounter ? static_cast<ITestCounter*>(this)
                                                                : nullptr;
    }
    STDMETHODIMP_(int) Next() override { return ++m_value; }

private:
    int m_value = 0;
};

HRESULT CreateCounter(REFIID riid, void** ppv) {
    return CComObject<CTestCounter>::CreateInstance(riid, ppv);
}

class CoCreateInstanceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED)); }
    void TearDown() override {
        OrviUnregisterClass(CLSID_TestCounter);
        CoUninitialize();
    }
};

TEST_F(CoCreateInstanceTest, UnknownClassAndBadArguments) {
    IUnknown* unknown = reinterpret_cast<IUnknown*>(1);
    EXPECT_EQ(REGDB_E_CLASSNOTREG, CoCreateInstance(CLSID_TestCounter, nullptr, CLSCTX_ALL,
                                                    IID_IUnknown, reinterpret_cast<void**>(&unknown)));
    EXPECT_EQ(nullptr, unknown);
    EXPECT_EQ(E_POINTER,
              CoCreateInstance(CLSID_DOMDocument, nullptr, CLSCTX_ALL, IID_IUnknown, nullptr));
    EXPECT_EQ(REGDB_E_CLASSNOTREG,
              CoCreateInstance(CLSID_DOMDocument, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&unknown)));
}

TEST_F(CoCreateInstanceTest, RegisteredClassIsCreatedAndFreedByItsLastRelease) {
    ASSERT_EQ(S_OK, OrviRegisterClass(CLSID_TestCounter, CreateCounter));
    CComPtr<ITestCounter> counter;
    ASSERT_EQ(S_OK, counter.CoCreateInstance(CLSID_TestCounter, IID_ITestCounter));
    EXPECT_EQ(1, counter->Next());
    EXPECT_EQ(1, g_liveCounters.load());

    CComPtr<IUnknown> unknown;
    EXPECT_EQ(S_OK, counter.QueryInterface(&unknown, IID_IUnknown));
    CComPtr<IXMLDOMNode> node;
    EXPECT_EQ(E_NOINTERFACE, counter.QueryInterface(&node, IID_IXMLDOMNode));
    EXPECT_EQ(nullptr, node.p);
    counter.Release();
    EXPECT_EQ(1, g_liveCounters.load());
    unknown.Release();
    EXPECT_EQ(0, g_liveCounters.load());

    // An interface the class lacks: no object is left behind.
    ASSERT_EQ(E_NOINTERFACE, node.CoCreateInstance(CLSID_TestCounter, IID_IXMLDOMNode));
    EXPECT_EQ(0, g_liveCounters.load());
}

TEST_F(CoCreateInstanceTest, ReferencesMayBeDroppedOnAnyThread) {
    ASSERT_EQ(S_OK, OrviRegisterClass(CLSID_TestCounter, CreateCounter));
    CComPtr<ITestCounter> counter;
    ASSERT_EQ(S_OK, counter.CoCreateInstance(CLSID_TestCounter, IID_ITestCounter));
    CComPtr<IXMLDOMDocument> document;
    ASSERT_EQ(S_OK, document.CoCreateInstance(CLSID_DOMDocument, IID_IXMLDOMDocument));
    VARIANT_BOOL ok = VARIANT_FALSE;
    ASSERT_EQ(S_OK, document->loadXML(CComBSTR(u"<a><b/><b/><b/><b/></a>"), &ok));
    CComPtr<IXMLDOMNodeList> nodes;
    ASSERT_EQ(S_OK, document->selectNodes(CComBSTR(u"a/b"), &nodes));
    std::vector<std::thread> threads;
    for (LONG i = 0; i < 4; ++i) {
        CComPtr<IXMLDOMNode> node;
        ASSERT_EQ(S_OK, nodes->get_item(i, &node));
        // Each thread drops its node (and the document reference it holds).
        threads.emplace_back([counter = CComPtr<ITestCounter>(counter), node = node.Detach()] {
            for (int n = 0; n < 1000; ++n) {
                counter->AddRef();
                counter->Release();
            }
            node->Release();
        });
    }
    nodes.Release();
    document.Release();
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(1, g_liveCounters.load());
    counter.Release();
    EXPECT_EQ(0, g_liveCounters.load());
}

TEST_F(CoCreateInstanceTest, AggregationIsRefusedAndClassObjectCreates) {
    CComPtr<IUnknown> outer;
    ASSERT_EQ(S_OK, outer.CoCreateInstance(CLSID_DOMDocument, IID_IUnknown));
    CComPtr<IUnknown> inner;
    EXPECT_EQ(CLASS_E_NOAGGREGATION,
              CoCreateInstance(CLSID_DOMDocument, outer, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&inner)));
    CComPtr<IClassFactory> factory;
    ASSERT_EQ(S_OK, CoGetClassObject(CLSID_DOMDocument, CLSCTX_INPROC_SERVER, nullptr,
                                     IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    CComPtr<IXMLDOMDocument> document;
    EXPECT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IXMLDOMDocument,
                                            reinterpret_cast<void**>(&document)));
    EXPECT_NE(nullptr, document.p);
}

class CoCreateInstancePlugin : public orvi::test::DeviceRootTest {
protected:
    void SetUp() override { ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED)); }
    void TearDown() override { CoUninitialize(); }

    void RegisterServer(const char16_t* library) {
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExW(HKEY_CLASSES_ROOT,
                                  u"CLSID\\{5A1E0C11-2B3C-4D5E-8F90-010203040506}\\InprocServer32",
                                  0, nullptr, 0, 0, nullptr, &key, nullptr));
        std::u16string value(library);
        ASSERT_EQ(ERROR_SUCCESS,
                  RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                 static_cast<DWORD>((value.size() + 1) * sizeof(WCHAR))));
        RegCloseKey(key);
    }
    HRESULT Create() {
        CComPtr<IUnknown> object;
        return object.CoCreateInstance(CLSID_TestCounter, IID_IUnknown);
    }
};

TEST_F(CoCreateInstancePlugin, RegisteredLibraryIsLoaded) {
    EXPECT_EQ(REGDB_E_CLASSNOTREG, Create());
    RegisterServer(u"OrviNoSuchServer.dll");
    EXPECT_EQ(CO_E_DLLNOTFOUND, Create());
    // The platform itself loads but exports no class objects.
    RegisterServer(u"coredll.dll");
    EXPECT_EQ(CO_E_ERRORINDLL, Create());
}

TEST(StringFromGUID2, FormatsAndParsesBack) {
    WCHAR text[39];
    ASSERT_EQ(39, StringFromGUID2(CLSID_TestCounter, text, 39));
    EXPECT_EQ(std::u16string(u"{5A1E0C11-2B3C-4D5E-8F90-010203040506}"), std::u16string(text));
    EXPECT_EQ(0, StringFromGUID2(CLSID_TestCounter, text, 38));
    CLSID parsed{};
    ASSERT_EQ(S_OK, CLSIDFromString(text, &parsed));
    EXPECT_TRUE(IsEqualGUID(parsed, CLSID_TestCounter));
    EXPECT_EQ(CO_E_CLASSSTRING, CLSIDFromString(u"{5A1E0C11-2B3C-4D5E-8F90-01020304050}", &parsed));
}

}  // namespace

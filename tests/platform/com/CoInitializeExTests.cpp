// Apartment rules: per-thread counting, model changes, and the implicit
// multithreaded apartment that lets uninitialised threads create objects.
#include <gtest/gtest.h>

#include <thread>

#include "comptr.h"
#include "xmldom.h"

namespace {

// Runs f on a new thread and waits for it.
template <class F>
void OnThread(F f) {
    std::thread thread(f);
    thread.join();
}

HRESULT CreateDocument() {
    CComPtr<IXMLDOMDocument> document;
    return CoCreateInstance(CLSID_DOMDocument, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                            reinterpret_cast<void**>(&document));
}

TEST(CoInitializeEx, CountsPerThreadAndRefusesTheOtherModel) {
    OnThread([] {
        EXPECT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        EXPECT_EQ(S_FALSE, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        EXPECT_EQ(RPC_E_CHANGED_MODE, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        CoUninitialize();
        // Still initialised once: the other model is still refused.
        EXPECT_EQ(RPC_E_CHANGED_MODE, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        CoUninitialize();
        EXPECT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        CoUninitialize();
        EXPECT_EQ(E_INVALIDARG, CoInitializeEx(reinterpret_cast<void*>(1), 0));
    });
}

TEST(CoInitializeEx, OtherThreadsShareTheMultithreadedApartment) {
    OnThread([] { EXPECT_EQ(CO_E_NOTINITIALIZED, CreateDocument()); });
    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    OnThread([] { EXPECT_EQ(S_OK, CreateDocument()); });
    CoUninitialize();
    OnThread([] { EXPECT_EQ(CO_E_NOTINITIALIZED, CreateDocument()); });
}

TEST(CoInitializeEx, ApartmentThreadDoesNotOpenTheProcess) {
    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    EXPECT_EQ(S_OK, CreateDocument());
    OnThread([] { EXPECT_EQ(CO_E_NOTINITIALIZED, CreateDocument()); });
    CoUninitialize();
}

TEST(CoInitializeEx, EndedThreadLeavesTheApartment) {
    OnThread([] { ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED)); });
    OnThread([] { EXPECT_EQ(CO_E_NOTINITIALIZED, CreateDocument()); });
}

}  // namespace

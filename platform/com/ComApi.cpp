// Entry points of object creation, task memory and GUID text.
#include <cstdlib>

#include "com/internal.h"
#include "comptr.h"

namespace {

// Class object handed out by CoGetClassObject for a built-in class.
class CBuiltinFactory : public IClassFactory {
public:
    explicit CBuiltinFactory(ORVI_CLASS_CREATOR create) : m_create(create) {}
    virtual ~CBuiltinFactory() = default;

    void* GetInterface(REFIID riid) {
        if (riid == IID_IUnknown || riid == IID_IClassFactory)
            return static_cast<IClassFactory*>(this);
        return nullptr;
    }
    STDMETHODIMP CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (pUnkOuter)
            return CLASS_E_NOAGGREGATION;
        return m_create(riid, ppv);
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

private:
    ORVI_CLASS_CREATOR m_create;
};

int HexValue(WCHAR c) {
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

// Reads `digits` hexadecimal digits at text[*pos].
bool ReadHex(LPCWSTR text, size_t* pos, int digits, DWORD* value) {
    DWORD v = 0;
    for (int i = 0; i < digits; ++i) {
        int d = HexValue(text[*pos]);
        if (d < 0)
            return false;
        v = (v << 4) | static_cast<DWORD>(d);
        ++*pos;
    }
    *value = v;
    return true;
}

bool Expect(LPCWSTR text, size_t* pos, WCHAR c) {
    if (text[*pos] != c)
        return false;
    ++*pos;
    return true;
}

}  // namespace

HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID pvReserved, REFIID riid,
                         LPVOID* ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (pvReserved)
        return E_INVALIDARG;
    if (!orvi::com::ThreadMayUseCom())
        return CO_E_NOTINITIALIZED;
    if (!(dwClsContext & CLSCTX_INPROC_SERVER))
        return REGDB_E_CLASSNOTREG;
    if (ORVI_CLASS_CREATOR create = orvi::com::FindBuiltinClass(rclsid))
        return CComObject<CBuiltinFactory>::CreateInstance(riid, ppv, create);
    return orvi::com::GetPluginClassObject(rclsid, riid, ppv);
}

HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID* ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (!orvi::com::ThreadMayUseCom())
        return CO_E_NOTINITIALIZED;
    if (!(dwClsContext & CLSCTX_INPROC_SERVER))
        return REGDB_E_CLASSNOTREG;
    if (ORVI_CLASS_CREATOR create = orvi::com::FindBuiltinClass(rclsid))
        return pUnkOuter ? CLASS_E_NOAGGREGATION : create(riid, ppv);
    CComPtr<IClassFactory> factory;
    HRESULT hr = orvi::com::GetPluginClassObject(rclsid, IID_IClassFactory,
                                                 reinterpret_cast<void**>(&factory));
    if (FAILED(hr))
        return hr;
    hr = factory->CreateInstance(pUnkOuter, riid, ppv);
    if (FAILED(hr))
        *ppv = nullptr;
    return hr;
}

HRESULT OrviRegisterClass(REFCLSID rclsid, ORVI_CLASS_CREATOR create) {
    if (!create || rclsid == GUID_NULL)
        return E_INVALIDARG;
    orvi::com::RegisterBuiltinClass(rclsid, create);
    return S_OK;
}

HRESULT OrviUnregisterClass(REFCLSID rclsid) {
    return orvi::com::UnregisterBuiltinClass(rclsid) ? S_OK : S_FALSE;
}

LPVOID CoTaskMemAlloc(SIZE_T cb) {
    return std::malloc(cb ? cb : 1);
}

LPVOID CoTaskMemRealloc(LPVOID pv, SIZE_T cb) {
    return std::realloc(pv, cb ? cb : 1);
}

void CoTaskMemFree(LPVOID pv) {
    std::free(pv);
}

int StringFromGUID2(REFGUID rguid, LPWSTR lpsz, int cchMax) {
    static const char kHex[] = "0123456789ABCDEF";
    if (!lpsz || cchMax < 39)
        return 0;
    BYTE bytes[16] = {
        BYTE(rguid.Data1 >> 24), BYTE(rguid.Data1 >> 16), BYTE(rguid.Data1 >> 8), BYTE(rguid.Data1),
        BYTE(rguid.Data2 >> 8),  BYTE(rguid.Data2),       BYTE(rguid.Data3 >> 8), BYTE(rguid.Data3)};
    for (int i = 0; i < 8; ++i)
        bytes[8 + i] = rguid.Data4[i];
    int out = 0;
    lpsz[out++] = u'{';
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            lpsz[out++] = u'-';
        lpsz[out++] = static_cast<WCHAR>(kHex[bytes[i] >> 4]);
        lpsz[out++] = static_cast<WCHAR>(kHex[bytes[i] & 15]);
    }
    lpsz[out++] = u'}';
    lpsz[out++] = 0;
    return out;
}

HRESULT CLSIDFromString(LPCWSTR lpsz, CLSID* pclsid) {
    if (!lpsz || !pclsid)
        return E_INVALIDARG;
    size_t pos = 0;
    DWORD d1, d2, d3, d4a, b;
    GUID g{};
    bool ok = Expect(lpsz, &pos, u'{') && ReadHex(lpsz, &pos, 8, &d1) && Expect(lpsz, &pos, u'-') &&
              ReadHex(lpsz, &pos, 4, &d2) && Expect(lpsz, &pos, u'-') &&
              ReadHex(lpsz, &pos, 4, &d3) && Expect(lpsz, &pos, u'-') &&
              ReadHex(lpsz, &pos, 4, &d4a) && Expect(lpsz, &pos, u'-');
    for (int i = 2; ok && i < 8; ++i) {
        ok = ReadHex(lpsz, &pos, 2, &b);
        g.Data4[i] = static_cast<BYTE>(b);
    }
    ok = ok && Expect(lpsz, &pos, u'}') && lpsz[pos] == 0;
    if (!ok)
        return CO_E_CLASSSTRING;
    g.Data1 = d1;
    g.Data2 = static_cast<WORD>(d2);
    g.Data3 = static_cast<WORD>(d3);
    g.Data4[0] = static_cast<BYTE>(d4a >> 8);
    g.Data4[1] = static_cast<BYTE>(d4a);
    *pclsid = g;
    return S_OK;
}

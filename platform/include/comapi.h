// The device's component model, reduced to what the system uses: GUIDs,
// IUnknown, BSTR and VARIANT, per-thread initialisation and the creation of
// in-process classes by CLSID.
//
// Threading: every object the platform hands out is free-threaded (atomic
// reference counts, no marshalling). A thread must call CoInitializeEx before
// creating objects, except that once any thread of the process has entered
// the multithreaded apartment, every thread may create and use objects, as
// on the device (the implicit multithreaded apartment).
#pragma once

#include <cstring>

#include "winerror.h"
#include "wintypes.h"

// ---- GUIDs -----------------------------------------------------------------
struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
};
typedef GUID IID;
typedef GUID CLSID;
typedef const GUID& REFGUID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;

inline bool IsEqualGUID(REFGUID a, REFGUID b) {
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}
inline bool operator==(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }
inline bool operator!=(REFGUID a, REFGUID b) { return !IsEqualGUID(a, b); }
#define IsEqualIID(a, b) IsEqualGUID(a, b)
#define IsEqualCLSID(a, b) IsEqualGUID(a, b)

// Defines a GUID constant in a header: one object for the whole program.
#define ORVI_DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
    inline constexpr GUID name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}

ORVI_DEFINE_GUID(GUID_NULL, 0x00000000, 0x0000, 0x0000, 0, 0, 0, 0, 0, 0, 0, 0);
#define IID_NULL GUID_NULL
#define CLSID_NULL GUID_NULL

// Writes "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (upper case, 39 characters
// with the NUL). Returns the characters written including the NUL, or 0 when
// cchMax is too small.
int StringFromGUID2(REFGUID rguid, LPWSTR lpsz, int cchMax);
// Parses the braced form; CO_E_CLASSSTRING for anything else.
HRESULT CLSIDFromString(LPCWSTR lpsz, CLSID* pclsid);

// ---- result codes of the component model ------------------------------------
#define CLASS_E_NOAGGREGATION static_cast<HRESULT>(0x80040110L)
#define CLASS_E_CLASSNOTAVAILABLE static_cast<HRESULT>(0x80040111L)
#define REGDB_E_CLASSNOTREG static_cast<HRESULT>(0x80040154L)
#define CO_E_NOTINITIALIZED static_cast<HRESULT>(0x800401F0L)
#define CO_E_CLASSSTRING static_cast<HRESULT>(0x800401F3L)
#define CO_E_DLLNOTFOUND static_cast<HRESULT>(0x800401F8L)
#define CO_E_ERRORINDLL static_cast<HRESULT>(0x800401F9L)
#define RPC_E_CHANGED_MODE static_cast<HRESULT>(0x80010106L)
#define DISP_E_TYPEMISMATCH static_cast<HRESULT>(0x80020005L)
#define DISP_E_BADVARTYPE static_cast<HRESULT>(0x80020008L)

// ---- IUnknown ----------------------------------------------------------------
#define STDMETHODCALLTYPE
#define STDMETHOD(name) virtual HRESULT STDMETHODCALLTYPE name
#define STDMETHOD_(type, name) virtual type STDMETHODCALLTYPE name
#define STDMETHODIMP HRESULT STDMETHODCALLTYPE
#define STDMETHODIMP_(type) type STDMETHODCALLTYPE

ORVI_DEFINE_GUID(IID_IUnknown, 0x00000000, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00,
                 0x00, 0x46);
ORVI_DEFINE_GUID(IID_IClassFactory, 0x00000001, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00,
                 0x00, 0x00, 0x46);

struct IUnknown {
    STDMETHOD(QueryInterface)(REFIID riid, void** ppvObject) = 0;
    STDMETHOD_(ULONG, AddRef)() = 0;
    STDMETHOD_(ULONG, Release)() = 0;

protected:
    // Objects are destroyed by their last Release, never through IUnknown*.
    ~IUnknown() = default;
};
typedef IUnknown* LPUNKNOWN;

struct IClassFactory : IUnknown {
    STDMETHOD(CreateInstance)(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) = 0;
    STDMETHOD(LockServer)(BOOL fLock) = 0;

protected:
    ~IClassFactory() = default;
};

// ---- BSTR --------------------------------------------------------------------
// A BSTR points at UTF-16 text preceded by its byte length (a 32-bit word) and
// followed by a NUL; it may contain embedded NULs. NULL is the empty string
// for every function that reads one.
typedef WCHAR* BSTR;
typedef WCHAR OLECHAR;
typedef const OLECHAR* LPCOLESTR;

BSTR SysAllocString(const OLECHAR* psz);
// Copies ui characters of pch, or leaves them uninitialised (NUL-terminated)
// when pch is NULL.
BSTR SysAllocStringLen(const OLECHAR* pch, UINT ui);
// Replaces *pbstr with a copy of psz; FALSE (and *pbstr unchanged) when out of
// memory.
INT SysReAllocString(BSTR* pbstr, const OLECHAR* psz);
INT SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, UINT len);
void SysFreeString(BSTR bstrString);
UINT SysStringLen(BSTR bstr);
UINT SysStringByteLen(BSTR bstr);

// ---- VARIANT -------------------------------------------------------------------
typedef short VARIANT_BOOL;
#define VARIANT_TRUE static_cast<VARIANT_BOOL>(-1)
#define VARIANT_FALSE static_cast<VARIANT_BOOL>(0)

typedef unsigned short VARTYPE;
enum VARENUM : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_BSTR = 8,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_UNKNOWN = 13,
    VT_UI4 = 19,
    VT_INT = 22,
    VT_UINT = 23,
};

struct VARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONG lVal;
        short iVal;
        ULONG ulVal;
        INT intVal;
        UINT uintVal;
        VARIANT_BOOL boolVal;
        HRESULT scode;
        BSTR bstrVal;
        IUnknown* punkVal;
    };
};
typedef VARIANT VARIANTARG;

void VariantInit(VARIANTARG* pvarg);
// Frees the BSTR or releases the object held, then sets VT_EMPTY.
// DISP_E_BADVARTYPE (nothing changed) for a type this platform does not know.
HRESULT VariantClear(VARIANTARG* pvarg);
// Clears pvargDest, then copies: a BSTR is duplicated, an object AddRef'd.
HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc);

// ---- memory ------------------------------------------------------------------------
LPVOID CoTaskMemAlloc(SIZE_T cb);
LPVOID CoTaskMemRealloc(LPVOID pv, SIZE_T cb);
void CoTaskMemFree(LPVOID pv);

// ---- initialisation and creation ---------------------------------------------------
#define COINIT_MULTITHREADED 0x0
#define COINIT_APARTMENTTHREADED 0x2
#define COINIT_DISABLE_OLE1DDE 0x4
#define COINIT_SPEED_OVER_MEMORY 0x8

#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_INPROC_HANDLER 0x2
#define CLSCTX_LOCAL_SERVER 0x4
#define CLSCTX_REMOTE_SERVER 0x10
#define CLSCTX_INPROC (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER)
#define CLSCTX_SERVER (CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)
#define CLSCTX_ALL (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | \
                    CLSCTX_REMOTE_SERVER)

// Counted per thread: S_OK the first time, S_FALSE when the thread is already
// initialised in the same model (each success needs its CoUninitialize),
// RPC_E_CHANGED_MODE for the other model. pvReserved must be NULL.
HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
HRESULT CoInitialize(LPVOID pvReserved);
// The last call of a thread leaves its apartment; extra calls are ignored. A
// thread that ends without it leaves its apartment at exit.
void CoUninitialize();

// Only in-process classes exist: built-in classes of the platform and classes
// of plug-in libraries registered under HKCR\CLSID\{clsid}\InprocServer32
// (the library's device path or name as the default value; it exports
// DllGetClassObject). Aggregation is refused with CLASS_E_NOAGGREGATION, an
// unknown class or a context without CLSCTX_INPROC_SERVER with
// REGDB_E_CLASSNOTREG, a missing library with CO_E_DLLNOTFOUND.
HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID* ppv);
HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID pvReserved, REFIID riid,
                         LPVOID* ppv);

// Creates a new object of a built-in class and answers interface riid of it
// with one reference (the usual contract: *ppv NULL on failure).
typedef HRESULT (*ORVI_CLASS_CREATOR)(REFIID riid, void** ppv);
// Adds or replaces a built-in class in the process-wide class table. The
// platform's own classes are present from the start.
HRESULT OrviRegisterClass(REFCLSID rclsid, ORVI_CLASS_CREATOR create);
// S_FALSE when the class was not registered.
HRESULT OrviUnregisterClass(REFCLSID rclsid);

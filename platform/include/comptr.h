// Small helpers over the component model: smart pointers for interfaces,
// BSTR and VARIANT owners, and reference counting for classes that implement
// interfaces.
#pragma once

#include <atomic>
#include <memory>
#include <new>
#include <utility>

#include "comapi.h"

// Owns one reference to an interface.
template <class T>
class CComPtr {
public:
    CComPtr() = default;
    CComPtr(T* p) : p(p) {  // NOLINT: implicit, like the device's template
        if (p)
            p->AddRef();
    }
    CComPtr(const CComPtr& other) : CComPtr(other.p) {}
    CComPtr(CComPtr&& other) noexcept : p(other.p) { other.p = nullptr; }
    ~CComPtr() { Release(); }

    CComPtr& operator=(T* other) {
        if (other)
            other->AddRef();
        Release();
        p = other;
        return *this;
    }
    CComPtr& operator=(const CComPtr& other) { return *this = other.p; }
    CComPtr& operator=(CComPtr&& other) noexcept {
        if (this != std::addressof(other)) {
            Release();
            p = other.p;
            other.p = nullptr;
        }
        return *this;
    }

    operator T*() const { return p; }
    T* operator->() const { return p; }
    T& operator*() const { return *p; }
    // For out-parameters: the pointer must be empty.
    T** operator&() { return &p; }
    bool operator!() const { return p == nullptr; }

    void Release() {
        T* old = p;
        p = nullptr;
        if (old)
            old->Release();
    }
    void Attach(T* other) {
        Release();
        p = other;
    }
    T* Detach() {
        T* old = p;
        p = nullptr;
        return old;
    }
    HRESULT CopyTo(T** pp) const {
        if (!pp)
            return E_POINTER;
        *pp = p;
        if (p)
            p->AddRef();
        return S_OK;
    }
    template <class Q>
    HRESULT QueryInterface(Q** pp, REFIID riid) const {
        if (!pp)
            return E_POINTER;
        *pp = nullptr;
        return p ? p->QueryInterface(riid, reinterpret_cast<void**>(pp)) : E_POINTER;
    }
    HRESULT CoCreateInstance(REFCLSID rclsid, REFIID riid, LPUNKNOWN pUnkOuter = nullptr,
                             DWORD dwClsContext = CLSCTX_ALL) {
        Release();
        return ::CoCreateInstance(rclsid, pUnkOuter, dwClsContext, riid,
                                  reinterpret_cast<void**>(&p));
    }

    T* p = nullptr;
};

// Owns one BSTR.
class CComBSTR {
public:
    CComBSTR() = default;
    CComBSTR(LPCOLESTR text) : m_str(text ? SysAllocString(text) : nullptr) {}  // NOLINT
    CComBSTR(const CComBSTR& other) : m_str(other.Copy()) {}
    CComBSTR(CComBSTR&& other) noexcept : m_str(other.Detach()) {}
    ~CComBSTR() { SysFreeString(m_str); }
    CComBSTR& operator=(const CComBSTR& other) {
        if (this != std::addressof(other))
            Attach(other.Copy());
        return *this;
    }
    CComBSTR& operator=(CComBSTR&& other) noexcept {
        if (this != std::addressof(other))
            Attach(other.Detach());
        return *this;
    }

    operator BSTR() const { return m_str; }
    BSTR* operator&() { return &m_str; }
    unsigned int Length() const { return SysStringLen(m_str); }
    BSTR Copy() const { return m_str ? SysAllocStringLen(m_str, SysStringLen(m_str)) : nullptr; }
    void Attach(BSTR other) {
        if (other != m_str)
            SysFreeString(m_str);
        m_str = other;
    }
    BSTR Detach() { return std::exchange(m_str, nullptr); }
    void Empty() { Attach(nullptr); }

    BSTR m_str = nullptr;
};

// A VARIANT cleared on destruction.
class CComVariant : public VARIANT {
public:
    CComVariant() { VariantInit(this); }
    CComVariant(LPCOLESTR text) {  // NOLINT: implicit, like the device's class
        VariantInit(this);
        vt = VT_BSTR;
        bstrVal = SysAllocString(text);
    }
    CComVariant(LONG value) {  // NOLINT
        VariantInit(this);
        vt = VT_I4;
        lVal = value;
    }
    CComVariant(bool value) {  // NOLINT
        VariantInit(this);
        vt = VT_BOOL;
        boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    }
    CComVariant(const VARIANT& other) {  // NOLINT
        VariantInit(this);
        VariantCopy(this, &other);
    }
    CComVariant(const CComVariant& other) : CComVariant(static_cast<const VARIANT&>(other)) {}
    ~CComVariant() { VariantClear(this); }
    CComVariant& operator=(const CComVariant& other) {
        if (this != std::addressof(other))
            VariantCopy(this, &other);
        return *this;
    }
    HRESULT Clear() { return VariantClear(this); }
};

// Reference counting for a class T that implements interfaces. T answers its
// interfaces with `void* GetInterface(REFIID riid)` (nullptr for unknown
// ones). The count is atomic, so references may be taken and dropped on any
// thread; the object deletes itself on the last Release.
//
//   CComObject<CMyClass>* obj = new CComObject<CMyClass>(args...);  // count 0
//   HRESULT hr = obj->QueryInterface(IID_IMine, ppv);                 // count 1
template <class T>
class CComObject final : public T {
public:
    template <class... A>
    explicit CComObject(A&&... args) : T(std::forward<A>(args)...) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        *ppv = T::GetInterface(riid);
        if (!*ppv)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return m_cRef.fetch_add(1) + 1; }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG left = m_cRef.fetch_sub(1) - 1;
        if (left == 0)
            delete this;
        return left;
    }

    // Creates an object and answers riid of it; the object is deleted when
    // it does not implement riid.
    template <class... A>
    static HRESULT CreateInstance(REFIID riid, void** ppv, A&&... args) {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        auto* object = new (std::nothrow) CComObject(std::forward<A>(args)...);
        if (!object)
            return E_OUTOFMEMORY;
        object->AddRef();
        HRESULT hr = object->QueryInterface(riid, ppv);
        object->Release();
        return hr;
    }

private:
    std::atomic<ULONG> m_cRef{0};
};

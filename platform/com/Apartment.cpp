// Per-thread initialisation. Each thread remembers its model and how many
// successful CoInitializeEx calls it made; the process counts the threads in
// the multithreaded apartment, which lets uninitialised threads use objects.
#include <atomic>

#include "com/internal.h"

namespace orvi::com {
namespace {

std::atomic<int> g_mtaThreads{0};

struct ThreadApartment {
    int count = 0;
    bool multithreaded = false;

    void Leave() {
        if (count > 0 && multithreaded)
            g_mtaThreads.fetch_sub(1);
        count = 0;
    }
    // A thread that ends without CoUninitialize leaves at exit, so a dead
    // thread never keeps the implicit apartment alive.
    ~ThreadApartment() { Leave(); }
};

thread_local ThreadApartment t_apartment;

}  // namespace

bool ThreadMayUseCom() {
    return t_apartment.count > 0 || g_mtaThreads.load() > 0;
}

}  // namespace orvi::com

using orvi::com::t_apartment;

HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit) {
    if (pvReserved)
        return E_INVALIDARG;
    bool multithreaded = (dwCoInit & COINIT_APARTMENTTHREADED) == 0;
    if (t_apartment.count > 0) {
        if (t_apartment.multithreaded != multithreaded)
            return RPC_E_CHANGED_MODE;
        ++t_apartment.count;
        return S_FALSE;
    }
    t_apartment.count = 1;
    t_apartment.multithreaded = multithreaded;
    if (multithreaded)
        orvi::com::g_mtaThreads.fetch_add(1);
    return S_OK;
}

HRESULT CoInitialize(LPVOID pvReserved) {
    return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED);
}

void CoUninitialize() {
    if (t_apartment.count == 1)
        t_apartment.Leave();
    else if (t_apartment.count > 1)
        --t_apartment.count;
}

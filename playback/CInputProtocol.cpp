#include "CInputProtocol.h"

#include <cstring>

#include "CFileInput.h"
#include "CHttpInput.h"
#include "CMmsInput.h"

namespace {

bool HasScheme(LPCSTR pszUrl, const char* pszScheme) {
    const size_t length = std::strlen(pszScheme);
    for (size_t i = 0; i < length; ++i) {
        const char c = pszUrl[i] >= 'A' && pszUrl[i] <= 'Z' ? static_cast<char>(pszUrl[i] + 32) : pszUrl[i];
        if (c != pszScheme[i])
            return false;
    }
    return true;
}

}  // namespace

CInputProtocol::~CInputProtocol() = default;

CInputProtocol* CInputProtocol::Open(LPCSTR pszUrl, int* pnError) {
    int error = kErrorUnknownScheme;
    CInputProtocol* pInput = nullptr;
    if (pszUrl && (HasScheme(pszUrl, "http://") || HasScheme(pszUrl, "https://")))
        pInput = CHttpInput::Open(pszUrl, &error);
    else if (pszUrl && HasScheme(pszUrl, "mms://"))
        pInput = CMmsInput::Open(pszUrl, &error);
    else if (pszUrl && (HasScheme(pszUrl, "file:") || pszUrl[0] == '\\'))
        pInput = CFileInput::Open(pszUrl, &error);
    if (pnError)
        *pnError = pInput ? 0 : error;
    return pInput;
}

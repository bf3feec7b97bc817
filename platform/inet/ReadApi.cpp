// Entry points for reading response bodies.
#include "internal.h"
#include "winerror.h"

using namespace orvi::inet;

BOOL InternetReadFile(HINTERNET hFile, LPVOID lpBuffer, DWORD dwNumberOfBytesToRead,
                      LPDWORD lpdwNumberOfBytesRead) {
    if (!lpdwNumberOfBytesRead || (!lpBuffer && dwNumberOfBytesToRead)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return ReadResponse(hFile, lpBuffer, dwNumberOfBytesToRead, lpdwNumberOfBytesRead, true, false);
}

BOOL InternetReadFileExA(HINTERNET hFile, LPINTERNET_BUFFERSA lpBuffersOut, DWORD dwFlags,
                         DWORD_PTR /*dwContext*/) {
    if (!lpBuffersOut || lpBuffersOut->dwStructSize != sizeof(INTERNET_BUFFERSA) ||
        (!lpBuffersOut->lpvBuffer && lpBuffersOut->dwBufferLength)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Completions are reported with the request handle's own context.
    DWORD size = lpBuffersOut->dwBufferLength;
    bool allowPending = !(dwFlags & IRF_SYNC);
    bool noWait = dwFlags & IRF_NO_WAIT;
    return ReadResponse(hFile, lpBuffersOut->lpvBuffer, size, &lpBuffersOut->dwBufferLength,
                        allowPending, noWait);
}

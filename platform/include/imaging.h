// Picture decoding into 32-bit bitmaps: PNG (with alpha), JPEG, BMP and the
// first frame of a GIF.
//
// The bitmap is a top-down 32-bit DIB section holding premultiplied alpha,
// ready for AlphaBlend with AC_SRC_ALPHA; opaque pictures carry alpha 255.
// Pictures wider or taller than 4096 pixels are refused before decoding.
// The caller owns the bitmap and frees it with DeleteObject. Thread-safe.
#pragma once

#include "winerror.h"
#include "wingdi.h"

// Failures particular to pictures (besides E_POINTER, E_INVALIDARG,
// E_OUTOFMEMORY and HRESULT_FROM_WIN32 of a file error such as
// ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND):
// the data is none of the four formats.
#define ORVI_E_IMAGE_UNSUPPORTED HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED)
// The data is empty, truncated or damaged.
#define ORVI_E_IMAGE_DAMAGED HRESULT_FROM_WIN32(ERROR_INVALID_DATA)
// The picture is larger than 4096 x 4096 pixels (or the file larger than
// such a picture can be).
#define ORVI_E_IMAGE_TOO_LARGE HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE)

#define ORVI_MAX_IMAGE_SIDE 4096

// Decodes the picture file at a device path. bitmap must not be NULL (else
// E_POINTER); size and hasAlpha may be. hasAlpha is TRUE when some pixel is
// not fully opaque. On failure *bitmap is NULL.
HRESULT OrviDecodeImageFile(LPCWSTR path, HBITMAP* bitmap, SIZE* size, BOOL* hasAlpha);

// The same for a picture in memory; data NULL is E_POINTER, cbData 0
// E_INVALIDARG.
HRESULT OrviDecodeImageMemory(const void* data, DWORD cbData, HBITMAP* bitmap, SIZE* size,
                              BOOL* hasAlpha);

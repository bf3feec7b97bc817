// Wave-out audio: one output device that plays PCM buffers in write order,
// in the form the decoder player uses (a callback function, two buffers
// alternating, reset and close when playing stops).
//
// Where the sound goes is chosen at every waveOutOpen by $ORVI_AUDIO:
//   sdl        (default) the host's sound card through SDL2 audio. When SDL has
//              no usable output the open fails with MMSYSERR_NODRIVER.
//   null       an ideal device that plays nothing: it consumes the bytes at
//              the format's byte rate from the moment they are written (or
//              from the end of the bytes before them), so a buffer of one
//              second comes back one second after it started; for machines
//              without sound.
//   file:PATH  writes the bytes to a RIFF WAVE file at the host path PATH
//              (created or truncated at open; sizes are completed at close).
//              Unpaced: a buffer comes back as soon as it is written.
// Any other value fails the open with MMSYSERR_NODRIVER. Reasons for a failed
// open are written to the platform's debug channel ($ORVI_TRACE).
//
// Buffers: the caller prepares a WAVEHDR, writes it, and gets it back with
// WHDR_DONE set (and WHDR_INQUEUE cleared) once the sink has consumed all of
// its bytes. Between write and return the header and its data belong to the
// device: the caller must not touch them. Looping (dwLoops) is not
// supported: every buffer plays once.
//
// Notifications go to the callback function named at open, called as
// dwCallback(device, message, dwInstance, dwParam1, 0):
//   WOM_OPEN   on the thread inside waveOutOpen, before it returns;
//   WOM_CLOSE  on the thread inside waveOutClose, after the last WOM_DONE;
//   WOM_DONE   dwParam1 = the returned WAVEHDR*; on the device's own thread,
//              one buffer at a time in write order, never while the device
//              holds its lock.
// A callback may post messages and call waveOutUnprepareHeader,
// waveOutPrepareHeader, waveOutWrite and the volume calls; waveOutReset from
// the callback returns the remaining buffers (their WOM_DONE nested inside
// it) before it returns; waveOutClose from the callback is refused with
// MMSYSERR_ERROR (the device's thread cannot end itself). It must not wait
// for another thread's waveOutReset or waveOutClose of the same device,
// which wait for the device's thread.
//
// Volume: per device, low word left, high word right, 0 (silent) to 0xFFFF
// (unchanged); 0xFFFFFFFF at open. Mono uses the left value; with more
// channels, even-numbered channels use the left value and odd-numbered ones
// the right. It scales the samples as they are handed to the sink, so a
// change applies to the queued bytes not yet handed over: with the sdl sink,
// from about a tenth of a second after the change; the null and file sinks
// take every written byte at once, so there a change applies to buffers
// written after it. The caller's buffers are never written to.
//
// All functions are thread-safe. Results are MMRESULT codes; a handle that is
// not an open device (NULL included) gives MMSYSERR_INVALHANDLE.
#pragma once

#include "wintypes.h"

typedef UINT MMRESULT;
typedef struct HWAVEOUT__* HWAVEOUT;
typedef HWAVEOUT* LPHWAVEOUT;

#define MMSYSERR_NOERROR 0
#define MMSYSERR_ERROR 1
#define MMSYSERR_BADDEVICEID 2
#define MMSYSERR_INVALHANDLE 5
#define MMSYSERR_NODRIVER 6
#define MMSYSERR_NOMEM 7
#define MMSYSERR_INVALFLAG 10
#define MMSYSERR_INVALPARAM 11
#define WAVERR_BADFORMAT 32
#define WAVERR_STILLPLAYING 33
#define WAVERR_UNPREPARED 34

#define WAVE_MAPPER (static_cast<UINT>(-1))
#define WAVE_FORMAT_PCM 1

// The one notification type of waveOutOpen.
#define CALLBACK_FUNCTION 0x00030000

#define WOM_OPEN 0x3BB
#define WOM_CLOSE 0x3BC
#define WOM_DONE 0x3BD

// WAVEHDR.dwFlags.
#define WHDR_DONE 0x00000001
#define WHDR_PREPARED 0x00000002
#define WHDR_INQUEUE 0x00000010

// Byte-packed as on the device: 18 bytes. cbSize (extra bytes after the
// record) is not read for PCM.
#pragma pack(push, 1)
struct WAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18, "device record size");
typedef WAVEFORMATEX* LPWAVEFORMATEX;
typedef const WAVEFORMATEX* LPCWAVEFORMATEX;

// The device's wave header is 32 bytes on its 32-bit processor; here the
// pointer-sized fields make it 48 bytes. Callers pass sizeof(WAVEHDR) as
// cbwh, which the device checks. lpNext and reserved belong to the device.
struct WAVEHDR {
    LPSTR lpData;
    DWORD dwBufferLength;
    DWORD dwBytesRecorded;
    DWORD_PTR dwUser;
    DWORD dwFlags;
    DWORD dwLoops;
    WAVEHDR* lpNext;
    DWORD_PTR reserved;
};
static_assert(sizeof(WAVEHDR) == (sizeof(void*) == 4 ? 32 : 48), "wave header layout");
typedef WAVEHDR* LPWAVEHDR;

typedef void(CALLBACK* LPWAVECALLBACK)(HWAVEOUT hwo, UINT uMsg, DWORD_PTR dwInstance,
                                       DWORD_PTR dwParam1, DWORD_PTR dwParam2);

// uDeviceID 0 or WAVE_MAPPER (the same device), else MMSYSERR_BADDEVICEID.
// fdwOpen must be CALLBACK_FUNCTION (else MMSYSERR_INVALFLAG) with a
// dwCallback (else MMSYSERR_INVALPARAM, as for a NULL phwo or pwfx). The
// format must be PCM with 8, 16, 24 or 32 bits, 1 to 8 channels, a rate of
// 1 to 768000, nBlockAlign = channels x bits / 8 and nAvgBytesPerSec = rate x
// nBlockAlign; otherwise WAVERR_BADFORMAT. *phwo is set only on success.
MMRESULT waveOutOpen(LPHWAVEOUT phwo, UINT uDeviceID, LPCWAVEFORMATEX pwfx, DWORD_PTR dwCallback,
                     DWORD_PTR dwInstance, DWORD fdwOpen);
// WAVERR_STILLPLAYING while buffers are queued (waveOutReset first);
// MMSYSERR_ERROR from the device's callback. The handle is invalid after.
MMRESULT waveOutClose(HWAVEOUT hwo);
// cbwh must be sizeof(WAVEHDR) and lpData set (else MMSYSERR_INVALPARAM).
// Preparing a prepared header is harmless; a queued one answers
// WAVERR_STILLPLAYING.
MMRESULT waveOutPrepareHeader(HWAVEOUT hwo, LPWAVEHDR pwh, UINT cbwh);
// WAVERR_STILLPLAYING while the header is queued; an unprepared header is
// left as it is (MMSYSERR_NOERROR).
MMRESULT waveOutUnprepareHeader(HWAVEOUT hwo, LPWAVEHDR pwh, UINT cbwh);
// WAVERR_UNPREPARED unless prepared; WAVERR_STILLPLAYING when already queued.
// Sets WHDR_INQUEUE and clears WHDR_DONE; playing starts at once.
MMRESULT waveOutWrite(HWAVEOUT hwo, LPWAVEHDR pwh, UINT cbwh);
// Drops what the sink has not played and returns every queued buffer
// (WHDR_DONE, WOM_DONE in write order) before it returns.
MMRESULT waveOutReset(HWAVEOUT hwo);
MMRESULT waveOutSetVolume(HWAVEOUT hwo, DWORD dwVolume);
// NULL pdwVolume: MMSYSERR_INVALPARAM.
MMRESULT waveOutGetVolume(HWAVEOUT hwo, LPDWORD pdwVolume);

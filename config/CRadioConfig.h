// The program's configuration record: the environment file beside the
// program (names of the other files, server addresses) and the user's options
// file, read once at start and the options written back on every change.
//
// Plain data: readers take the fields directly; a writer of options changes
// `options` and calls SaveOptions. Texts longer than 259 characters are cut
// to fit their buffers. Used on the user-interface thread only.
#pragma once

#include <string>

#include "platform.h"

// The user's settings, one block that dialogs copy whole, edit and hand back.
struct RadioOptions {
    WCHAR storagePath[MAX_PATH];
    LONG flags;
    LONG channelTimeout;  // seconds a page's local copy stays fresh; 0: always download
    LONG cacheTimeout;    // seconds; below 1 means one day
    WCHAR email[MAX_PATH];
    LONG volume;          // 0 to 100
};

class CRadioConfig {
public:
    // Reads the environment file and the options (from the options file, or
    // from the environment file when there is none) and makes the data
    // folder. FALSE, logged, when a file is missing or malformed or lacks
    // its section.
    BOOL Load();
    // Writes the options block to the options file, making a read-only file
    // writable first. FALSE, logged, when it cannot be written.
    BOOL SaveOptions();
    // The program folder joined with pattern, each "?" replaced by the
    // device tag: short name + screen size ("PPC240x320") when that file
    // exists, else short name + logical dpi ("PPC96").
    std::u16string ResolvePattern(LPCWSTR pattern) const;
    // Where the options are read from and written to.
    std::u16string OptionsFilePath() const;

    WCHAR dataFolder[MAX_PATH] = {};       // "\Application Data\Calvaro\", or empty
    WCHAR skinFile[MAX_PATH] = {};         // file-theme resolved
    WCHAR environmentFile[MAX_PATH] = {};  // program folder + "Calvaro.xml"
    WCHAR fileOption[MAX_PATH] = {};
    WCHAR fileTheme[MAX_PATH] = {};
    WCHAR fileDirectory[MAX_PATH] = {};
    WCHAR fileFavorite[MAX_PATH] = {};
    WCHAR fileCache[MAX_PATH] = {};
    WCHAR fileLocalPlayingSkin[MAX_PATH] = {};
    WCHAR directoryUrl[MAX_PATH] = {};
    WCHAR searchUrl[MAX_PATH] = {};
    WCHAR recommendUrl[MAX_PATH] = {};
    WCHAR helpUrl[MAX_PATH] = {};
    WCHAR playingSkinUrl[MAX_PATH] = {};
    WCHAR bugReportUrl[MAX_PATH] = {};
    RadioOptions options = {};

private:
    std::u16string ProgramFolder() const;
    BOOL ReadEnvironment(IXMLDOMDocument* document);
    BOOL ReadOptions(IXMLDOMDocument* document);
    void MakeDataFolder();
};

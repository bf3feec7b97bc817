#include "CRadioConfig.h"

#include "DeviceInfo.h"
#include "OrviDebug.h"
#include "OrviXml.h"
#include "comptr.h"

namespace {

constexpr const WCHAR kEnvironmentFileName[] = u"Calvaro.xml";
constexpr const WCHAR kDefaultOptionsFileName[] = u"Calvaro.option.xml";

bool FileExists(const std::u16string& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void CopyText(WCHAR (&buffer)[MAX_PATH], const std::u16string& text) {
    StringCchCopyW(buffer, MAX_PATH, text.c_str());  // cut to fit
}

std::u16string ReplaceAll(std::u16string text, char16_t mark, const std::u16string& by) {
    for (size_t at = text.find(mark); at != std::u16string::npos; at = text.find(mark, at + by.size()))
        text.replace(at, 1, by);
    return text;
}

// Loads a file into document, replacing what it held; FALSE when the
// parser refuses it.
BOOL LoadInto(IXMLDOMDocument* document, const WCHAR* path) {
    VARIANT_BOOL ok = VARIANT_FALSE;
    return document->load(CComVariant(path), &ok) == S_OK && ok == VARIANT_TRUE;
}

}  // namespace

std::u16string CRadioConfig::ProgramFolder() const {
    const WCHAR* slash = wcsrchr(environmentFile, u'\\');
    return slash ? std::u16string(environmentFile, slash + 1) : std::u16string();
}

std::u16string CRadioConfig::OptionsFilePath() const {
    return ProgramFolder() + (fileOption[0] ? fileOption : kDefaultOptionsFileName);
}

BOOL CRadioConfig::Load() {
    WCHAR module[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, module, MAX_PATH);
    if (WCHAR* slash = wcsrchr(module, u'\\'))
        slash[1] = 0;
    StringCchCatW(module, MAX_PATH, kEnvironmentFileName);
    CopyText(environmentFile, module);

    if (!FileExists(environmentFile)) {
        Log(u"Load config file failed(err=%ld): %s\r\n", GetLastError(), environmentFile);
        return FALSE;
    }
    CComPtr<IXMLDOMDocument> document;
    if (FAILED(XmlCreateDocument(&document))) {
        Log(u"Create XMLDOM object failed(err=%ld)!\r\n", GetLastError());
        return FALSE;
    }
    if (!LoadInto(document, environmentFile)) {
        Log(u"The config file is format invalid(err=%ld): %s\r\n", GetLastError(), environmentFile);
        return FALSE;
    }
    if (!ReadEnvironment(document))
        return FALSE;

    // Without an options file the environment file's own section serves.
    const std::u16string optionsFile = OptionsFilePath();
    if (FileExists(optionsFile) && !LoadInto(document, optionsFile.c_str())) {
        Log(u"The option file is format invalid(err=%ld): %s\r\n", GetLastError(), optionsFile);
        return FALSE;
    }
    if (!ReadOptions(document))
        return FALSE;

    MakeDataFolder();
    CopyText(skinFile, ResolvePattern(fileTheme));
    return TRUE;
}

BOOL CRadioConfig::ReadEnvironment(IXMLDOMDocument* document) {
    CComPtr<IXMLDOMNode> section;
    if (document->selectSingleNode(CComBSTR(u"orvi/environment"), &section) != S_OK) {
        Log(u"The config.xml file miss \"orvi/environment\" node!(err=%ld)\r\n", GetLastError());
        return FALSE;
    }
    const struct {
        const WCHAR* name;
        WCHAR (*buffer)[MAX_PATH];
    } params[] = {
        {u"file-option", &fileOption},
        {u"file-theme", &fileTheme},
        {u"file-directory", &fileDirectory},
        {u"file-favorite", &fileFavorite},
        {u"file-cache", &fileCache},
        {u"file-local-playing-skin", &fileLocalPlayingSkin},
        {u"directory-url", &directoryUrl},
        {u"search-url", &searchUrl},
        {u"recommend-url", &recommendUrl},
        {u"help-url", &helpUrl},
        {u"playing-skin-url", &playingSkinUrl},
        {u"bug-report-url", &bugReportUrl},
    };
    for (const auto& param : params)
        CopyText(*param.buffer, GetParam(section, param.name));
    return TRUE;
}

BOOL CRadioConfig::ReadOptions(IXMLDOMDocument* document) {
    CComPtr<IXMLDOMNode> section;
    if (document->selectSingleNode(CComBSTR(u"orvi/options"), &section) != S_OK) {
        Log(u"The config file miss \"orvi/options\" node!(err=%ld)\r\n", GetLastError());
        return FALSE;
    }
    options.flags = _wtol(GetParam(section, u"flags").c_str());
    CopyText(options.storagePath, GetParam(section, u"storage-path"));
    options.channelTimeout = _wtol(GetParam(section, u"channel-timeout").c_str());
    options.cacheTimeout = _wtol(GetParam(section, u"cache-timeout").c_str());
    CopyText(options.email, GetParam(section, u"email"));
    options.volume = _wtol(GetParam(section, u"volume").c_str());
    return TRUE;
}

// Creates each folder of the path below its first level; one that exists
// already counts as made, and the first other failure stops.
void CRadioConfig::MakeDataFolder() {
    WCHAR appData[MAX_PATH] = {};
    if (!SHGetSpecialFolderPath(nullptr, appData, CSIDL_APPDATA, FALSE)) {
        dataFolder[0] = 0;
        return;
    }
    std::u16string folder = appData;
    folder += u"\\Calvaro\\";
    for (size_t end = folder.find(u'\\', 1); end != std::u16string::npos;
         end = folder.find(u'\\', end + 1)) {
        const std::u16string level = folder.substr(0, end + 1);
        if (!CreateDirectoryW(level.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    CopyText(dataFolder, folder);
}

std::u16string CRadioConfig::ResolvePattern(LPCWSTR pattern) const {
    const std::u16string folder = ProgramFolder();
    const std::u16string text = pattern ? pattern : u"";
    std::u16string tag;
    orvi::fmt::Format(&tag, u"%s%dx%d", g_deviceInfo.PlatformShortName(),
                      GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    std::u16string bySize = folder + ReplaceAll(text, u'?', tag);
    if (FileExists(bySize))
        return bySize;
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    tag.clear();
    orvi::fmt::Format(&tag, u"%s%d", g_deviceInfo.PlatformShortName(), dpi);
    return folder + ReplaceAll(text, u'?', tag);
}

BOOL CRadioConfig::SaveOptions() {
    CComPtr<IXMLDOMDocument> document;
    if (FAILED(XmlCreateDocument(&document)))
        return FALSE;
    VARIANT_BOOL ok = VARIANT_FALSE;
    document->loadXML(CComBSTR(u"<?xml version=\"1.0\" ?><orvi><options/></orvi>"), &ok);
    CComPtr<IXMLDOMNode> section;
    if (ok != VARIANT_TRUE ||
        document->selectSingleNode(CComBSTR(u"orvi/options"), &section) != S_OK)
        return FALSE;
    SetParamInt(section, u"flags", options.flags);
    SetParam(section, u"storage-path", options.storagePath);
    SetParamInt(section, u"channel-timeout", options.channelTimeout);
    SetParamInt(section, u"cache-timeout", options.cacheTimeout);
    SetParam(section, u"email", options.email);
    SetParamInt(section, u"volume", options.volume);

    // The document's save replaces the file whole, so a reader never sees
    // half of it and a failed save leaves the previous options in place.
    const std::u16string path = OptionsFilePath();
    if (SUCCEEDED(XmlSaveFile(document, path.c_str())))
        return TRUE;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
        SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY) &&
        SUCCEEDED(XmlSaveFile(document, path.c_str())))
        return TRUE;
    Log(u"Can't save the config file: %s!\terr=%ld\r\n", path, GetLastError());
    return FALSE;
}

#include "CStationDirectory.h"

#include "OpmlPage.h"
#include "OrviDebug.h"

namespace {

constexpr int kMaxSetAsideNames = 9;

bool IsPlainFile(const std::u16string& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

CStationDirectory::CStationDirectory() {
    m_rootPage.id = CRadioChannel::kRootPageId;
    m_favorites.id = CRadioChannel::kFavoritesId;
    m_favorites.timeLimit = -1;
}

CStationDirectory::~CStationDirectory() {
    for (CRadioChannel* record : m_records)
        delete record;
}

CRadioChannel* CStationDirectory::GetRootPage() {
    if (m_rootPage.children.IsEmpty()) {
        // Without a configured name the page's copy is named like any other.
        m_rootPage.localFile =
            m_config.fileDirectory[0] ? m_config.dataFolder + std::u16string(m_config.fileDirectory) : u"";
        m_rootPage.url = m_config.directoryUrl;
        m_rootPage.timeLimit = m_config.options.channelTimeout;
    }
    return &m_rootPage;
}

// An unreadable file is only noted here: it is set aside when the first
// change would overwrite it (PrepareToSave), not before.
CRadioChannel* CStationDirectory::GetFavorites() {
    if (!m_bFavoritesLoaded && m_config.fileFavorite[0]) {
        m_bFavoritesLoaded = true;
        m_favorites.localFile = m_config.dataFolder + std::u16string(m_config.fileFavorite);
        m_bFavoritesUnreadable = LoadPage(*this, &m_favorites, TRUE) == kLoadPageNotOpml;
    }
    return &m_favorites;
}

CRadioChannel* CStationDirectory::FindRecord(LONG id) const {
    for (CRadioChannel* record : m_records) {
        if (record->id == id)
            return record;
    }
    return nullptr;
}

CRadioChannel* CStationDirectory::GetRecord(LONG id) {
    if (id == CRadioChannel::kRootPageId)
        return GetRootPage();
    if (id == CRadioChannel::kFavoritesId)
        return GetFavorites();
    if (CRadioChannel* record = FindRecord(id))
        return record;
    if (id < 0 || id >= kFirstId)
        return nullptr;
    CRadioChannel* record = NewChannel(*this);
    if (record)
        record->id = id;
    return record;
}

CDownloadCache& CStationDirectory::GetCache() {
    if (m_cacheLifetime == 0) {
        const LONG option = m_config.options.cacheTimeout;
        m_cacheLifetime = option < 1 ? kDefaultCacheLifetime : option;
        m_cache.Open(m_config);
        m_cache.SetTimeToLive(m_cacheLifetime);
    }
    return m_cache;
}

CRadioChannel* CStationDirectory::FindById(const CRadioChannel* list, LONG id) {
    if (!list)
        return nullptr;
    for (CRadioChannel* child : list->children) {
        if (child->id == id)
            return child;
    }
    return nullptr;
}

CRadioChannel* CStationDirectory::FindByQtoId(const CRadioChannel* list, const std::u16string& qtoId) {
    if (!list || qtoId.empty())
        return nullptr;
    for (CRadioChannel* child : list->children) {
        if (child->qtoId == qtoId)
            return child;
    }
    return nullptr;
}

CRadioChannel* CStationDirectory::AddFavorite(const CRadioChannel* record) {
    CRadioChannel* favorites = GetFavorites();
    if (!record || FindByQtoId(favorites, record->qtoId))
        return nullptr;
    CRadioChannel* copy = NewChannel(*this);
    if (!copy)
        return nullptr;
    copy->id = record->id;
    copy->kind = record->kind;
    copy->localFile = record->localFile;
    copy->timeLimit = record->timeLimit;
    copy->pageTitle = record->pageTitle;
    copy->text = record->text;
    copy->url = record->url;
    copy->image = record->image;
    copy->bitrate = record->bitrate;
    copy->nowPlayingId = record->nowPlayingId;
    copy->presetId = record->presetId;
    copy->qtoId = record->qtoId;
    copy->parentId = favorites->id;  // as a favourite read from the file
    if (favorites->children.Add(copy) < 0)
        return nullptr;
    SaveOpml(*this, favorites);
    return copy;
}

BOOL CStationDirectory::RemoveFavorite(const CRadioChannel* record) {
    CRadioChannel* favorites = GetFavorites();
    const CRadioChannel* entry = record ? FindById(favorites, record->id) : nullptr;
    if (!entry)
        return FALSE;
    favorites->children.RemoveAt(favorites->children.Find(const_cast<CRadioChannel*>(entry)));
    SaveOpml(*this, favorites);
    return TRUE;
}

const std::u16string& CStationDirectory::VersionParameter() {
    if (m_versionParameter.empty()) {
        WORD version[4] = {};
        if (!OrviGetModuleVersion(nullptr, version))
            version[3] = 0;
        orvi::fmt::Format(&m_versionParameter, u"version=WM%d&device=WM", version[3]);
    }
    return m_versionParameter;
}

// MoveFileW never replaces, so an earlier set-aside copy is never lost
// either: the next free name is taken.
BOOL CStationDirectory::PrepareToSave(const CRadioChannel* page) {
    if (page != &m_favorites || !m_bFavoritesUnreadable)
        return TRUE;
    const std::u16string& path = m_favorites.localFile;
    if (!IsPlainFile(path)) {
        m_bFavoritesUnreadable = false;
        return TRUE;
    }
    DWORD error = ERROR_SUCCESS;
    for (int n = 1; n <= kMaxSetAsideNames; ++n) {
        std::u16string aside = path + kUnreadableSuffix;
        if (n > 1)
            orvi::fmt::Format(&aside, u"%d", n);
        if (MoveFileW(path.c_str(), aside.c_str())) {
            Log(u"The favorites file %s is not readable, kept as %s\r\n", path, aside);
            m_bFavoritesUnreadable = false;
            return TRUE;
        }
        if ((error = GetLastError()) != ERROR_ALREADY_EXISTS)
            break;
    }
    Log(u"Can't set the unreadable favorites file %s aside!\terr=%ld\r\n", path, error);
    return FALSE;
}

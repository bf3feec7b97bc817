#include "COrviHttpAuths.h"

#include <new>

COrviHttpAuths::~COrviHttpAuths() { DeleteAll(); }

COrviHttpAuth* COrviHttpAuths::Add(LONG type, LPCWSTR urlPrefix, LPCWSTR userName, LPCWSTR headerLine) {
    auto* record = new (std::nothrow) COrviHttpAuth;
    if (!record)
        return nullptr;
    record->type = type;
    record->urlPrefix = urlPrefix ? urlPrefix : u"";
    record->userName = userName ? userName : u"";
    record->headerLine = headerLine ? headerLine : u"";
    if (CLcArray::Add(record) < 0) {
        delete record;
        return nullptr;
    }
    return record;
}

COrviHttpAuth* COrviHttpAuths::Match(LPCWSTR url) const {
    if (!url)
        return nullptr;
    const std::u16string_view text(url);
    for (int i = GetSize() - 1; i >= 0; --i) {
        COrviHttpAuth* record = (*this)[i];
        if (text.starts_with(record->urlPrefix))
            return record;
    }
    return nullptr;
}

void COrviHttpAuths::DeleteAll() {
    for (COrviHttpAuth* record : *this)
        delete record;
    RemoveAll();
}

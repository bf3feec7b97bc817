// The authentication records of one HTTP client: which URLs get which
// ready-made authorization header line.
//
// Ownership: the list owns its records and deletes them when it is
// destroyed; copies of the list are not made (CLcArray would share the
// pointers).
#pragma once

#include <string>

#include "LcArray.h"
#include "platform.h"

struct COrviHttpAuth {
    enum Type : LONG { Other = 0, Basic = 1 };

    LONG type = Other;
    std::u16string urlPrefix;   // matches every URL that begins with it
    std::u16string userName;    // sent in the device identifier header
    std::u16string headerLine;  // e.g. "Authorization: Basic ..."; may be empty
};

class COrviHttpAuths : public CLcArray<COrviHttpAuth*> {
public:
    COrviHttpAuths() = default;
    ~COrviHttpAuths();
    COrviHttpAuths(const COrviHttpAuths&) = delete;
    COrviHttpAuths& operator=(const COrviHttpAuths&) = delete;

    // Appends a record; null when memory runs out.
    COrviHttpAuth* Add(LONG type, LPCWSTR urlPrefix, LPCWSTR userName, LPCWSTR headerLine);
    // The last-added record whose prefix begins url, or null.
    COrviHttpAuth* Match(LPCWSTR url) const;
    void DeleteAll();
};

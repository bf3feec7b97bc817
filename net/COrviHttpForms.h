// Name/value fields of a form. Names are matched without regard to letter
// case; the later of two equal names wins a lookup. The form is only built
// in this system, never sent, so no encoding is offered.
//
// Ownership: the list owns the field texts and frees them when it is
// destroyed or cleared; copies of the list are not made.
#pragma once

#include "LcArray.h"
#include "platform.h"

struct COrviHttpFormField {
    LPWSTR name;
    LPWSTR value;
};

class COrviHttpForms : public CLcArray<COrviHttpFormField> {
public:
    COrviHttpForms() = default;
    ~COrviHttpForms();
    COrviHttpForms(const COrviHttpForms&) = delete;
    COrviHttpForms& operator=(const COrviHttpForms&) = delete;

    // Replaces the value of the last field named `name`, or appends a field.
    // FALSE (form unchanged) for a null name or when memory runs out; a null
    // value is stored as empty text.
    BOOL Set(LPCWSTR name, LPCWSTR value);
    // The value of the last field named `name`, or null.
    LPCWSTR Get(LPCWSTR name) const;
    void Clear();

private:
    int FindLast(LPCWSTR name) const;
};

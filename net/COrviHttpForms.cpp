#include "COrviHttpForms.h"

#include <cstdlib>
#include <cstring>

namespace {

LPWSTR Duplicate(LPCWSTR text) {
    const size_t length = text ? wcslen(text) : 0;
    auto* copy = static_cast<LPWSTR>(std::malloc((length + 1) * sizeof(WCHAR)));
    if (copy) {
        if (length)
            std::memcpy(copy, text, length * sizeof(WCHAR));
        copy[length] = 0;
    }
    return copy;
}

}  // namespace

COrviHttpForms::~COrviHttpForms() { Clear(); }

int COrviHttpForms::FindLast(LPCWSTR name) const {
    for (int i = GetSize() - 1; i >= 0; --i) {
        if (_wcsicmp((*this)[i].name, name) == 0)
            return i;
    }
    return -1;
}

BOOL COrviHttpForms::Set(LPCWSTR name, LPCWSTR value) {
    if (!name)
        return FALSE;
    LPWSTR copy = Duplicate(value);
    if (!copy)
        return FALSE;
    const int index = FindLast(name);
    if (index >= 0) {
        std::free((*this)[index].value);
        (*this)[index].value = copy;
        return TRUE;
    }
    COrviHttpFormField field{Duplicate(name), copy};
    if (!field.name || Add(field) < 0) {
        std::free(field.name);
        std::free(copy);
        return FALSE;
    }
    return TRUE;
}

LPCWSTR COrviHttpForms::Get(LPCWSTR name) const {
    const int index = name ? FindLast(name) : -1;
    return index >= 0 ? (*this)[index].value : nullptr;
}

void COrviHttpForms::Clear() {
    for (COrviHttpFormField& field : *this) {
        std::free(field.name);
        std::free(field.value);
    }
    RemoveAll();
}

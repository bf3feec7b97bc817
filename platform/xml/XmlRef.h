// What a DOM wrapper points at: a node (or an attribute and its element)
// inside one pugixml tree, and the tree itself, which the reference keeps
// alive. A document has one main tree; created and removed nodes live in
// trees of their own until they are inserted again.
#pragma once

#include <pugixml.hpp>

#include <memory>
#include <string>
#include <string_view>

#include "comapi.h"

namespace orvi::xml {

using XmlTree = std::shared_ptr<pugi::xml_document>;

struct XmlRef {
    XmlTree tree;
    pugi::xml_node node;       // the node, or the element of the attribute
    pugi::xml_attribute attr;  // set for an attribute

    bool IsAttribute() const { return static_cast<bool>(attr); }
};

// Text conversions between BSTRs and the trees' UTF-8.
std::string FromBstr(BSTR text);
BSTR ToBstr(std::string_view utf8);
// Stores a new BSTR in *out: S_OK, or E_OUTOFMEMORY with *out NULL.
HRESULT OutBstr(std::string_view utf8, BSTR* out);
// Text of a VARIANT given to a setter (BSTR, integers, booleans, NULL as "").
HRESULT VariantToText(const VARIANT& value, std::string& text);

// Concatenated text of the node's descendant text and CDATA nodes.
std::string DescendantText(pugi::xml_node node);
std::string TrimWhiteSpace(const std::string& text);

// Runs a pugixml operation that may throw (bad XPath, out of memory) and
// turns the exception into an HRESULT.
template <class F>
HRESULT Guarded(F&& operation) {
    try {
        return operation();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

}  // namespace orvi::xml

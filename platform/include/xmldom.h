// The platform's XML document object model: a document class created with
// CoCreateInstance(CLSID_DOMDocument, nullptr, CLSCTX_INPROC_SERVER,
// IID_IXMLDOMDocument, ...) and the node interfaces it hands out.
//
// Conventions of every method: results are HRESULTs; out-parameters are set
// to NULL (or empty) on failure; returned BSTRs and interfaces belong to the
// caller. A look-up that finds nothing (selectSingleNode, getNamedItem, an
// item past the end) answers S_FALSE with a NULL node. A NULL out-pointer is
// E_POINTER; a bad argument E_INVALIDARG; an XPath expression that does not
// compile E_FAIL.
//
// Ownership: every node keeps its document alive. Nodes removed from the
// tree, and nodes created but not yet inserted, stay usable until released.
// A document and its nodes are used by one thread at a time; their reference
// counts may be dropped on any thread.
#pragma once

#include "comapi.h"

ORVI_DEFINE_GUID(CLSID_DOMDocument, 0xefa54f3a, 0xf4e3, 0x4059, 0x90, 0x80, 0x46, 0x67, 0xc8, 0x81,
                 0xce, 0x03);
ORVI_DEFINE_GUID(IID_IXMLDOMNode, 0xdce955f0, 0x8d09, 0x47b3, 0x8c, 0xdb, 0x86, 0x08, 0x71, 0xe9,
                 0x3d, 0x7e);
ORVI_DEFINE_GUID(IID_IXMLDOMDocument, 0x767bb52b, 0x811e, 0x4145, 0xa4, 0x81, 0x11, 0x85, 0x45,
                 0xb1, 0xf0, 0x58);
ORVI_DEFINE_GUID(IID_IXMLDOMElement, 0xbcbe5d2c, 0xb755, 0x4f4c, 0xa0, 0x6a, 0x47, 0x27, 0x4b,
                 0x79, 0xc0, 0x2c);
ORVI_DEFINE_GUID(IID_IXMLDOMAttribute, 0x28977f72, 0x72ec, 0x4c18, 0xb0, 0xc2, 0xea, 0x63, 0x58,
                 0x53, 0x63, 0xe9);
ORVI_DEFINE_GUID(IID_IXMLDOMText, 0x4d5f6e83, 0x9188, 0x441c, 0x9f, 0xa7, 0x4c, 0x15, 0xed, 0x85,
                 0xf6, 0xce);
ORVI_DEFINE_GUID(IID_IXMLDOMNodeList, 0x16a302d1, 0x386c, 0x4de6, 0xa2, 0x8b, 0xdd, 0xeb, 0x61,
                 0xb9, 0xc3, 0x39);
ORVI_DEFINE_GUID(IID_IXMLDOMNamedNodeMap, 0x6873c610, 0x57a0, 0x4366, 0x8f, 0x3e, 0x0e, 0x2b, 0x75,
                 0xf6, 0x9d, 0x83);
ORVI_DEFINE_GUID(IID_IXMLDOMParseError, 0x8fc4485b, 0x7adc, 0x49f9, 0x9d, 0x06, 0xcd, 0x5c, 0x7d,
                 0x41, 0x4f, 0x0c);

enum DOMNodeType {
    NODE_INVALID = 0,
    NODE_ELEMENT = 1,
    NODE_ATTRIBUTE = 2,
    NODE_TEXT = 3,
    NODE_CDATA_SECTION = 4,
    NODE_PROCESSING_INSTRUCTION = 7,
    NODE_COMMENT = 8,
    NODE_DOCUMENT = 9,
    NODE_DOCUMENT_TYPE = 10,
};

struct IXMLDOMDocument;
struct IXMLDOMElement;
struct IXMLDOMAttribute;
struct IXMLDOMText;
struct IXMLDOMNodeList;
struct IXMLDOMNamedNodeMap;
struct IXMLDOMParseError;

#define ORVI_DOM_INTERFACE_END(name) \
protected:                           \
    ~name() = default;

struct IXMLDOMNode : IUnknown {
    // "#text", "#cdata-section", "#comment", "#document" for those nodes.
    STDMETHOD(get_nodeName)(BSTR* name) = 0;
    // Attributes, text, comments and instructions have a value (VT_BSTR);
    // elements and documents answer VT_NULL and refuse put_nodeValue (E_FAIL).
    STDMETHOD(get_nodeValue)(VARIANT* value) = 0;
    STDMETHOD(put_nodeValue)(VARIANT value) = 0;
    STDMETHOD(get_nodeType)(DOMNodeType* type) = 0;
    STDMETHOD(get_parentNode)(IXMLDOMNode** parent) = 0;
    // A snapshot of the children at the time of the call.
    STDMETHOD(get_childNodes)(IXMLDOMNodeList** children) = 0;
    STDMETHOD(get_firstChild)(IXMLDOMNode** child) = 0;
    STDMETHOD(get_lastChild)(IXMLDOMNode** child) = 0;
    STDMETHOD(get_previousSibling)(IXMLDOMNode** sibling) = 0;
    STDMETHOD(get_nextSibling)(IXMLDOMNode** sibling) = 0;
    // Elements only; S_FALSE and NULL for every other node.
    STDMETHOD(get_attributes)(IXMLDOMNamedNodeMap** attributes) = 0;
    // Moves newChild (from anywhere in the same document, or created by it)
    // to the end of this node's children; *outNewChild may be NULL.
    STDMETHOD(appendChild)(IXMLDOMNode* newChild, IXMLDOMNode** outNewChild) = 0;
    STDMETHOD(removeChild)(IXMLDOMNode* child, IXMLDOMNode** oldChild) = 0;
    STDMETHOD(hasChildNodes)(VARIANT_BOOL* has) = 0;
    STDMETHOD(get_ownerDocument)(IXMLDOMDocument** document) = 0;
    // Elements and the document: the text of all descendant text and CDATA
    // nodes in document order, leading and trailing white space removed.
    STDMETHOD(get_text)(BSTR* text) = 0;
    // Elements: replaces all children by one text node (none for "").
    STDMETHOD(put_text)(BSTR text) = 0;
    STDMETHOD(get_xml)(BSTR* xml) = 0;
    // XPath 1.0 with this node as the context node.
    STDMETHOD(selectNodes)(BSTR query, IXMLDOMNodeList** result) = 0;
    STDMETHOD(selectSingleNode)(BSTR query, IXMLDOMNode** result) = 0;
    ORVI_DOM_INTERFACE_END(IXMLDOMNode)
};

struct IXMLDOMNodeList : IUnknown {
    STDMETHOD(get_item)(LONG index, IXMLDOMNode** item) = 0;
    STDMETHOD(get_length)(LONG* length) = 0;
    STDMETHOD(nextNode)(IXMLDOMNode** next) = 0;
    STDMETHOD(reset)() = 0;
    ORVI_DOM_INTERFACE_END(IXMLDOMNodeList)
};

// The attributes of one element, in document order; live.
struct IXMLDOMNamedNodeMap : IUnknown {
    STDMETHOD(getNamedItem)(BSTR name, IXMLDOMNode** item) = 0;
    // Sets an attribute node (from createAttribute or removed from an
    // element): an attribute of the same name takes its value in place,
    // otherwise it is appended last.
    STDMETHOD(setNamedItem)(IXMLDOMNode* newItem, IXMLDOMNode** nameItem) = 0;
    STDMETHOD(removeNamedItem)(BSTR name, IXMLDOMNode** namedItem) = 0;
    STDMETHOD(get_item)(LONG index, IXMLDOMNode** item) = 0;
    STDMETHOD(get_length)(LONG* length) = 0;
    STDMETHOD(nextNode)(IXMLDOMNode** next) = 0;
    STDMETHOD(reset)() = 0;
    ORVI_DOM_INTERFACE_END(IXMLDOMNamedNodeMap)
};

struct IXMLDOMElement : IXMLDOMNode {
    STDMETHOD(get_tagName)(BSTR* tagName) = 0;
    // S_FALSE and VT_NULL when the attribute is missing.
    STDMETHOD(getAttribute)(BSTR name, VARIANT* value) = 0;
    // Changes the value in place, or appends a new attribute last. The value
    // is converted to text (VT_BSTR, VT_I4, VT_BOOL, ...).
    STDMETHOD(setAttribute)(BSTR name, VARIANT value) = 0;
    STDMETHOD(removeAttribute)(BSTR name) = 0;
    ORVI_DOM_INTERFACE_END(IXMLDOMElement)
};

struct IXMLDOMAttribute : IXMLDOMNode {
    STDMETHOD(get_name)(BSTR* name) = 0;
    STDMETHOD(get_value)(VARIANT* value) = 0;
    STDMETHOD(put_value)(VARIANT value) = 0;
    ORVI_DOM_INTERFACE_END(IXMLDOMAttribute)
};

struct IXMLDOMText : IXMLDOMNode {
    ORVI_DOM_INTERFACE_END(IXMLDOMText)
};

// Why the last load or loadXML failed (errorCode 0 after a success).
struct IXMLDOMParseError : IUnknown {
    STDMETHOD(get_errorCode)(LONG* errorCode) = 0;
    STDMETHOD(get_url)(BSTR* url) = 0;
    STDMETHOD(get_reason)(BSTR* reason) = 0;
    STDMETHOD(get_srcText)(BSTR* text) = 0;
    // 1-based line and column, filepos the 0-based character offset.
    STDMETHOD(get_line)(LONG* line) = 0;
    STDMETHOD(get_linepos)(LONG* linepos) = 0;
    STDMETHOD(get_filepos)(LONG* filepos) = 0;
    ORVI_DOM_INTERFACE_END(IXMLDOMParseError)
};

struct IXMLDOMDocument : IXMLDOMNode {
    // S_FALSE and NULL when the document has no element.
    STDMETHOD(get_documentElement)(IXMLDOMElement** element) = 0;
    STDMETHOD(createElement)(BSTR tagName, IXMLDOMElement** element) = 0;
    STDMETHOD(createTextNode)(BSTR data, IXMLDOMText** text) = 0;
    STDMETHOD(createAttribute)(BSTR name, IXMLDOMAttribute** attribute) = 0;
    // Loading is always synchronous; the flag is kept for callers that set it.
    STDMETHOD(get_async)(VARIANT_BOOL* isAsync) = 0;
    STDMETHOD(put_async)(VARIANT_BOOL isAsync) = 0;
    // Loads a device file (VT_BSTR path). UTF-8, UTF-16 with a byte-order
    // mark, and ISO-8859-1 / Windows-1252 named in the XML declaration are
    // read. A missing file or a malformed document answers S_FALSE with
    // *isSuccessful VARIANT_FALSE, leaves the document empty and fills the
    // parse error; a missing file also leaves the file system's last error.
    STDMETHOD(load)(VARIANT source, VARIANT_BOOL* isSuccessful) = 0;
    STDMETHOD(loadXML)(BSTR xml, VARIANT_BOOL* isSuccessful) = 0;
    // Writes the document as UTF-8 with a declaration to a device file
    // (VT_BSTR path), completely or not at all. A read-only or otherwise
    // unwritable file answers HRESULT_FROM_WIN32 of the file error, e.g.
    // E_ACCESSDENIED, and stays as it was.
    STDMETHOD(save)(VARIANT destination) = 0;
    STDMETHOD(get_parseError)(IXMLDOMParseError** errorObj) = 0;
    ORVI_DOM_INTERFACE_END(IXMLDOMDocument)
};

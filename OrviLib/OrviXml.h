// Named parameters and attributes over the platform's XML DOM, and the file
// helpers every deliverable loads and saves its XML files with.
//
// Parameter layout: a section element whose `param` children each carry a
// `name` and a `value` attribute, optionally a decimal `lang`.
//
// Reads never report errors: a DOM failure or a missing node reads as empty
// text or the caller's default. Every interface obtained here is released
// before the call returns; the caller keeps ownership of what it passes in.
// All calls run on the caller's thread over the caller's DOM objects.
#pragma once

#include <string>

#include "comapi.h"
#include "xmldom.h"

// A new, empty document of the platform's DOM class with asynchronous
// loading switched off. The caller releases it.
HRESULT XmlCreateDocument(IXMLDOMDocument** document);

// Loads a file into a new document (*document, released by the caller). A
// missing file, an unavailable DOM or a malformed document is logged and
// answers FALSE with *document NULL.
BOOL XmlLoadFile(LPCWSTR path, IXMLDOMDocument** document);

// Saves the document to path; the DOM's result.
HRESULT XmlSaveFile(IXMLDOMDocument* document, LPCWSTR path);

// The `value` of the first `param` under node named `name` (and with `lang`
// when it is not 0). A name holding a single quote cannot be asked for and
// reads as not found.
std::u16string GetParam(IXMLDOMNode* node, LPCWSTR name, int lang = 0);

// Writes `value` into the `param` named `name` under node, appending a new
// element (attributes `name`, then `value`) when there is none. An existing
// element keeps its other attributes. FALSE only when the node has no owner
// document or the element no attribute map.
BOOL SetParam(IXMLDOMNode* node, LPCWSTR name, LPCWSTR value);
BOOL SetParamInt(IXMLDOMNode* node, LPCWSTR name, LONG number);

std::u16string GetAttr(IXMLDOMNamedNodeMap* attributes, LPCWSTR name);
// The attribute's leading decimal number (_wtol) when its text is not empty,
// else defaultValue.
LONG GetAttrInt(IXMLDOMNamedNodeMap* attributes, LPCWSTR name, LONG defaultValue);

// Creates attribute `name` = `value` in document and puts it into
// attributes, replacing one of the same name. The DOM's result code.
HRESULT SetAttr(IXMLDOMDocument* document, IXMLDOMNamedNodeMap* attributes, LPCWSTR name,
                LPCWSTR value);
HRESULT SetAttrInt(IXMLDOMDocument* document, IXMLDOMNamedNodeMap* attributes, LPCWSTR name,
                   LONG number);

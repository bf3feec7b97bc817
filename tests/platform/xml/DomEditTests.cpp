// Changing documents: attributes, created nodes, text, moves and removals.
#include "DomTestSupport.h"

namespace orvi::test {
namespace {

using DomEdit = DomTest;

CComPtr<IXMLDOMElement> Root(IXMLDOMDocument* doc) {
    CComPtr<IXMLDOMElement> root;
    EXPECT_EQ(S_OK, doc->get_documentElement(&root));
    return root;
}

std::u16string Xml(IXMLDOMNode* node) {
    CComBSTR xml;
    EXPECT_EQ(S_OK, node->get_xml(&xml));
    return Str(xml);
}

TEST_F(DomEdit, AttributesKeepTheirOrder) {
    LoadXml(u"<opml><body/></opml>");
    CComPtr<IXMLDOMNode> body = Select(m_doc, u"opml/body");
    CComPtr<IXMLDOMElement> outline;
    ASSERT_EQ(S_OK, m_doc->createElement(CComBSTR(u"outline"), &outline));
    ASSERT_EQ(S_OK, body->appendChild(outline, nullptr));
    ASSERT_EQ(S_OK, outline->setAttribute(CComBSTR(u"text"), CComVariant(u"A & B")));
    ASSERT_EQ(S_OK, outline->setAttribute(CComBSTR(u"bitrate"), CComVariant(LONG(-1))));

    // The attribute-node path: create, give it a value, put it in the map.
    CComPtr<IXMLDOMNamedNodeMap> map;
    ASSERT_EQ(S_OK, outline->get_attributes(&map));
    CComPtr<IXMLDOMAttribute> url;
    ASSERT_EQ(S_OK, m_doc->createAttribute(CComBSTR(u"url"), &url));
    ASSERT_EQ(S_OK, url->put_text(CComBSTR(u"http://x/?a=1&b=2")));
    ASSERT_EQ(S_OK, map->setNamedItem(url, nullptr));
    CComPtr<IXMLDOMAttribute> again;
    ASSERT_EQ(S_OK, m_doc->createAttribute(CComBSTR(u"text"), &again));
    ASSERT_EQ(S_OK, again->put_nodeValue(CComVariant(u"C")));
    ASSERT_EQ(S_OK, map->setNamedItem(again, nullptr));
    ASSERT_EQ(S_OK, outline->setAttribute(CComBSTR(u"bitrate"), CComVariant(LONG(128))));
    EXPECT_EQ(u"<outline text=\"C\" bitrate=\"128\" url=\"http://x/?a=1&amp;b=2\"/>", Xml(outline));

    LONG length = 0;
    EXPECT_EQ(S_OK, map->get_length(&length));
    EXPECT_EQ(3, length);
    CComPtr<IXMLDOMNode> second;
    ASSERT_EQ(S_OK, map->get_item(1, &second));
    EXPECT_EQ(u"bitrate", Name(second));
    // The attribute node now stands for the element's attribute.
    ASSERT_EQ(S_OK, url->put_text(CComBSTR(u"changed")));
    EXPECT_EQ(u"changed", Attr(outline, u"url"));

    CComPtr<IXMLDOMNode> removed;
    ASSERT_EQ(S_OK, map->removeNamedItem(CComBSTR(u"url"), &removed));
    EXPECT_EQ(u"changed", Text(removed));
    EXPECT_EQ(S_FALSE, map->removeNamedItem(CComBSTR(u"url"), nullptr));
    CComPtr<IXMLDOMNode> missing;
    EXPECT_EQ(S_FALSE, map->getNamedItem(CComBSTR(u"url"), &missing));
    EXPECT_EQ(nullptr, missing.p);
    CComVariant value;
    EXPECT_EQ(S_FALSE, outline->getAttribute(CComBSTR(u"url"), &value));
    EXPECT_EQ(VT_NULL, value.vt);
    // An attribute in use by another element is refused.
    CComPtr<IXMLDOMAttribute> inUse;
    ASSERT_EQ(S_OK, m_doc->createAttribute(CComBSTR(u"id"), &inUse));
    ASSERT_EQ(S_OK, map->setNamedItem(inUse, nullptr));
    CComPtr<IXMLDOMNamedNodeMap> bodyMap;
    ASSERT_EQ(S_OK, body->get_attributes(&bodyMap));
    EXPECT_EQ(E_INVALIDARG, bodyMap->setNamedItem(inUse, nullptr));
}

TEST_F(DomEdit, NodeNamesTypesAndValues) {
    LoadXml(u"<r><!--note--><![CDATA[raw<]]>text<e a='1'/></r>");
    CComPtr<IXMLDOMElement> root = Root(m_doc);
    CComPtr<IXMLDOMNodeList> children;
    ASSERT_EQ(S_OK, root->get_childNodes(&children));
    const char16_t* names[] = {u"#comment", u"#cdata-section", u"#text", u"e"};
    const DOMNodeType types[] = {NODE_COMMENT, NODE_CDATA_SECTION, NODE_TEXT, NODE_ELEMENT};
    for (LONG i = 0; i < 4; ++i) {
        CComPtr<IXMLDOMNode> child;
        ASSERT_EQ(S_OK, children->get_item(i, &child));
        EXPECT_EQ(names[i], Name(child));
        DOMNodeType type = NODE_INVALID;
        child->get_nodeType(&type);
        EXPECT_EQ(types[i], type);
    }
    EXPECT_EQ(u"#document", Name(m_doc));
    EXPECT_EQ(u"raw<text", Text(root));
    CComVariant value;
    EXPECT_EQ(S_FALSE, root->get_nodeValue(&value));
    EXPECT_EQ(VT_NULL, value.vt);
    EXPECT_EQ(E_FAIL, root->put_nodeValue(CComVariant(u"x")));
    CComPtr<IXMLDOMNode> parent;
    ASSERT_EQ(S_OK, root->get_parentNode(&parent));
    EXPECT_EQ(u"#document", Name(parent));
    CComPtr<IXMLDOMElement> element;
    CComPtr<IXMLDOMNode> comment;
    ASSERT_EQ(S_OK, root->get_firstChild(&comment));
    EXPECT_EQ(E_NOINTERFACE, comment.QueryInterface(&element, IID_IXMLDOMElement));
}

TEST_F(DomEdit, PutTextReplacesChildrenAndRemovedNodesStayUsable) {
    LoadXml(u"<r><title>  Old <b>bold</b> </title><keep/></r>");
    CComPtr<IXMLDOMNode> title = Select(m_doc, u"r/title");
    EXPECT_EQ(u"Old bold", Text(title));
    CComPtr<IXMLDOMNode> bold = Select(title, u"b");
    ASSERT_EQ(S_OK, title->put_text(CComBSTR(u"New & <x>")));
    EXPECT_EQ(u"New & <x>", Text(title));
    EXPECT_EQ(u"<title>New &amp; &lt;x&gt;</title>", Xml(title));
    // The removed child still answers, and has no parent any more.
    EXPECT_EQ(u"bold", Text(bold));
    CComPtr<IXMLDOMNode> parent;
    EXPECT_EQ(S_FALSE, bold->get_parentNode(&parent));

    CComPtr<IXMLDOMNode> keep = Select(m_doc, u"r/keep");
    CComPtr<IXMLDOMElement> root = Root(m_doc);
    CComPtr<IXMLDOMNode> old;
    ASSERT_EQ(S_OK, root->removeChild(keep, &old));
    EXPECT_EQ(keep.p, old.p);
    EXPECT_EQ(E_INVALIDARG, root->removeChild(keep, nullptr));
    // Re-inserted under the element it came from, after a move of title.
    ASSERT_EQ(S_OK, bold->appendChild(keep, nullptr));
    ASSERT_EQ(S_OK, title->appendChild(bold, nullptr));
    EXPECT_EQ(u"<r><title>New &amp; &lt;x&gt;<b>bold<keep/></b></title></r>", Xml(root));
    // A node cannot go inside itself.
    EXPECT_EQ(E_INVALIDARG, keep->appendChild(root, nullptr));
    CComPtr<IXMLDOMText> text;
    ASSERT_EQ(S_OK, m_doc->createTextNode(CComBSTR(u"!"), &text));
    ASSERT_EQ(S_OK, keep->appendChild(text, nullptr));
    EXPECT_EQ(u"New & <x>bold!", Text(root));
}

TEST_F(DomEdit, NodesOutliveTheirDocumentReference) {
    CComPtr<IXMLDOMNode> node;
    LoadXml(u"<a><b>x</b></a>");
    node = Select(m_doc, u"a/b");
    CComPtr<IXMLDOMDocument> owner;
    ASSERT_EQ(S_OK, node->get_ownerDocument(&owner));
    EXPECT_EQ(m_doc.p, owner.p);
    owner.Release();
    m_doc.Release();
    EXPECT_EQ(u"x", Text(node));
    ASSERT_EQ(S_OK, node->get_ownerDocument(&owner));
    CComPtr<IXMLDOMElement> root;
    EXPECT_EQ(S_OK, owner->get_documentElement(&root));
}

}  // namespace
}  // namespace orvi::test

// XPath selection relative to a node, with the query forms the system uses.
#include "DomTestSupport.h"

namespace orvi::test {
namespace {

using DomSelect = DomTest;

const char16_t kConfig[] =
    u"<orvi><environment>"
    u"<param name='skin' value='a.xml'/>"
    u"<param name='title' lang='9' value='Radio'/>"
    u"<param name='title' lang='2052' value='Diantai'/>"
    u"<param name='title' value='plain'/>"
    u"</environment>"
    u"<views rotated='false'><view name='main' height='40'/></views>"
    u"<views rotated='true'><view name='main' height='30'/></views>"
    u"<body><outline text='a'/><hiddenoutline text='h'/><outline text='b'><outline text='c'/></outline></body>"
    u"</orvi>";

TEST_F(DomSelect, QueryFormsRelativeToANode) {
    LoadXml(kConfig);
    CComPtr<IXMLDOMNode> env = Select(m_doc, u"orvi/environment");
    ASSERT_NE(nullptr, env.p);
    EXPECT_EQ(u"a.xml", Attr(Select(env, u"param[@name='skin']"), u"value"));
    EXPECT_EQ(u"Diantai", Attr(Select(env, u"param[@name='title'][@lang='2052']"), u"value"));
    // Without a language the first param of that name matches.
    EXPECT_EQ(u"Radio", Attr(Select(env, u"param[@name='title']"), u"value"));

    CComPtr<IXMLDOMElement> root;
    ASSERT_EQ(S_OK, m_doc->get_documentElement(&root));
    EXPECT_EQ(u"30", Attr(Select(root, u"views[@rotated='true']/view[@name='main']"), u"height"));
    EXPECT_EQ(u"40", Attr(Select(root, u"views[@rotated='false']/view[@name='main']"), u"height"));

    CComPtr<IXMLDOMNodeList> list;
    ASSERT_EQ(S_OK, root->selectNodes(CComBSTR(u"body/outline|body/hiddenoutline"), &list));
    LONG length = 0;
    ASSERT_EQ(S_OK, list->get_length(&length));
    ASSERT_EQ(3, length);
    std::u16string order;
    for (CComPtr<IXMLDOMNode> item; list->nextNode(&item) == S_OK; item.Release())
        order += Attr(item, u"text");
    EXPECT_EQ(u"ahb", order);  // document order across the union
    CComPtr<IXMLDOMNode> past;
    EXPECT_EQ(S_FALSE, list->get_item(3, &past));
    EXPECT_EQ(nullptr, past.p);
}

TEST_F(DomSelect, NothingFoundAndInvalidQueries) {
    LoadXml(kConfig);
    CComPtr<IXMLDOMNode> env = Select(m_doc, u"orvi/environment");
    CComPtr<IXMLDOMNode> none;
    EXPECT_EQ(S_FALSE, env->selectSingleNode(CComBSTR(u"param[@name='missing']"), &none));
    EXPECT_EQ(nullptr, none.p);
    // A name holding a quote breaks the query: an error, never a crash.
    EXPECT_EQ(E_FAIL, env->selectSingleNode(CComBSTR(u"param[@name='it's']"), &none));
    EXPECT_EQ(nullptr, none.p);
    CComPtr<IXMLDOMNodeList> list;
    EXPECT_EQ(E_FAIL, env->selectNodes(CComBSTR(u"count(param)"), &list));
    EXPECT_EQ(E_FAIL, env->selectNodes(CComBSTR(u"///"), &list));
    EXPECT_EQ(nullptr, list.p);
    EXPECT_EQ(E_POINTER, env->selectSingleNode(CComBSTR(u"param"), nullptr));
}

TEST_F(DomSelect, PlaylistEntriesAndAttributeResults) {
    LoadXml(u"<ASX><Entry><REF HREF='a'/></Entry><ENTRY ClientSkip='YES'><ref href='b'/></ENTRY>"
            u"<Repeat><Entry><Ref HREF='c'/></Entry></Repeat></ASX>");
    CComPtr<IXMLDOMElement> root;
    ASSERT_EQ(S_OK, m_doc->get_documentElement(&root));
    CComPtr<IXMLDOMNodeList> entries;
    ASSERT_EQ(S_OK, root->selectNodes(CComBSTR(u"Entry|ENTRY|entry|Repeat/Entry"), &entries));
    LONG length = 0;
    entries->get_length(&length);
    ASSERT_EQ(3, length);
    CComPtr<IXMLDOMNode> third;
    ASSERT_EQ(S_OK, entries->get_item(2, &third));
    CComPtr<IXMLDOMNode> ref = Select(third, u"REF|ref|Ref");
    ASSERT_NE(nullptr, ref.p);
    EXPECT_EQ(u"c", Attr(ref, u"HREF"));

    CComPtr<IXMLDOMNode> attr = Select(root, u"ENTRY/@ClientSkip");
    ASSERT_NE(nullptr, attr.p);
    DOMNodeType type = NODE_INVALID;
    attr->get_nodeType(&type);
    EXPECT_EQ(NODE_ATTRIBUTE, type);
    EXPECT_EQ(u"YES", Text(attr));
    CComPtr<IXMLDOMNode> owner = Select(attr, u"..");
    ASSERT_NE(nullptr, owner.p);
    EXPECT_EQ(u"ENTRY", Name(owner));
}

}  // namespace
}  // namespace orvi::test

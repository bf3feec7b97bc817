// Keeps the wrappers of one document pointing at live nodes. pugixml can move
// a node only inside its own tree and destroys what it removes, while the DOM
// lets nodes outlive their removal and travel between the document and the
// trees of created nodes. So a node that changes trees is copied, every
// wrapper of the old subtree is retargeted to the copy, and only then is the
// original removed. Arguments are taken by value because retargeting may
// change the very wrapper they came from.
#pragma once

#include <mutex>
#include <unordered_map>
#include <unordered_set>

#include "xml/XmlRef.h"

namespace orvi::xml {

class CXmlNodeBase;

class CXmlNodeTracker {
public:
    void Register(CXmlNodeBase* wrapper);
    void Unregister(CXmlNodeBase* wrapper);

    // A tree of its own for a created or removed node.
    static XmlTree NewTree();

    // Appends child's node as the last child of parent's node. E_INVALIDARG
    // when that would put a node inside itself or the node cannot go there.
    HRESULT AppendChild(const XmlRef& parent, XmlRef child);
    // Moves a node (not an attribute) out of its tree into a tree of its own.
    HRESULT Detach(XmlRef node);
    // Puts an attribute onto element: a same-named attribute takes its value
    // in place, else it is appended.
    HRESULT PlaceAttribute(const XmlRef& element, XmlRef attribute);
    HRESULT DetachAttribute(XmlRef attribute);
    // A tree holding one attribute that belongs to no element, on a holder
    // element that is not part of the DOM.
    static XmlRef NewAttribute(const char* name);
    static bool IsFreeAttribute(const XmlRef& attribute);

private:
    struct Target {
        XmlTree tree;
        pugi::xml_node node;
        pugi::xml_attribute attr;
    };
    using NodeMap = std::unordered_map<pugi::xml_node_struct*, pugi::xml_node>;
    using AttrMap = std::unordered_map<pugi::xml_attribute_struct*, Target>;

    HRESULT CopyInto(XmlRef child, const XmlTree& tree, pugi::xml_node parent);
    void Retarget(const XmlTree& tree, const NodeMap& nodes, const AttrMap& attrs);
    static void MapSubtree(pugi::xml_node from, pugi::xml_node to, const XmlTree& tree,
                           NodeMap& nodes, AttrMap& attrs);
    static bool IsInside(pugi::xml_node node, pugi::xml_node ancestor);

    std::mutex m_lock;
    std::unordered_set<CXmlNodeBase*> m_wrappers;
};

}  // namespace orvi::xml

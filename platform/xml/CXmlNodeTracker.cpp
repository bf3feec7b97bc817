#include "xml/CXmlNodeTracker.h"

#include <cstring>

#include "xml/CXmlNodeBase.h"

namespace orvi::xml {
namespace {

// Not a valid XML name, so no parsed element can be mistaken for a holder.
constexpr char kHolderName[] = " attribute";

}  // namespace

XmlRef CXmlNodeTracker::NewAttribute(const char* name) {
    XmlTree tree = NewTree();
    pugi::xml_node holder = tree->append_child(kHolderName);
    pugi::xml_attribute attr = holder.append_attribute(name);
    return XmlRef{tree, holder, attr};
}

bool CXmlNodeTracker::IsFreeAttribute(const XmlRef& attribute) {
    return attribute.IsAttribute() && std::strcmp(attribute.node.name(), kHolderName) == 0 &&
           attribute.node.parent().type() == pugi::node_document;
}

void CXmlNodeTracker::Register(CXmlNodeBase* wrapper) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_wrappers.insert(wrapper);
}

void CXmlNodeTracker::Unregister(CXmlNodeBase* wrapper) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_wrappers.erase(wrapper);
}

XmlTree CXmlNodeTracker::NewTree() {
    return std::make_shared<pugi::xml_document>();
}

bool CXmlNodeTracker::IsInside(pugi::xml_node node, pugi::xml_node ancestor) {
    for (; node; node = node.parent()) {
        if (node == ancestor)
            return true;
    }
    return false;
}

HRESULT CXmlNodeTracker::AppendChild(const XmlRef& parent, XmlRef child) {
    if (child.IsAttribute() || parent.IsAttribute() || !child.node || !parent.node)
        return E_INVALIDARG;
    pugi::xml_node_type type = child.node.type();
    if (type == pugi::node_document || IsInside(parent.node, child.node))
        return E_INVALIDARG;
    if (parent.node.type() != pugi::node_element && parent.node.type() != pugi::node_document)
        return E_INVALIDARG;
    pugi::xml_node target = parent.node;
    if (child.tree == parent.tree)
        return target.append_move(child.node) ? S_OK : E_INVALIDARG;
    return CopyInto(child, parent.tree, parent.node);
}

HRESULT CXmlNodeTracker::Detach(XmlRef node) {
    if (node.IsAttribute() || !node.node || node.node.type() == pugi::node_document)
        return E_INVALIDARG;
    XmlTree tree = NewTree();
    return CopyInto(node, tree, *tree);
}

HRESULT CXmlNodeTracker::CopyInto(XmlRef child, const XmlTree& tree, pugi::xml_node parent) {
    pugi::xml_node copy = parent.append_copy(child.node);
    if (!copy)
        return E_INVALIDARG;
    NodeMap nodes;
    AttrMap attrs;
    MapSubtree(child.node, copy, tree, nodes, attrs);
    Retarget(tree, nodes, attrs);
    // The source tree stays alive through `child` until the removal is done.
    child.node.parent().remove_child(child.node);
    return S_OK;
}

void CXmlNodeTracker::MapSubtree(pugi::xml_node from, pugi::xml_node to, const XmlTree& tree,
                                 NodeMap& nodes, AttrMap& attrs) {
    nodes[from.internal_object()] = to;
    pugi::xml_attribute a = from.first_attribute();
    pugi::xml_attribute b = to.first_attribute();
    for (; a && b; a = a.next_attribute(), b = b.next_attribute())
        attrs[a.internal_object()] = Target{tree, to, b};
    pugi::xml_node c = from.first_child();
    pugi::xml_node d = to.first_child();
    for (; c && d; c = c.next_sibling(), d = d.next_sibling())
        MapSubtree(c, d, tree, nodes, attrs);
}

void CXmlNodeTracker::Retarget(const XmlTree& tree, const NodeMap& nodes, const AttrMap& attrs) {
    std::lock_guard<std::mutex> guard(m_lock);
    for (CXmlNodeBase* wrapper : m_wrappers) {
        const XmlRef& ref = wrapper->Ref();
        if (ref.IsAttribute()) {
            auto it = attrs.find(ref.attr.internal_object());
            if (it != attrs.end())
                wrapper->Retarget(XmlRef{it->second.tree, it->second.node, it->second.attr});
        } else if (ref.node) {
            auto it = nodes.find(ref.node.internal_object());
            if (it != nodes.end())
                wrapper->Retarget(XmlRef{tree, it->second, {}});
        }
    }
}

HRESULT CXmlNodeTracker::PlaceAttribute(const XmlRef& element, XmlRef attribute) {
    if (!attribute.IsAttribute() || element.IsAttribute() ||
        element.node.type() != pugi::node_element)
        return E_INVALIDARG;
    if (attribute.node == element.node)
        return S_OK;
    // An attribute still set on another element is in use.
    if (!IsFreeAttribute(attribute))
        return E_INVALIDARG;
    pugi::xml_attribute placed = element.node.attribute(attribute.attr.name());
    pugi::xml_node target = element.node;
    if (!placed)
        placed = target.append_attribute(attribute.attr.name());
    if (!placed || !placed.set_value(attribute.attr.value()))
        return E_OUTOFMEMORY;
    AttrMap attrs;
    attrs[attribute.attr.internal_object()] = Target{element.tree, element.node, placed};
    Retarget(element.tree, {}, attrs);
    attribute.node.remove_attribute(attribute.attr);
    return S_OK;
}

HRESULT CXmlNodeTracker::DetachAttribute(XmlRef attribute) {
    if (!attribute.IsAttribute())
        return E_INVALIDARG;
    if (IsFreeAttribute(attribute))
        return S_OK;
    XmlRef free = NewAttribute(attribute.attr.name());
    if (!free.attr || !free.attr.set_value(attribute.attr.value()))
        return E_OUTOFMEMORY;
    AttrMap attrs;
    attrs[attribute.attr.internal_object()] = Target{free.tree, free.node, free.attr};
    Retarget(free.tree, {}, attrs);
    attribute.node.remove_attribute(attribute.attr);
    return S_OK;
}

}  // namespace orvi::xml

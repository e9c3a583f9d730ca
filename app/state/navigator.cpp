#include "navigator.h"

#include <algorithm>

namespace vdx {

void NavigatorTree::clear() {
    nodes_.clear();
    ++revision_;
}

int NavigatorTree::add(int parent, const std::string& key, const std::string& text, int image,
                       int selectedImage) {
    return insertBefore(-1, parent, key, text, image, selectedImage);
}

int NavigatorTree::insertBefore(int before, int parent, const std::string& key, const std::string& text,
                                int image, int selectedImage) {
    NavigatorNode n;
    n.id = nextId_++;
    n.parent = parent;
    n.key = key;
    n.text = text;
    n.image = image;
    n.selectedImage = selectedImage;
    // Siblings show in the order of the list: the node goes where its
    // sibling stood.
    auto at = std::find_if(nodes_.begin(), nodes_.end(),
                           [&](const NavigatorNode& m) { return m.id == before && m.parent == parent; });
    nodes_.insert(at, n);
    ++revision_;
    return n.id;
}

bool NavigatorTree::remove(int id) {
    if (!node(id)) return false;
    std::vector<int> doomed{id};
    for (size_t i = 0; i < doomed.size(); ++i)
        for (const auto& n : nodes_)
            if (n.parent == doomed[i]) doomed.push_back(n.id);
    std::erase_if(nodes_, [&](const NavigatorNode& n) {
        return std::find(doomed.begin(), doomed.end(), n.id) != doomed.end();
    });
    ++revision_;
    return true;
}

const NavigatorNode* NavigatorTree::node(int id) const {
    for (const auto& n : nodes_)
        if (n.id == id) return &n;
    return nullptr;
}

int NavigatorTree::findByKey(const std::string& key) const {
    if (key.empty()) return -1;
    for (const auto& n : nodes_)
        if (n.key == key) return n.id;
    return -1;
}

int NavigatorTree::findByPath(const std::string& fullPath) const {
    for (const auto& n : nodes_)
        if (this->fullPath(n.id) == fullPath) return n.id;
    return -1;
}

std::string NavigatorTree::fullPath(int id) const {
    std::string path;
    for (const NavigatorNode* n = node(id); n; n = node(n->parent))
        path = path.empty() ? n->text : n->text + kPathSeparator + path;
    return path;
}

std::vector<int> NavigatorTree::children(int id) const {
    std::vector<int> out;
    for (const auto& n : nodes_)
        if (n.parent == id) out.push_back(n.id);
    return out;
}

}  // namespace vdx

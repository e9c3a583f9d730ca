// The navigator tree as data. Commands add and remove entries here; the main
// window mirrors it in its tree widget. Entries are told apart by their full
// path: the texts from the top-level entry down, joined by "_".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vdx {

struct NavigatorNode {
    int id = 0;             // stable while the node exists
    int parent = -1;        // id of the parent, -1 for a top-level node
    std::string key;        // may be empty
    std::string text;
    int image = 0;          // 1 folder, 2 open folder, 3 table
    int selectedImage = 0;  // 0 when none
};

class NavigatorTree {
public:
    static constexpr char kPathSeparator = '_';

    void clear();
    // Adds a node under parent (-1 for top level); returns its id.
    int add(int parent, const std::string& key, const std::string& text, int image,
            int selectedImage = 0);
    // The same, placed just before its sibling `before` (last when `before`
    // is no child of parent).
    int insertBefore(int before, int parent, const std::string& key, const std::string& text, int image,
                     int selectedImage = 0);
    // Removes a node and everything below it; false when there is no such id.
    bool remove(int id);

    const std::vector<NavigatorNode>& nodes() const { return nodes_; }  // in insertion order
    const NavigatorNode* node(int id) const;
    int findByKey(const std::string& key) const;        // -1 when missing
    int findByPath(const std::string& fullPath) const;  // -1 when missing
    std::string fullPath(int id) const;
    std::vector<int> children(int id) const;  // in insertion order

    // Grows with every change, so a view can tell when to redraw.
    std::uint64_t revision() const { return revision_; }

private:
    std::vector<NavigatorNode> nodes_;
    int nextId_ = 1;
    std::uint64_t revision_ = 0;
};

// Keys and texts of the fixed entries.
inline constexpr const char* kNodeRootKey = "Main";
inline constexpr const char* kNodeDataKey = "DATA";
inline constexpr const char* kNodeRateKey = "RATE";
inline constexpr const char* kNodePyKey = "PY";
inline constexpr const char* kPyAllKey = "PYAgeCalendarKey";
inline constexpr const char* kPySex1Key = "PYSex1AgeCalendarKey";
inline constexpr const char* kPySex2Key = "PYSex2AgeCalendarKey";

}  // namespace vdx

// A cause-of-death group: the death value of Compute > SMR and SRR as one
// code ("162"), or a list of codes and ranges ("160-165, 170"). Ranges
// include their bounds; every code and bound is a whole number between 0
// and 32767 (a numeric death column holds whole codes; 162.9 is refused,
// never rounded to 163). The deaths count tests each row's
// code against the group's few ranges, kept sorted and merged.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vdx::mortality {

struct DeathGroupParse;
DeathGroupParse ParseDeathGroup(const std::string& text);

class DeathGroup {
public:
    struct Range {
        double low, high;
    };

    DeathGroup() = default;
    explicit DeathGroup(int16_t code) : first_(code), ranges_{{double(code), double(code)}} {}

    // Whether a row whose death column holds `code` counts.
    bool contains(double code) const;
    // The first code typed: what the project stores as its death code.
    int16_t firstCode() const { return first_; }
    const std::vector<Range>& ranges() const { return ranges_; }
    // One code only, as every death value was before groups.
    bool isSingleCode() const { return ranges_.size() == 1 && ranges_[0].low == ranges_[0].high; }

private:
    friend DeathGroupParse ParseDeathGroup(const std::string& text);
    int16_t first_ = 0;
    std::vector<Range> ranges_;  // sorted by low, not overlapping
};

// What ParseDeathGroup makes of a death value as typed: the group, or the
// message that refuses it (32 or 33 of the message table, or a text naming
// the part that is wrong) in `message`, with `number` the message's number
// (0 for a text of its own).
struct DeathGroupParse {
    bool ok = false;
    DeathGroup group;
    int number = 0;
    std::string message;
};

}  // namespace vdx::mortality

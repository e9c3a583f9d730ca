// A cause-of-death group: the death value of Compute > SMR and SRR as one
// code ("162"), or a list of codes and ranges ("160-165, 170"). Ranges
// include their bounds; every code and bound is a whole number between 0
// and 32767 (a numeric death column holds whole codes; 162.9 is refused,
// never rounded to 163). The deaths count tests each row's
// code against the group's few ranges, kept sorted and merged.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
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

// A group of codes of a text death column, such as ICD codes as a registry
// writes them ("C34.1", "162.9"). Codes and bounds compare after removing
// blanks and dots and upper-casing ("c34.1 " is C341). "C34" takes every
// code that starts with C34; a range "C33-C34" takes every code whose first
// characters, as many as each bound has, lie between the bounds (both
// included); a group joins them with commas ("X60-X84, Y870"); "*" takes
// every code that is not empty. An empty code is no death.
struct CodeGroupParse;
CodeGroupParse ParseCodeGroup(const std::string& text);

class CodeGroup {
public:
    struct Range {
        std::string low, high;  // normalised
    };
    // Whether a row whose death column holds `normalisedCode` counts.
    bool contains(std::string_view normalisedCode) const;
    const std::vector<Range>& ranges() const { return ranges_; }
    bool all() const { return all_; }

private:
    friend CodeGroupParse ParseCodeGroup(const std::string& text);
    bool all_ = false;
    std::vector<Range> ranges_;
};

// A code without its blanks and dots, upper-cased.
std::string NormalisedCode(std::string_view code);

// The group, or a message naming the part that is wrong and saying what is
// accepted.
struct CodeGroupParse {
    bool ok = false;
    CodeGroup group;
    std::string message;
    std::string problem;  // the part that is wrong and what is accepted, for messages of their own
};

}  // namespace vdx::mortality

// A field value as the database engine and the foreign-format readers pass
// it around: Null, a boolean, an integer, a floating-point number, a date
// (day number, day 0 = 30 December 1899) or text.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace vdx {

// Column types of tables. Text has a size (characters) and may forbid
// zero-length values; Memo is long text.
enum class FieldType { Text, Memo, Boolean, Integer, Long, Single, Double, Date };

class Value {
public:
    enum class Kind { Null, Boolean, Integer, Double, Date, Text };

    Value() = default;
    static Value null() { return {}; }
    static Value boolean(bool b) { Value v; v.kind_ = Kind::Boolean; v.i_ = b ? -1 : 0; return v; }
    static Value integer(int64_t i) { Value v; v.kind_ = Kind::Integer; v.i_ = i; return v; }
    static Value real(double d) { Value v; v.kind_ = Kind::Double; v.d_ = d; return v; }
    static Value date(double dayNumber) { Value v; v.kind_ = Kind::Date; v.d_ = dayNumber; return v; }
    static Value text(std::string s) { Value v; v.kind_ = Kind::Text; v.s_ = std::move(s); return v; }

    Kind kind() const { return kind_; }
    bool isNull() const { return kind_ == Kind::Null; }
    bool isNumber() const { return kind_ == Kind::Integer || kind_ == Kind::Double || kind_ == Kind::Boolean; }

    bool asBool() const { return i_ != 0; }
    int64_t asInteger() const { return kind_ == Kind::Integer || kind_ == Kind::Boolean ? i_ : static_cast<int64_t>(d_); }
    double asDouble() const { return kind_ == Kind::Integer || kind_ == Kind::Boolean ? static_cast<double>(i_) : d_; }
    const std::string& asText() const { return s_; }

    bool operator==(const Value& o) const {
        if (kind_ != o.kind_) return false;
        switch (kind_) {
            case Kind::Null: return true;
            case Kind::Boolean:
            case Kind::Integer: return i_ == o.i_;
            case Kind::Double:
            case Kind::Date: return d_ == o.d_;
            case Kind::Text: return s_ == o.s_;
        }
        return false;
    }

private:
    Kind kind_ = Kind::Null;
    int64_t i_ = 0;
    double d_ = 0;
    std::string s_;
};

}  // namespace vdx

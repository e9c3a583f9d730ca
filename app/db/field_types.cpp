// Field types, names and the conversion of values into fields.
#include <cctype>
#include <cfloat>
#include <cmath>
#include <limits>

#include "db/db_internal.h"
#include "state/text_values.h"

namespace vdx::db {

namespace detail {

void Fail(int number, const std::string& description) { throw VdxError(number, description); }

void FailTableExists(const std::string& name) {
    Fail(err::TableExists, "Table '" + name + "' already exists.");
}

void FailObjectNotFound(const std::string& name) {
    Fail(err::ObjectNotFound, "Could not find the object '" + name +
                                  "'. Make sure it exists and that its name is spelled correctly.");
}

void FailInvalidName(const std::string& name) {
    Fail(err::InvalidName, "'" + name + "' is not a valid name. Names have 1 to 64 characters, "
                           "do not begin with a blank and contain no control characters and "
                           "none of . ! ` [ ].");
}

void RequireValidName(const std::string& name) {
    if (!IsValidName(name)) FailInvalidName(name);
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool SameName(const std::string& a, const std::string& b) { return Lower(a) == Lower(b); }

}  // namespace detail

using namespace detail;

std::string DeclaredType(const FieldDef& field) {
    switch (field.type) {
        case FieldType::Text: {
            std::string t = "TEXT(" + std::to_string(field.size > 0 ? field.size : 255) + ")";
            return field.allowZeroLength ? t : "NONEMPTY " + t;
        }
        case FieldType::Memo: return "LONGTEXT";
        case FieldType::Boolean: return "BIT";
        case FieldType::Integer: return "SHORT";
        case FieldType::Long: return "LONG";
        case FieldType::Single: return "SINGLE";
        case FieldType::Double: return "DOUBLE";
        case FieldType::Date: return "DATE";
    }
    return "TEXT(255)";
}

FieldDef FieldFromDeclaredType(const std::string& name, const std::string& declaredType) {
    FieldDef f;
    f.name = name;
    f.size = 0;
    std::string t = Lower(declaredType);
    int size = 0;
    if (auto open = t.find('('); open != std::string::npos) {
        size = std::atoi(t.c_str() + open + 1);
        t = t.substr(0, open);
    }
    while (!t.empty() && t.back() == ' ') t.pop_back();
    bool nonEmpty = false;
    if (t.rfind("nonempty ", 0) == 0) {
        nonEmpty = true;
        t = t.substr(9);
    }
    auto is = [&](std::initializer_list<const char*> names) {
        for (const char* n : names)
            if (t == n) return true;
        return false;
    };
    if (is({"text", "char", "varchar", "string", "alphanumeric", "nvarchar", "nchar",
            "character"})) {
        f.type = FieldType::Text;
        f.size = size > 0 ? size : 255;
        f.allowZeroLength = !nonEmpty;
    } else if (is({"longtext", "memo", "note", "clob"})) {
        f.type = FieldType::Memo;
    } else if (is({"bit", "yesno", "logical", "boolean", "bool"})) {
        f.type = FieldType::Boolean;
    } else if (is({"short", "smallint", "integer2", "byte", "tinyint"})) {
        f.type = FieldType::Integer;
    } else if (is({"long", "int", "integer4", "counter", "autoincrement"})) {
        f.type = FieldType::Long;
    } else if (is({"single", "float4", "ieeesingle"})) {
        f.type = FieldType::Single;
    } else if (is({"double", "float", "float8", "real", "ieeedouble", "number", "numeric",
                   "currency", "money", "decimal"})) {
        f.type = FieldType::Double;
    } else if (is({"date", "datetime", "time", "timestamp"})) {
        f.type = FieldType::Date;
    } else if (t == "integer") {
        // The 16-bit integer, as Jet names it; a foreign SQLite file may
        // mean more, so wide values are still read as they are stored.
        f.type = FieldType::Integer;
    } else {
        // Untyped or unknown: long text keeps whatever it holds.
        f.type = FieldType::Memo;
    }
    return f;
}

std::string QuoteIdentifier(const std::string& name) {
    std::string out = "\"";
    for (char c : name) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

namespace {

const char* TypeName(FieldType type) {
    switch (type) {
        case FieldType::Text: return "Text";
        case FieldType::Memo: return "Memo";
        case FieldType::Boolean: return "Boolean";
        case FieldType::Integer: return "Integer";
        case FieldType::Long: return "Long";
        case FieldType::Single: return "Single";
        case FieldType::Double: return "Double";
        case FieldType::Date: return "Date";
    }
    return "?";
}

[[noreturn]] void Mismatch(const FieldDef& field, const std::string& shown) {
    Fail(err::TypeMismatch, "Type mismatch: " + shown + " cannot be stored in the field '" +
                                field.name + "' (" + TypeName(field.type) + ").");
}

[[noreturn]] void FieldOverflow(const FieldDef& field, const std::string& shown) {
    Fail(err::Overflow, "Overflow: " + shown + " does not fit the field '" + field.name + "' (" +
                        TypeName(field.type) + ").");
}

std::string Shown(const Value& v) {
    switch (v.kind()) {
        case Value::Kind::Null: return "Null";
        case Value::Kind::Boolean: return v.asBool() ? "True" : "False";
        case Value::Kind::Integer: return std::to_string(v.asInteger());
        case Value::Kind::Double: return NumberText(v.asDouble());
        case Value::Kind::Date: return FormatDate(v.asDouble());
        case Value::Kind::Text: return "'" + v.asText() + "'";
    }
    return "?";
}

// The number a value stands for, for the numeric fields; nullopt when none.
std::optional<double> NumberOf(const Value& v) {
    switch (v.kind()) {
        case Value::Kind::Boolean: return v.asBool() ? -1.0 : 0.0;
        case Value::Kind::Integer:
        case Value::Kind::Double:
        case Value::Kind::Date: return v.asDouble();
        case Value::Kind::Text: return ReadNumber(v.asText());
        case Value::Kind::Null: break;
    }
    return std::nullopt;
}

}  // namespace

Value ConvertForField(const FieldDef& field, const Value& value) {
    if (value.isNull()) return value;
    switch (field.type) {
        case FieldType::Text:
        case FieldType::Memo: {
            std::string text;
            switch (value.kind()) {
                case Value::Kind::Text: text = value.asText(); break;
                case Value::Kind::Boolean: text = BooleanText(value.asBool()); break;
                case Value::Kind::Integer: text = std::to_string(value.asInteger()); break;
                case Value::Kind::Double: text = NumberText(value.asDouble()); break;
                case Value::Kind::Date: text = FormatDate(value.asDouble()); break;
                case Value::Kind::Null: break;
            }
            if (field.type == FieldType::Text) {
                if (text.empty() && !field.allowZeroLength)
                    Fail(err::ZeroLengthNotAllowed,
                         "The field '" + field.name + "' cannot be a zero-length string.");
                if (static_cast<int>(Utf8Length(text)) > field.size)
                    Fail(err::FieldTooSmall, "The field '" + field.name + "' is too small (" +
                                             std::to_string(field.size) +
                                             " characters) to accept the text.");
            }
            return Value::text(std::move(text));
        }
        case FieldType::Boolean: {
            if (value.kind() == Value::Kind::Text) {
                auto b = ReadBoolean(value.asText());
                if (!b) Mismatch(field, Shown(value));
                return Value::boolean(*b);
            }
            auto n = NumberOf(value);
            if (!n) Mismatch(field, Shown(value));
            return Value::boolean(*n != 0);
        }
        case FieldType::Integer:
        case FieldType::Long: {
            if (value.kind() == Value::Kind::Integer) {
                const int64_t i = value.asInteger();
                const int64_t lo = field.type == FieldType::Integer ? INT16_MIN : INT32_MIN;
                const int64_t hi = field.type == FieldType::Integer ? INT16_MAX : INT32_MAX;
                if (i < lo || i > hi) FieldOverflow(field, Shown(value));
                return value;
            }
            auto n = NumberOf(value);
            if (!n) Mismatch(field, Shown(value));
            try {
                return Value::integer(field.type == FieldType::Integer ? RoundToInt16(*n)
                                                                       : RoundToInt32(*n));
            } catch (const VdxError&) {
                FieldOverflow(field, Shown(value));
            }
        }
        case FieldType::Single: {
            auto n = NumberOf(value);
            if (!n) Mismatch(field, Shown(value));
            if (std::fabs(*n) > FLT_MAX) FieldOverflow(field, Shown(value));
            return Value::real(static_cast<double>(static_cast<float>(*n)));
        }
        case FieldType::Double: {
            auto n = NumberOf(value);
            if (!n) Mismatch(field, Shown(value));
            return Value::real(*n);
        }
        case FieldType::Date: {
            if (value.kind() == Value::Kind::Text) {
                if (auto d = ReadDate(value.asText())) return Value::date(*d);
            }
            auto n = NumberOf(value);
            if (!n) Mismatch(field, Shown(value));
            return Value::date(*n);
        }
    }
    Mismatch(field, Shown(value));
}

}  // namespace vdx::db

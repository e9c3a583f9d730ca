#include "db/exposure_tables.h"

#include <charconv>
#include <cmath>

#include "db/database.h"
#include "db/study_settings.h"
#include "db/table_stream.h"
#include "state/text_values.h"

namespace vdx::db {

namespace {

constexpr const char* kKeys[] = {study_key::kExposureAxis,       study_key::kExposureBounds,
                                 study_key::kExposureLag,        study_key::kExposureHireColumn,
                                 study_key::kExposureWorkHistory, study_key::kExposureIdColumn,
                                 study_key::kExposureDaysBelow};

void RemoveStudySetting(Database& db, const std::string& key) {
    if (!db.tableExists(kVdxStudySettings)) return;
    auto rs = db.openRecordset(kVdxStudySettings);
    for (rs->moveFirst(); !rs->eof();) {
        if (rs->value("Key").kind() == Value::Kind::Text && rs->value("Key").asText() == key) {
            rs->remove();
            return;
        }
        rs->moveNext();
    }
}

}  // namespace

std::string AxisKey(ExposureAxisKind kind) {
    switch (kind) {
        case ExposureAxisKind::TimeSinceHire: return "time-since-hire";
        case ExposureAxisKind::Duration: return "duration";
        case ExposureAxisKind::Cumulative: return "cumulative";
        case ExposureAxisKind::None: break;
    }
    return {};
}

ExposureAxisKind AxisFromKey(const std::string& key) {
    for (auto kind : {ExposureAxisKind::TimeSinceHire, ExposureAxisKind::Duration, ExposureAxisKind::Cumulative})
        if (key == AxisKey(kind)) return kind;
    return ExposureAxisKind::None;
}

std::string AxisWord(ExposureAxisKind kind) {
    switch (kind) {
        case ExposureAxisKind::TimeSinceHire: return "Since hire";
        case ExposureAxisKind::Duration: return "Duration";
        case ExposureAxisKind::Cumulative: return "Cumulative";
        case ExposureAxisKind::None: break;
    }
    return {};
}

std::string BoundText(double bound) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, bound);
    return std::string(buffer, result.ptr);
}

std::vector<double> ReadBounds(const std::string& text) {
    std::vector<double> bounds;
    size_t from = 0;
    for (;;) {
        const size_t comma = text.find(',', from);
        std::string part = text.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
        while (!part.empty() && part.front() == ' ') part.erase(0, 1);
        while (!part.empty() && part.back() == ' ') part.pop_back();
        double value = 0;
        const auto result = std::from_chars(part.data(), part.data() + part.size(), value);
        if (part.empty() || result.ec != std::errc() || result.ptr != part.data() + part.size() ||
            !std::isfinite(value) || (!bounds.empty() && !(bounds.back() < value)))
            return {};
        bounds.push_back(value);
        if (comma == std::string::npos) return bounds;
        from = comma + 1;
    }
}

std::string CategoryLabel(const std::vector<double>& bounds, int k) {
    if (k < 1 || k > static_cast<int>(bounds.size())) return {};
    const std::string low = BoundText(bounds[static_cast<size_t>(k) - 1]);
    if (k == static_cast<int>(bounds.size())) return low + "+";
    return low + "-" + BoundText(bounds[static_cast<size_t>(k)]);
}

std::string ExposureTableName(const ProgramState& state, int table, int category) {
    return PyTableName(state.py, table) + "*" + AxisWord(state.Exposure.axis.kind) + "=" +
           CategoryLabel(state.Exposure.axis.bounds, category);
}

std::string ExposureTableKey(int table, int category) {
    return "PYExposure_" + std::to_string(table) + "_" + std::to_string(category);
}

void StoreExposureTables(Database& db, const ProgramState& state, const ExposureResults& results) {
    if (db.tableExists(kVdxExposurePyValues)) db.deleteTable(kVdxExposurePyValues);
    if (!results.computed()) {
        for (const char* key : kKeys) RemoveStudySetting(db, key);
        // A study left without any study setting holds today's tables only.
        if (db.tableExists(kVdxStudySettings) && db.openRecordset(kVdxStudySettings)->recordCount() == 0)
            db.deleteTable(kVdxStudySettings);
        return;
    }
    const ExposureAxis& axis = results.axis;
    std::string bounds;
    for (double b : axis.bounds) bounds += (bounds.empty() ? "" : ",") + BoundText(b);
    WriteStudySetting(db, study_key::kExposureAxis, AxisKey(axis.kind));
    WriteStudySetting(db, study_key::kExposureBounds, bounds);
    WriteStudySetting(db, study_key::kExposureLag, std::to_string(axis.lagYears));
    WriteStudySetting(db, study_key::kExposureHireColumn, axis.hireColumn);
    WriteStudySetting(db, study_key::kExposureWorkHistory, axis.workHistory);
    WriteStudySetting(db, study_key::kExposureIdColumn, axis.idColumn);
    WriteStudySetting(db, study_key::kExposureDaysBelow, std::to_string(results.daysBelow));
    (void)state;
    db.createTable({kVdxExposurePyValues, 0, {{"PersonYears", FieldType::Long, 0, true}}});
    std::vector<int64_t> rows;
    for (const PyCells& cells : results.categories)
        for (int t = 1; t <= cells.tables(); ++t)
            for (int a = 1; a <= cells.ageClasses(); ++a)
                for (int c = 1; c <= cells.periods(); ++c) rows.push_back(cells.at(t, a, c));
    AppendIntegerRows(db, kVdxExposurePyValues, "PersonYears", rows);
}

bool LoadExposureTables(Database& db, ProgramState& state) {
    state.Exposure = ExposureResults{};
    state.ExposureEntry = ExposureAxis{};
    if (!state.py.computed || !db.tableExists(kVdxExposurePyValues)) return false;
    auto setting = [&](const char* key) { return ReadStudySetting(db, key).value_or(std::string()); };
    ExposureAxis axis;
    axis.kind = AxisFromKey(setting(study_key::kExposureAxis));
    axis.bounds = ReadBounds(setting(study_key::kExposureBounds));
    const auto lag = ReadNumber(setting(study_key::kExposureLag));
    axis.lagYears = lag && *lag >= 0 && *lag <= 200 ? static_cast<int>(*lag) : 0;
    axis.hireColumn = setting(study_key::kExposureHireColumn);
    axis.workHistory = setting(study_key::kExposureWorkHistory);
    axis.idColumn = setting(study_key::kExposureIdColumn);
    if (axis.kind == ExposureAxisKind::None || axis.bounds.empty()) return false;

    const int tables = state.PyValues.tables(), ages = state.PyValues.ageClasses(),
              periods = state.PyValues.periods();
    const size_t perCategory = static_cast<size_t>(tables) * ages * periods;
    std::vector<int64_t> rows;
    {
        TableStream stream(db, kVdxExposurePyValues, {"PersonYears"});
        if (static_cast<size_t>(stream.rowCount()) != perCategory * axis.bounds.size()) return false;
        rows.reserve(static_cast<size_t>(stream.rowCount()));
        while (stream.next()) {
            if (stream.storage(0) != TableStream::Storage::Integer && stream.storage(0) != TableStream::Storage::Real)
                return false;
            rows.push_back(static_cast<int64_t>(stream.real(0)));
        }
    }
    ExposureResults results;
    results.axis = axis;
    size_t r = 0;
    for (size_t k = 0; k < axis.bounds.size(); ++k) {
        PyCells cells;
        cells.resize(tables, ages, periods);
        for (int t = 1; t <= tables; ++t)
            for (int a = 1; a <= ages; ++a)
                for (int c = 1; c <= periods; ++c) cells.at(t, a, c) = rows[r++];
        results.categories.push_back(std::move(cells));
    }
    const auto below = ReadNumber(setting(study_key::kExposureDaysBelow));
    results.daysBelow = below ? static_cast<int64_t>(*below) : 0;
    state.Exposure = std::move(results);
    state.ExposureEntry = axis;
    return true;
}

}  // namespace vdx::db

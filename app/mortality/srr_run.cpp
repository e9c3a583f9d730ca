#include "mortality/srr_run.h"

#include "db/database.h"
#include "db/project_file.h"
#include "mortality/death_group.h"

namespace vdx::mortality {

std::vector<std::pair<std::string, std::string>> SrrSettingsRows(const MortalityResults& m) {
    // The result rows are the reset results: an integer or a double 0, both "0".
    std::vector<std::pair<std::string, std::string>> rows{
        {db::smr_row::ProjectName, m.ProjectName},
        {db::smr_row::RateTable, m.RateTableName},
        {db::smr_row::PyTable, std::to_string(m.PyTableSelector)},
        {db::smr_row::Alpha, m.SignificanceLevelText},
        {db::smr_row::DeathColumn, m.DeathColumn},
        {db::smr_row::DeathCode, std::to_string(m.DeathCode)},
        {db::smr_row::Observed, "0"},
        {db::smr_row::PersonYears, "0"},
        {db::smr_row::DeathRate, "0"},
        {db::smr_row::Expected, "0"},
        {db::smr_row::Smr, "0"},
        {db::smr_row::SmrLow, "0"},
        {db::smr_row::SmrHigh, "0"},
        {db::smr_row::Persons, "0"},
        {db::smr_row::Included, "0"},
        {db::smr_row::Lag, std::to_string(m.DeathLag)}};
    const DeathGroupParse group = ParseDeathGroup(m.DeathValuesText);
    // A group, or a code that is no number (a text column's C34), is kept as typed.
    if (!m.DeathValuesText.empty() && (!group.ok || !group.group.isSingleCode()))
        rows.emplace_back(db::smr_row::DeathValues, m.DeathValuesText);
    return rows;
}

bool RunSrr(ProgramState& state, Interaction& ui, const SmrRequest& request) {
    SmrRequest r = request;
    r.method.clear();  // an SRR project has no method
    ProjectResults srr;
    srr.storeSettings = [&](db::Database& db) {
        const std::string table = state.mortality.ProjectName + "_SMR";
        db.createTable({table, 0, {{"Typ", FieldType::Text}, {"Values", FieldType::Text}}});
        auto rs = db.openRecordset(table);
        for (const auto& [typ, value] : SrrSettingsRows(state.mortality)) {
            rs->addNew();
            rs->setValue("Typ", Value::text(typ));
            rs->setValue("Values", Value::text(value));
            rs->update();
        }
    };
    return RunProject(state, ui, r, srr);
}

}  // namespace vdx::mortality

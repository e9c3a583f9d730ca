#include "mortality/srr_run.h"

#include "db/database.h"
#include "mortality/death_group.h"

namespace vdx::mortality {

std::vector<std::pair<std::string, std::string>> SrrSettingsRows(const MortalityResults& m) {
    // The result rows are the reset results: an integer or a double 0, both "0".
    std::vector<std::pair<std::string, std::string>> rows{{"ProjectName", m.ProjectName},
            {"RateTable", m.RateTableName},
            {"PyTable", std::to_string(m.PyTableSelector)},
            {"Alpha", m.SignificanceLevelText},
            {"varDTH", m.DeathColumn},
            {"varTod", std::to_string(m.DeathCode)},
            {"totTote", "0"},
            {"totPy", "0"},
            {"totDthRate", "0"},
            {"Expected", "0"},
            {"Smr", "0"},
            {"Smr_l", "0"},
            {"Smr_h", "0"},
            {"N", "0"},
            {"NInc", "0"},
            {"Lag", std::to_string(m.DeathLag)}};
    const DeathGroupParse group = ParseDeathGroup(m.DeathValuesText);
    // A group, or a code that is no number (a text column's C34), is kept as typed.
    if (!m.DeathValuesText.empty() && (!group.ok || !group.group.isSingleCode()))
        rows.emplace_back("valuesDTH", m.DeathValuesText);
    return rows;
}

bool RunSrr(ProgramState& state, Interaction& ui, const SmrRequest& request) {
    SmrRequest r = request;
    r.method.clear();  // an SRR project has no method
    ProjectResults srr;
    srr.storeSettings = [&](db::Database& db) {
        const std::string table = state.mortality.ProjectName + "_SMR";
        db.execute("CREATE TABLE " + db::BracketName(table) + " (Typ TEXT, Values TEXT);");
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

// veldrix-cli attach STUDY.vdx (--main | --rate | --causes | --work-history) --format FORMAT SOURCE [--table TABLE]
//     [--name NAME] [--rate-unit 1|1000|100000] [--separator ,|;|tab]
//     [--id COL] [--start COL] [--end COL] [--intensity COL] [--job COL]
//     [--layout grid|long --age COL --year COL [--sex COL] [--cause COL] --rate-column COL]
//
// Tables > Main table / Rate table > Add without a window. FORMAT names the
// menu entry by its CLI name in the table of formats (access80 or access,
// excel7, dbase3, odbc, stata or dta, ...). SOURCE is the file the
// file dialog would choose, or for odbc a data source name or a full
// connection string. TABLE is the table the chooser would take (a sheet with
// or without its "$"); without it, the first one, as the chooser selects it.
// The table is registered under its own name, or NAME, and the project file
// saved; a name the study holds already is refused. --rate-unit answers
// the rate import's question: rates per person-year (the default), per 1,000
// or per 100,000 person-years, which are stored divided down to per
// person-year. --causes adds a cause list (Tables > Cause list > Add),
// checked as it comes in.
// A rate table is a grid unless --layout long names its columns: the age
// (start of the class in years), the calendar year (start of the period),
// optionally the sex and the cause, and the rate; the rates are then kept
// as read, with their unit recorded.
// A CSV file comes in
// as the text import dialog proposes it, with the separator it detects
// unless --separator gives one (",", ";" or "tab").
// --work-history adds a work history (Tables > Work history > Add); --id,
// --start, --end, --intensity and --job name its columns where their names
// do not say them.
#include <filesystem>
#include <iostream>
#include <optional>

#include "cli/cli_commands.h"
#include "cli/cli_session.h"
#include "cli/table_commands.h"
#include "db/file_commands.h"
#include "exchange/commands/attach_commands.h"
#include "exchange/commands/rate_units.h"
#include "mortality/cause_list.h"
#include "state/text_values.h"
#include "exchange/commands/scripted_attach_dialogs.h"

namespace vdx::cli {

namespace {

struct AttachArguments {
    std::string project, source;
    const exchange::FileFormat* format = nullptr;
    std::optional<std::string> table;
    std::string name;
    std::optional<int> rateUnit;  // the index of the unit among those offered
    std::optional<char> separator;  // csv
    bool main = false, rate = false, causes = false, workHistory = false;
    exchange::WorkHistoryColumns workColumns;
    std::optional<std::string> layout;  // "grid" or "long"
    db::RateLayout columns;
};

// The format of a format name; nullptr for a name attach does not take.
const exchange::FileFormat* AttachFormat(const std::string& name) {
    const exchange::FileFormat* format = exchange::FormatOfCliName(name);
    return format && AttachableFromCli(*format) ? format : nullptr;
}

std::optional<AttachArguments> Parse(const std::vector<std::string>& args) {
    AttachArguments a;
    std::vector<std::string> positional;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--main") a.main = true;
        else if (arg == "--rate") a.rate = true;
        else if (arg == "--causes") a.causes = true;
        else if (arg == "--work-history") a.workHistory = true;
        else if (arg == "--id" || arg == "--start" || arg == "--end" || arg == "--intensity" || arg == "--job") {
            if (i + 1 >= args.size() || args[i + 1].empty()) return std::nullopt;
            std::string& column = arg == "--id"      ? a.workColumns.id
                                  : arg == "--start" ? a.workColumns.start
                                  : arg == "--end"   ? a.workColumns.end
                                  : arg == "--job"   ? a.workColumns.job
                                                     : a.workColumns.intensity;
            column = args[++i];
        }
        else if (arg == "--format" || arg == "--table" || arg == "--name" || arg == "--rate-unit" ||
                   arg == "--separator" || arg == "--layout" || arg == "--age" || arg == "--year" ||
                   arg == "--sex" || arg == "--cause" || arg == "--rate-column") {
            if (i + 1 >= args.size() || args[i + 1].empty()) return std::nullopt;
            if (arg == "--format") a.format = AttachFormat(args[++i]);
            else if (arg == "--table") a.table = args[++i];
            else if (arg == "--name") a.name = args[++i];
            else if (arg == "--layout") a.layout = args[++i];
            else if (arg == "--age") a.columns.ageColumn = args[++i];
            else if (arg == "--year") a.columns.yearColumn = args[++i];
            else if (arg == "--sex") a.columns.sexColumn = args[++i];
            else if (arg == "--cause") a.columns.causeColumn = args[++i];
            else if (arg == "--rate-column") a.columns.rateColumn = args[++i];
            else if (arg == "--separator") {
                const std::string value = args[++i];
                if (value == "," || value == ";") a.separator = value[0];
                else if (value == "tab") a.separator = '\t';
                else return std::nullopt;
            } else {
                a.rateUnit = RateUnitChoice(args[++i]);
                if (!a.rateUnit) return std::nullopt;
            }
        } else if (!arg.empty() && arg[0] != '-') {
            positional.push_back(arg);
        } else {
            return std::nullopt;
        }
    }
    if (positional.size() != 2 || int(a.main) + int(a.rate) + int(a.causes) + int(a.workHistory) != 1 || !a.format ||
        (a.rateUnit && !a.rate))
        return std::nullopt;
    const exchange::WorkHistoryColumns& w = a.workColumns;
    if (!a.workHistory && !(w.id + w.start + w.end + w.intensity + w.job).empty()) return std::nullopt;
    // dBase, Paradox, Stata, SAS, SPSS and CSV files hold one table, named
    // after the file.
    const bool odbc = a.format->layout == exchange::TableLayout::DataSource;
    if (a.causes && odbc) return std::nullopt;
    if (a.table && !odbc && a.format->layout != exchange::TableLayout::Database) return std::nullopt;
    if (a.separator && a.format != &exchange::FormatNamed("csv")) return std::nullopt;
    if (a.workHistory && odbc) return std::nullopt;
    // The columns of a long table, all three required, and only with it.
    const db::RateLayout& c = a.columns;
    const bool anyColumn = !(c.ageColumn + c.yearColumn + c.sexColumn + c.causeColumn + c.rateColumn).empty();
    if (a.layout && *a.layout != "grid" && *a.layout != "long") return std::nullopt;
    if (a.layout == "long" ? (!a.rate || c.ageColumn.empty() || c.yearColumn.empty() || c.rateColumn.empty())
                           : anyColumn)
        return std::nullopt;
    a.project = positional[0];
    a.source = positional[1];
    return a;
}

}  // namespace

std::optional<int> RateUnitChoice(const std::string& unit) {
    for (int k = 0; k < static_cast<int>(std::size(exchange::kRateUnits)); ++k)
        if (unit == NumberText(exchange::kRateUnits[k])) return k;
    return std::nullopt;
}

exchange::NewTableNaming CliTableNaming(const std::optional<std::string>& name) {
    return {name.value_or(""), "The study holds a table of that name; nothing was added. Give the new table another "
                               "name with --name NAME."};
}

// ASCII files come in through `veldrix-cli import`.
bool AttachableFromCli(const exchange::FileFormat& format) {
    return format.reader && &format != &exchange::FormatNamed("text");
}

int RunAttach(const std::vector<std::string>& args) {
    const auto a = Parse(args);
    if (!a) return UsageError("attach");
    std::string source = a->source;
    const bool odbc = a->format->layout == exchange::TableLayout::DataSource;
    if (!odbc) {
        std::error_code ec;
        source = std::filesystem::absolute(a->source, ec).string();
        if (ec || !std::filesystem::is_regular_file(source)) {
            PrintMessage("There is no file " + a->source + ".");
            return kFailed;
        }
    }

    CliSession session;
    ProgramState& state = session.state;
    if (!session.lock(a->project)) return kFailed;
    if (!db::OpenProjectFile(state, session.ui, a->project)) return kFailed;

    if (a->rateUnit) session.ui.choices.push_back(*a->rateUnit);
    exchange::ScriptedAttachDialogs dialogs;
    if (a->layout == "long") dialogs.longLayout = a->columns;
    const std::string table = a->table.value_or("");  // "" takes the first table offered
    const exchange::NewTableNaming naming = CliTableNaming(a->name.empty() ? std::nullopt : std::optional(a->name));
    if (odbc) {
        dialogs.dataSources.push_back(source);
        dialogs.odbcTables.push_back(table);
    } else {
        session.ui.files.push_back(FileDialogResult{source, 1});
        dialogs.tables.push_back(table);
        // The text import dialog of a CSV file, Import clicked on what it proposes.
        const std::optional<char> separator = a->separator;
        dialogs.fillTextImport = [separator](exchange::TextImportForm& form) {
            if (separator) form.setSeparator(*separator);
            else form.proposeFromData();
        };
    }
    const bool added =
        a->causes ? exchange::AddCauseList(state, session.ui, dialogs, *a->format, mortality::RegisterCauseList, naming)
        : a->workHistory ? exchange::AddWorkHistory(state, session.ui, dialogs, *a->format, a->workColumns, naming)
        : a->main        ? exchange::AddMainTable(state, session.ui, dialogs, *a->format, naming)
                         : exchange::AddRateTable(state, session.ui, dialogs, *a->format, naming);
    if (!added) {
        if (session.ui.messages.empty()) PrintMessage("No table was added: the source offers none.");
        return kFailed;
    }
    if (!db::FileSave(state, session.ui, db::AfterFailedSave::CommandDiscarded)) return kFailed;
    if (a->causes) {
        std::cout << "cause list " << state.ExternalTableName << "\n";
        return kOk;
    }
    if (a->workHistory) {
        PrintMessage("Work history " + state.ExternalTableName + " added.");
        return kOk;
    }
    PrintAddedTable(state, a->main ? state.MainTableName : state.ExternalTableName, a->main);
    return kOk;
}

}  // namespace vdx::cli

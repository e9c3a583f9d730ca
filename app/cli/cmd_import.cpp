// veldrix-cli import STUDY.vdx (--main | --rate) FILE [--name TABLE] [--headers]
//     [--type COLUMN=TYPE ...] [--rate-unit 1|1000|100000]
//
// Tables > Main table / Rate table > Add > ASCII without a window: FILE is
// the file the dialog would choose, the options fill frmTextImport as a user
// would (chkHeaders, a column clicked and its type chosen), Import creates
// the table, the command registers it and the project file is saved.
// COLUMN is a column number, a header name (with --headers) or Var<n>; TYPE
// is Text, Integer, Long, Single, Double, Date:DDMMYYYY, Date:DDMMMYYYY,
// Date:MMDDYYYY or Date:YYYY:DD:MM. Untyped columns are Text. --rate-unit
// answers the rate import's unit question as for attach. The table is named
// TABLE or after the file; a name the study holds already is refused.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iostream>
#include <optional>

#include "cli/cli_commands.h"
#include "cli/cli_session.h"
#include "cli/table_commands.h"
#include "db/database.h"
#include "db/file_commands.h"
#include "exchange/commands/attach_commands.h"
#include "exchange/commands/scripted_attach_dialogs.h"
#include "exchange/formats/text/text_import.h"

namespace vdx::cli {

namespace {

struct TypeChoice {
    std::string type;
    std::string layout, day, month;  // for Date
};

struct ImportArguments {
    std::string project, file;
    std::optional<std::string> name;
    std::optional<int> rateUnit;  // the index of the unit among those offered
    bool main = false, rate = false, headers = false;
    std::vector<std::pair<std::string, TypeChoice>> types;  // COLUMN, TYPE
};

bool IsTwoDigits(const std::string& s, int last) {
    return s.size() == 2 && std::isdigit(static_cast<unsigned char>(s[0])) &&
           std::isdigit(static_cast<unsigned char>(s[1])) && std::stoi(s) >= 1 && std::stoi(s) <= last;
}

std::optional<TypeChoice> ParseType(const std::string& text) {
    for (const auto& t : exchange::kTextColumnTypes)
        if (text == t && t != "Date") return TypeChoice{t, "", "", ""};
    if (text.rfind("Date:", 0) != 0) return std::nullopt;
    const std::string layout = text.substr(5);
    if (layout == "DDMMYYYY" || layout == "DDMMMYYYY" || layout == "MMDDYYYY") return TypeChoice{"Date", layout, "", ""};
    // Date:YYYY:DD:MM
    if (layout.size() == 10 && layout.rfind("YYYY:", 0) == 0 && layout[7] == ':') {
        const std::string day = layout.substr(5, 2), month = layout.substr(8, 2);
        if (IsTwoDigits(day, 31) && IsTwoDigits(month, 12)) return TypeChoice{"Date", "YYYY", day, month};
    }
    return std::nullopt;
}

std::optional<ImportArguments> Parse(const std::vector<std::string>& args) {
    ImportArguments a;
    std::vector<std::string> positional;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--main") a.main = true;
        else if (arg == "--rate") a.rate = true;
        else if (arg == "--headers") a.headers = true;
        else if (arg == "--name" || arg == "--type" || arg == "--rate-unit") {
            if (i + 1 >= args.size() || args[i + 1].empty()) return std::nullopt;
            const std::string& value = args[++i];
            if (arg == "--name") {
                a.name = value;
                continue;
            }
            if (arg == "--rate-unit") {
                a.rateUnit = RateUnitChoice(value);
                if (!a.rateUnit) return std::nullopt;
                continue;
            }
            const size_t eq = value.find('=');
            if (eq == std::string::npos || eq == 0) return std::nullopt;
            auto type = ParseType(value.substr(eq + 1));
            if (!type) return std::nullopt;
            a.types.emplace_back(value.substr(0, eq), *type);
        } else if (!arg.empty() && arg[0] != '-') {
            positional.push_back(arg);
        } else {
            return std::nullopt;
        }
    }
    if (positional.size() != 2 || a.main == a.rate || (a.rateUnit && !a.rate)) return std::nullopt;
    a.project = positional[0];
    a.file = positional[1];
    return a;
}

bool SameText(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// The number (from 1) of the column a --type names, judged on the file's
// first line as the dialog's preview shows it; 0 when there is none.
int ColumnNumber(const std::string& column, const exchange::TextPreview& preview, bool headers) {
    const int count = preview.columnCount;
    auto number = [&](const std::string& digits) {
        if (digits.empty() || digits.size() > 6 ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
            return 0;
        const int n = std::stoi(digits);
        return n >= 1 && n <= count ? n : 0;
    };
    if (int n = number(column)) return n;
    if (headers && !preview.lines.empty()) {
        const auto& names = preview.lines.front();
        for (size_t c = 0; c < names.size(); ++c)
            if (SameText(names[c], column)) return static_cast<int>(c) + 1;
        return 0;
    }
    if (column.size() > 3 && SameText(column.substr(0, 3), "Var")) return number(column.substr(3));
    return 0;
}

}  // namespace

// What an added table is, on stdout.
void PrintAddedTable(const ProgramState& state, const std::string& table, bool main) {
    auto wc = db::Database::open(state.WorkingCopyName);
    const int64_t rows = wc->openRecordset(table)->recordCount();
    std::cout << table << ": " << (main ? "main data table" : "rate table") << ", " << rows << " rows\n";
    if (main)
        for (const auto& f : state.MainTableFields)
            std::cout << "  " << f.name << (f.type.empty() ? "" : "\t" + f.type) << "\n";
}

int RunImport(const std::vector<std::string>& args) {
    const auto a = Parse(args);
    if (!a) return UsageError("import");
    std::error_code ec;
    const std::string file = std::filesystem::absolute(a->file, ec).string();
    if (ec || !std::filesystem::is_regular_file(file)) {
        PrintMessage("There is no file " + a->file + ".");
        return kFailed;
    }
    // The columns the options name, found as the dialog would show them.
    std::vector<std::pair<int, TypeChoice>> types;
    if (!a->types.empty()) {
        exchange::TextPreview preview;
        try {
            preview = exchange::PreviewTextFile(file);
        } catch (const VdxError& e) {
            PrintMessage(GeneralErrorText(e.number(), e.description()));
            return kFailed;
        }
        for (const auto& [column, choice] : a->types) {
            const int n = ColumnNumber(column, preview, a->headers);
            if (n == 0) {
                PrintMessage("There is no column " + column + " in " + a->file + ".");
                return kFailed;
            }
            types.emplace_back(n, choice);
        }
    }

    CliSession session;
    ProgramState& state = session.state;
    if (!session.lock(a->project)) return kFailed;
    if (!db::OpenProjectFile(state, session.ui, a->project)) return kFailed;

    session.ui.files.push_back(FileDialogResult{file, 1});
    if (a->rateUnit) session.ui.choices.push_back(*a->rateUnit);
    exchange::ScriptedAttachDialogs dialogs;
    dialogs.fillTextImport = [&](exchange::TextImportForm& form) {
        form.setHeaders(a->headers);
        for (const auto& [column, choice] : types) {
            form.clickColumn(column);
            form.chooseType(choice.type);
            if (choice.type != "Date") continue;
            form.chooseDateLayout(choice.layout);
            if (choice.layout != "YYYY") continue;
            form.chooseDay(choice.day);
            form.chooseMonth(choice.month);
        }
    };
    const exchange::NewTableNaming naming = CliTableNaming(a->name);
    const exchange::FileFormat& ascii = exchange::FormatNamed("text");
    const bool added = a->main ? exchange::AddMainTable(state, session.ui, dialogs, ascii, naming)
                               : exchange::AddRateTable(state, session.ui, dialogs, ascii, naming);
    if (!added) return kFailed;
    if (!db::FileSave(state, session.ui, db::AfterFailedSave::CommandDiscarded)) return kFailed;
    PrintAddedTable(state, a->main ? state.MainTableName : state.ExternalTableName, a->main);
    return kOk;
}

}  // namespace vdx::cli

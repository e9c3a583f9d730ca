// The ASCII import dialog frmTextImport without its widgets: what the
// dialog holds (the preview, the column descriptions, the current column,
// "Column headers in first row"), what each of its controls does to that,
// and Import, which creates the table in the working copy and fills it with
// every line of the file. The Qt dialog shows this form and passes the
// user's clicks to it; veldrix-cli and the tests fill it directly.
//
// The file is ExternalDatabaseName + ExternalFileTitle, the new table
// ExternalTableName and the target the working copy (all from the state).
// When ExternalConnect is the CSV format's, the form reads a CSV file
// (csv_import.h): with a separator, detected on loading and changeable.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "exchange/formats/text/text_import.h"
#include "state/interaction.h"
#include "state/state.h"

namespace vdx::exchange {

inline constexpr const char* kTextImportCaption = "ASCII file import";
inline constexpr const char* kCsvImportCaption = "CSV file import";

// The entries of the day and month lists: "01" to "31", "01" to "12".
const std::vector<std::string>& TextImportDays();
const std::vector<std::string>& TextImportMonths();

class TextImportForm {
public:
    // Loads the dialog: reads the preview (at most 10 lines) of the file;
    // every column starts as "Text", column 1 is the current one. Throws
    // VdxError 53 for a missing file and 3274 for one that is not text.
    TextImportForm(ProgramState& state, Interaction& ui);

    const std::string& tableName() const { return state_.ExternalTableName; }
    int columnCount() const { return static_cast<int>(options_.columns.size()); }
    const TextColumn& column(int c) const;  // c from 1

    // What the dialog proposes on loading: the types and the header row the
    // preview's data suggest (ProposeTextImportOptions; for a CSV file the
    // whole file's, ProposeCsvImportOptions).
    void proposeFromData();
    // What the dialog says about the proposal: for a CSV column proposed as
    // Date although some of its values are not dates, those values with
    // their lines (NotDatesNotice); "" otherwise.
    const std::string& proposalNotice() const { return proposalNotice_; }

    // A CSV file: its separator (',', ';' or '\t'). Changing it reads the
    // preview again and proposes the types anew, column 1 current; VdxError
    // 13 for another separator or an ASCII file; a file that cannot be
    // read with the new separator throws and leaves the form as it was.
    bool isCsv() const { return csvSeparator_.has_value(); }
    char separator() const { return csvSeparator_.value_or(';'); }
    void setSeparator(char separator);
    // The entries of comDateFormat.
    const std::vector<std::string>& dateLayouts() const;

    // The preview grid as shown: the header row (the first line when
    // headers are checked, else the names Var1, Var2 ...) and the rows below
    // it, each field as the import would store it under its column's type.
    std::vector<std::string> headerRow() const;
    std::vector<std::vector<std::string>> rows() const;

    // chkHeaders: the first line names the columns (and moves into the header row).
    bool headers() const { return options_.headers; }
    void setHeaders(bool on) { options_.headers = on; }

    // A click on grid column c (from 1): it becomes the current column, and
    // the only selected one.
    int currentColumn() const { return current_; }
    void clickColumn(int c);
    // Several columns selected at once (c from 1; the current one among
    // them): the type controls below set all of them.
    void selectColumns(const std::vector<int>& columns);
    const std::vector<int>& selectedColumns() const { return selected_; }

    // The option buttons optText ... optDate: the type of the selected columns.
    // "Date" takes the stored layout, "DDMMYYYY" when there is none yet.
    void chooseType(const std::string& type);
    // comDateFormat, comDay, comMonth: the layout, and the day and month of
    // "YYYY" dates, of the current column. Choosing "YYYY" sets a missing
    // day and month to "01".
    void chooseDateLayout(const std::string& layout);
    void chooseDay(const std::string& day);
    void chooseMonth(const std::string& month);

    // What the type controls show for the current column.
    struct Controls {
        std::string type;         // the option button that is on
        bool layoutEnabled = false;
        std::string layout;       // the layout list's selection, "" for none
        bool dayMonthEnabled = false;
        std::string day, month;   // the day and month lists' selections
        bool operator==(const Controls&) const = default;
    };
    Controls controls() const;

    // btnImport: creates ExternalTableName in the working copy and fills it.
    // On success TextImportDone becomes true and the dialog closes (true).
    // On failure it shows the message (3010 "Table <name> already exist!"
    // and the existing table untouched; 3274 "... has wrong format!"; a
    // conversion error with the column number and type; the general
    // message otherwise), the new table is gone, TextImportDone keeps its
    // value and the dialog stays open (false).
    bool import();
    // btnCancel and the close box: TextImportDone = false.
    void cancel();

private:
    template <typename Change>
    void changeSelected(Change&& change);

    ProgramState& state_;
    Interaction& ui_;
    std::string path_;
    TextPreview preview_;
    TextImportOptions options_;
    std::optional<char> csvSeparator_;  // a CSV file
    std::vector<bool> csvMemo_;         // its columns with values over 255 characters
    std::string proposalNotice_;
    int current_ = 1;
    std::vector<int> selected_{1};
};

}  // namespace vdx::exchange

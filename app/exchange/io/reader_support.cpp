#include "exchange/io/reader_support.h"

#include <algorithm>
#include <filesystem>
#include <unordered_set>

#include "state/errors.h"
#include "state/names.h"

namespace vdx::exchange {

namespace fs = std::filesystem;

namespace {
std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

}  // namespace

void ThrowWrongFormat(const std::string& source, const std::string& why) {
    throw VdxError(err::NotExpectedFormat, source + " is not in the expected format: " + why);
}

void ThrowTableNotFound(const std::string& table) {
    throw VdxError(err::ObjectNotFound, "Could not find the table '" + table + "'.");
}

bool IsDayNumberInRange(double day) {
    // 1 January 100 and 31 December 9999.
    return day >= -657434.0 && day < 2958466.0;
}

bool SameName(const std::string& a, const std::string& b) { return Lower(a) == Lower(b); }

void CheckColumnNames(const std::vector<ColumnSpec>& columns, const std::string& table) {
    std::unordered_set<std::string> seen;
    for (size_t i = 0; i < columns.size(); ++i) {
        const std::string& name = columns[i].name;
        const std::string where = "Column " + std::to_string(i + 1) + " of " + table;
        const std::string problem = NameProblem(name);
        if (!problem.empty()) {
            // Control characters are not echoed into the message.
            const bool quote = !name.empty() && problem.find("control") == std::string::npos;
            throw VdxError(err::InvalidName, where + " " + problem + (quote ? ": '" + name + "'." : "."));
        }
        if (!seen.insert(Lower(name)).second)
            throw VdxError(err::InvalidName, where + " repeats the column name '" + name + "'.");
    }
}

std::string JoinPath(const std::string& folder, const std::string& file) {
    if (folder.empty()) return file;
    char last = folder.back();
    if (last == '/' || last == '\\') return folder + file;
    return folder + "/" + file;
}

std::string FindFileInFolder(const std::string& folder, const std::string& fileName) {
    std::string exact = JoinPath(folder, fileName);
    std::error_code ec;
    if (fs::is_regular_file(exact, ec)) return exact;
    const std::string wanted = Lower(fileName);
    for (fs::directory_iterator it(folder.empty() ? "." : folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (Lower(it->path().filename().string()) == wanted && it->is_regular_file(ec)) return it->path().string();
    }
    return {};
}

std::vector<std::string> FileTitlesInFolder(const std::string& folder, const std::string& extension) {
    std::vector<std::string> titles;
    const std::string ext = "." + Lower(extension);
    std::error_code ec;
    for (fs::directory_iterator it(folder.empty() ? "." : folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (name.size() > ext.size() && Lower(name.substr(name.size() - ext.size())) == ext &&
            it->is_regular_file(ec))
            titles.push_back(name.substr(0, name.size() - ext.size()));
    }
    std::sort(titles.begin(), titles.end());
    return titles;
}

std::string FileNameOf(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string StemOf(const std::string& fileName) {
    size_t dot = fileName.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? fileName : fileName.substr(0, dot);
}

}  // namespace vdx::exchange

#include "project/project_convert.h"

#include <filesystem>

#include "db/database.h"
#include "db/file_io.h"
#include "db/project_file.h"
#include "db/working_copy_lock.h"
#include "state/errors.h"

namespace vdx::project {

void ConvertProjectFile(const std::string& in, const std::string& out, ProjectFormat format) {
    namespace fs = std::filesystem;
    const std::string source = db::ResolveProjectFile(in);
    const std::string target = db::ResolveProjectFile(out);
    std::error_code ec;
    if (fs::weakly_canonical(source, ec) == fs::weakly_canonical(target, ec) || fs::equivalent(source, target, ec))
        throw VdxError(err::PathAccess, out + " is the file to convert; the converted study needs a file of its own.");
    if (!db::FileExists(source)) throw VdxError(err::FileNotFound, "File not found: " + in);
    // The target's working copy holds the tables on their way: its lock keeps
    // a running instance that has the target open from losing it.
    const std::string workingCopy = WorkingCopyPath(target);
    const auto lock = db::WorkingCopyLock::acquire(workingCopy, target);
    try {
        db::MakeWorkingCopy(source, workingCopy);
        {
            auto copy = db::Database::open(workingCopy);
            if (!copy->tableExists(db::kVdxSystemMain))
                throw VdxError(err::UnrecognizedDatabase, in + " is not a VELDRIX file!");
        }
        if (format == ProjectFormat::Jet)
            db::WriteJetProjectFile(workingCopy, target);
        else
            db::ReplaceFileSafely(workingCopy, target);
    } catch (...) {
        db::RemoveDatabaseFiles(workingCopy);
        throw;
    }
    db::RemoveDatabaseFiles(workingCopy);
}

}  // namespace vdx::project

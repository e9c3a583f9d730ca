#include "cli/cli_session.h"

#include <iostream>

#include "db/file_io.h"
#include "db/working_copy_lock.h"
#include "state/errors.h"

namespace vdx::cli {

void PrintMessage(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    std::cerr << out << "\n";
}

CliSession::CliSession() {
    ui.onMessage = [](const ScriptedInteraction::ShownMessage& m) {
        PrintMessage(m.details.empty() ? m.text : m.text + "\n" + m.details);
    };
}

bool CliSession::lock(const std::string& projectFile) {
    try {
        const std::string file = db::ResolveProjectFile(projectFile);
        // A study on a read-only medium gets its working copy elsewhere.
        auto lock = db::WorkingCopyLock::acquireForOpen(WorkingCopyPath(file), file);
        workingCopy_ = lock->workingCopy();
        lock_ = lock;
        state.WorkingCopyLock = lock_;
        return true;
    } catch (const VdxError& e) {
        workingCopy_.clear();
        PrintMessage(e.description());
        return false;
    }
}

CliSession::~CliSession() {
    state.WorkingCopyLock.reset();
    if (lock_) {
        db::RemoveDatabaseFiles(workingCopy_);
        lock_.reset();
    }
}

}  // namespace vdx::cli

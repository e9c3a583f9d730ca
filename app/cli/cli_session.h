// What every veldrix-cli command that works on a project file needs: a
// program state, an Interaction that prints messages to stderr and answers
// questions with their default, and the guarantee that the working copy and
// its lock are gone when the command ends, whatever happened.
#pragma once

#include <memory>
#include <string>

#include "state/scripted_interaction.h"
#include "state/state.h"

namespace vdx::cli {

class CliSession {
public:
    CliSession();
    ~CliSession();  // deletes the working copy it locked and releases the lock
    CliSession(const CliSession&) = delete;
    CliSession& operator=(const CliSession&) = delete;

    // Takes the working copy's lock for a project file before any step runs,
    // so that the session can clean up after a failed open too. A study in a
    // folder this user cannot write is opened read-only (its working copy in
    // a temporary folder; saving it is refused). False (with the message
    // printed) when another instance holds it, when it cannot be taken, or
    // when the path cannot be a project file (a name ending in "~").
    bool lock(const std::string& projectFile);

    ProgramState state;
    ScriptedInteraction ui;

private:
    std::string workingCopy_;
    std::shared_ptr<void> lock_;
};

// Prints a message as the program would show it (CR LF line breaks become
// line breaks) to stderr.
void PrintMessage(const std::string& text);

}  // namespace vdx::cli

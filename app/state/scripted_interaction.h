// An Interaction that answers from a script and records what was asked.
// Used by the tests and, with an empty script, by the command-line tool
// (where every message is printed and questions get their default answer).
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "interaction.h"

namespace vdx {

class ScriptedInteraction : public Interaction {
public:
    struct ShownMessage {
        std::string text;
        Buttons buttons;
        Icon icon;
        std::string title;
        std::string details;  // messageWithDetails
    };
    struct ShownFileDialog {
        bool save;
        FileDialogRequest request;
    };

    // Scripted answers, consumed in order. When a queue is empty a message is
    // answered with its first button (Ok or Yes), a file dialog and an input
    // box are cancelled.
    std::deque<Answer> answers;
    std::deque<std::optional<FileDialogResult>> files;
    std::deque<std::optional<std::string>> inputs;
    // Answers of choices (index from 0, nullopt Cancel); when empty, the entry
    // offered first is taken.
    std::deque<std::optional<int>> choices;
    // Polls of a progress window before it reports Cancel; -1 never cancels.
    int cancelAfterPolls = -1;

    // What happened.
    std::vector<ShownMessage> messages;
    std::vector<ShownFileDialog> fileDialogs;
    std::vector<std::string> progressLabels;
    std::vector<std::string> choicePrompts;
    std::vector<std::string> inputPrompts;
    int busyDepth = 0;
    int maxProgressValue = 0;

    // Called for every message (the command-line tool prints them).
    std::function<void(const ShownMessage&)> onMessage;

    Answer message(const std::string& text, Buttons buttons, Icon icon,
                   const std::string& title) override;
    void messageWithDetails(const std::string& text, const std::string& details, Icon icon,
                            const std::string& title) override;
    std::optional<FileDialogResult> saveFile(const FileDialogRequest& request) override;
    std::optional<FileDialogResult> openFile(const FileDialogRequest& request) override;
    std::optional<std::string> input(const std::string& prompt, const std::string& title,
                                     const std::string& defaultAnswer) override;
    std::optional<int> choose(const std::string& prompt, const std::string& title,
                              const std::vector<std::string>& entries, int selected) override;
    void busy(bool on) override;
    std::unique_ptr<Progress> progress(const std::string& caption, int maximum,
                                       bool cancellable) override;

    // Convenience for tests: the texts of the messages shown so far.
    std::vector<std::string> messageTexts() const;
};

}  // namespace vdx

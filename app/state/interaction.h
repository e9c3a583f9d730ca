// Every question the program puts to the user goes through this interface:
// message boxes, file dialogs, input boxes, the hourglass pointer and the
// progress window. The GUI implements it with Qt; tests and the command-line
// tool use ScriptedInteraction, so every command runs without a window.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vdx {

// YesNoDefaultNo: Yes and No with No as the button Return and Escape press
// (a script without an answer still takes Yes, its first button).
enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel, YesNoDefaultNo };
enum class Icon { None, Critical, Question, Exclamation, Information };
enum class Answer { Ok, Cancel, Yes, No };

// Flags of a file dialog (FileDialogRequest::flags), with the numbers of the
// common dialog the program was first written for.
namespace file_dialog {
inline constexpr int OverwritePrompt = 0x2;      // ask before replacing a file
inline constexpr int HideReadOnly = 0x4;         // no read-only check box
inline constexpr int FileMustExist = 0x1000;     // only an existing file can be opened
inline constexpr int NoReadOnlyReturn = 0x8000;  // a read-only file is refused
}  // namespace file_dialog

// A file dialog as the commands describe it. The filter uses the
// "Description (*.ext)|*.ext|..." form.
struct FileDialogRequest {
    std::string title;
    std::string initialDirectory;
    std::string fileName;
    std::string filter;
    int filterIndex = 1;
    std::string defaultExtension;
    int flags = 0;
};

struct FileDialogResult {
    std::string path;
    int filterIndex = 1;  // the filter the user chose, from 1
};

// The progress window of a long loop. The loop sets the bar and asks, at
// most a few times a second, whether the user confirmed Cancel.
class Progress {
public:
    virtual ~Progress() = default;
    virtual void setLabel(const std::string& text) = 0;
    virtual void setValue(int value) = 0;  // 0 .. maximum
    // Lets the user interface breathe (repaint, Cancel button) and reports
    // whether cancelling was requested and confirmed.
    virtual bool poll() = 0;
};

class Interaction {
public:
    virtual ~Interaction() = default;

    virtual Answer message(const std::string& text, Buttons buttons, Icon icon,
                           const std::string& title) = 0;
    // A message with an Ok button and a list of details the user can open
    // (one line each). Without a dialog of its own: the text, an empty line
    // and the details.
    virtual void messageWithDetails(const std::string& text, const std::string& details, Icon icon,
                                    const std::string& title) {
        message(details.empty() ? text : text + "\r\n\r\n" + details, Buttons::Ok, icon, title);
    }
    virtual std::optional<FileDialogResult> saveFile(const FileDialogRequest& request) = 0;
    virtual std::optional<FileDialogResult> openFile(const FileDialogRequest& request) = 0;
    // Input box; nullopt when cancelled.
    virtual std::optional<std::string> input(const std::string& prompt, const std::string& title,
                                             const std::string& defaultAnswer) = 0;
    // A choice among a few entries (a list); the index chosen from 0, nullopt
    // when cancelled. `selected` is the entry offered first.
    virtual std::optional<int> choose(const std::string& prompt, const std::string& title,
                                      const std::vector<std::string>& entries, int selected) = 0;
    // Hourglass pointer on (true) or off (false).
    virtual void busy(bool on) = 0;
    // Opens the progress window; it closes when the object is destroyed.
    virtual std::unique_ptr<Progress> progress(const std::string& caption, int maximum,
                                               bool cancellable) = 0;
};

// Shows the hourglass for the lifetime of the object.
class BusyPointer {
public:
    explicit BusyPointer(Interaction& ui) : ui_(ui) { ui_.busy(true); }
    ~BusyPointer() { ui_.busy(false); }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;

private:
    Interaction& ui_;
};

// Shows the general error message for an error number and description.
void ShowGeneralError(Interaction& ui, int number, const std::string& description);
// Shows why a run stopped: a DataError as its description alone (critical
// icon, title "Error"), any other error as the general error message.
void ShowRunError(Interaction& ui, const std::exception& error);
// Runs `work` and returns what it returns; an error it throws is shown as
// the general error message and gives false.
bool ShowingErrors(Interaction& ui, const std::function<bool()>& work);

}  // namespace vdx

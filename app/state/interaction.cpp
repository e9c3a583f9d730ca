#include "interaction.h"

#include "errors.h"
#include "messages.h"
#include "scripted_interaction.h"

namespace vdx {

void ShowGeneralError(Interaction& ui, int number, const std::string& description) {
    ui.message(GeneralErrorText(number, description), Buttons::Ok, Icon::Critical, "Error");
}

void ShowRunError(Interaction& ui, const std::exception& error) {
    if (const auto* data = dynamic_cast<const DataError*>(&error))
        ui.message(data->description(), Buttons::Ok, Icon::Critical, "Error");
    else if (const auto* vdx = dynamic_cast<const VdxError*>(&error))
        ShowGeneralError(ui, vdx->number(), vdx->description());
    else
        ShowGeneralError(ui, err::EngineGeneral, error.what());
}

bool ShowingErrors(Interaction& ui, const std::function<bool()>& work) {
    try {
        return work();
    } catch (const VdxError& e) {
        ShowGeneralError(ui, e.number(), e.description());
    } catch (const std::exception& e) {
        ShowGeneralError(ui, err::EngineGeneral, e.what());
    }
    return false;
}

namespace {

class ScriptedProgress : public Progress {
public:
    ScriptedProgress(ScriptedInteraction& owner, bool cancellable)
        : owner_(owner), cancellable_(cancellable) {}
    void setLabel(const std::string& text) override { owner_.progressLabels.push_back(text); }
    void setValue(int value) override {
        if (value > owner_.maxProgressValue) owner_.maxProgressValue = value;
    }
    bool poll() override {
        ++polls_;
        return cancellable_ && owner_.cancelAfterPolls >= 0 && polls_ > owner_.cancelAfterPolls;
    }

private:
    ScriptedInteraction& owner_;
    bool cancellable_;
    int polls_ = 0;
};

}  // namespace

Answer ScriptedInteraction::message(const std::string& text, Buttons buttons, Icon icon,
                                    const std::string& title) {
    ShownMessage shown{text, buttons, icon, title, {}};
    messages.push_back(shown);
    if (onMessage) onMessage(shown);
    if (!answers.empty()) {
        Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    return (buttons == Buttons::YesNo || buttons == Buttons::YesNoCancel || buttons == Buttons::YesNoDefaultNo)
               ? Answer::Yes
               : Answer::Ok;
}

void ScriptedInteraction::messageWithDetails(const std::string& text, const std::string& details, Icon icon,
                                             const std::string& title) {
    ShownMessage shown{text, Buttons::Ok, icon, title, details};
    messages.push_back(shown);
    if (onMessage) onMessage(shown);
    if (!answers.empty()) answers.pop_front();
}

std::optional<FileDialogResult> ScriptedInteraction::saveFile(const FileDialogRequest& request) {
    fileDialogs.push_back({true, request});
    if (files.empty()) return std::nullopt;
    auto f = files.front();
    files.pop_front();
    return f;
}

std::optional<FileDialogResult> ScriptedInteraction::openFile(const FileDialogRequest& request) {
    fileDialogs.push_back({false, request});
    if (files.empty()) return std::nullopt;
    auto f = files.front();
    files.pop_front();
    return f;
}

std::optional<std::string> ScriptedInteraction::input(const std::string& prompt, const std::string&,
                                                      const std::string&) {
    inputPrompts.push_back(prompt);
    if (inputs.empty()) return std::nullopt;
    auto s = inputs.front();
    inputs.pop_front();
    return s;
}

std::optional<int> ScriptedInteraction::choose(const std::string& prompt, const std::string&,
                                               const std::vector<std::string>&, int selected) {
    choicePrompts.push_back(prompt);
    if (choices.empty()) return selected;
    auto c = choices.front();
    choices.pop_front();
    return c;
}

void ScriptedInteraction::busy(bool on) { busyDepth += on ? 1 : -1; }

std::unique_ptr<Progress> ScriptedInteraction::progress(const std::string& caption, int,
                                                        bool cancellable) {
    progressLabels.push_back(caption);
    return std::make_unique<ScriptedProgress>(*this, cancellable);
}

std::vector<std::string> ScriptedInteraction::messageTexts() const {
    std::vector<std::string> out;
    for (const auto& m : messages) out.push_back(m.text);
    return out;
}

}  // namespace vdx

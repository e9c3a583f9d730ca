#include "py/py_comp.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <optional>

#include "py/class_bounds.h"
#include "state/text_values.h"
#include "state/messages.h"

namespace vdx::py {

PySettingsSnapshot TakeSettingsSnapshot(const ProgramState& state) {
    const PySettings& p = state.py;
    PySettingsSnapshot s;
    s.varDOB = p.varDOB;
    s.varEPS = p.varEPS;
    s.varTPS = p.varTPS;
    s.varSEX = p.varSEX;
    s.varSex1 = p.varSex1;
    s.varSex2 = p.varSex2;
    s.blnSex = p.blnSex;
    s.blnAgeSelfDefined = p.blnAgeSelfDefined;
    s.blnCalendarSelfDefined = p.blnCalendarSelfDefined;
    s.varAgeFrom = p.varAgeFrom;
    s.varAgeTo = p.varAgeTo;
    s.varAgeStep = p.varAgeStep;
    s.varCalendarFrom = p.varCalendarFrom;
    s.varCalendarTo = p.varCalendarTo;
    s.varCalendarStep = p.varCalendarStep;
    s.maxAgeClass = p.maxAgeClass;
    s.maxYearClass = p.maxYearClass;
    s.blnLag = p.blnLag;
    s.varLag = p.varLag;
    s.varDOH = p.varDOH;
    s.AgeBounds = state.AgeBounds;
    s.CalendarBounds = state.CalendarBounds;
    s.MainTableFields = state.MainTableFields;
    return s;
}

namespace {

void RestoreBounds(int16_t count, const std::vector<int16_t>& saved, int16_t& stateCount,
                   std::vector<int16_t>& stateBounds) {
    stateBounds = saved.empty() ? std::vector<int16_t>(1, 0) : saved;
    const int held = static_cast<int>(stateBounds.size()) - 1;
    stateCount = count < 0 ? 0 : count;
    if (stateCount > held) stateCount = static_cast<int16_t>(held);
    stateBounds.resize(static_cast<size_t>(stateCount) + 1);
}

}  // namespace

void RestoreSettingsSnapshot(ProgramState& state, const PySettingsSnapshot& s) {
    PySettings& p = state.py;
    p.varDOB = s.varDOB;
    p.varEPS = s.varEPS;
    p.varTPS = s.varTPS;
    p.varSEX = s.varSEX;
    p.varSex1 = s.varSex1;
    p.varSex2 = s.varSex2;
    p.blnSex = s.blnSex;
    p.blnAgeSelfDefined = s.blnAgeSelfDefined;
    p.blnCalendarSelfDefined = s.blnCalendarSelfDefined;
    p.varAgeFrom = s.varAgeFrom;
    p.varAgeTo = s.varAgeTo;
    p.varAgeStep = s.varAgeStep;
    p.varCalendarFrom = s.varCalendarFrom;
    p.varCalendarTo = s.varCalendarTo;
    p.varCalendarStep = s.varCalendarStep;
    p.blnLag = s.blnLag;
    p.varLag = s.varLag;
    p.varDOH = s.varDOH;
    RestoreBounds(s.maxAgeClass, s.AgeBounds, p.maxAgeClass, state.AgeBounds);
    RestoreBounds(s.maxYearClass, s.CalendarBounds, p.maxYearClass, state.CalendarBounds);
    state.MainTableFields = s.MainTableFields;
}

bool PutBackEnteredSettings(ProgramState& state) {
    if (!state.PyEntries) return false;
    const bool computed = state.py.blnPersonYears;
    const int16_t tables = state.py.intAnzahlTables;
    state.py = state.PyEntries->py;
    state.py.blnPersonYears = computed;
    state.py.intAnzahlTables = tables;
    state.AgeBounds = state.PyEntries->AgeBounds;
    state.CalendarBounds = state.PyEntries->CalendarBounds;
    return true;
}

bool PersonYearsCommandAllowed(ProgramState& state, Interaction& ui) {
    if (!state.ProjectOpen) {
        ui.message(Message(msg::NoProjectLoaded), Buttons::Ok, Icon::Exclamation, "VELDRIX");
        return false;
    }
    if (state.MainTableName.empty()) {
        ui.message(Message(msg::NoMainTable), Buttons::Ok, Icon::Exclamation, "VELDRIX");
        return false;
    }
    return true;
}

PyCompForm PyCompFormOnLoad(const ProgramState& state) {
    PyCompForm f;
    f.comDOB = state.py.varDOB;
    f.comEPS = state.py.varEPS;
    f.comTPS = state.py.varTPS;
    f.txtAgeFrom = std::to_string(state.py.varAgeFrom);
    f.txtAgeTo = std::to_string(state.py.varAgeTo);
    f.txtAgeStep = std::to_string(state.py.varAgeStep);
    f.txtCalendarFrom = std::to_string(state.py.varCalendarFrom);
    f.txtCalendarTo = std::to_string(state.py.varCalendarTo);
    f.txtCalendarStep = std::to_string(state.py.varCalendarStep);
    return f;
}

namespace {

// A check that fails with its own text in place of the numbered message.
PyCompCheck FailWith(Interaction& ui, int message, const std::string& text,
                     PyCompControl focus = PyCompControl::None) {
    ui.message(text, Buttons::Ok, Icon::Critical, "Error");
    return {message, focus};
}

PyCompCheck Fail(Interaction& ui, int message, PyCompControl focus = PyCompControl::None) {
    return FailWith(ui, message, Message(message), focus);
}

// A column of the main data table named `name` whose type is not "date".
bool NamesNonDateColumn(const ProgramState& state, const std::string& name) {
    for (const auto& f : state.MainTableFields)
        if (f.name == name && f.type != "date") return true;
    return false;
}

// A box holds a number only when its text begins with a digit (blanks
// before it aside): "abc" or an empty box must not pass as 0.
bool BeginsWithDigit(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    return first != std::string::npos && text[first] >= '0' && text[first] <= '9';
}

// One regular series of frmPyComp: its three boxes, the settings they fill
// and the message and focus of a failure.
struct Series {
    const std::string *fromText, *toText, *stepText;
    int fromToChars;
    int16_t *from, *to, *step;
    int message;
    PyCompControl fromBox, toBox, stepBox;
};

// The number in a box when it is not whole ("2.5", or "2,5" with a decimal
// comma): the bounds are whole years, and rounding it silently would run
// other classes than the user asked for.
std::optional<double> NotWhole(const std::string& text) {
    std::string point = text;
    std::replace(point.begin(), point.end(), ',', '.');
    const double value = Val(point);
    if (!std::isfinite(value) || value == std::floor(value)) return std::nullopt;
    return value;
}

// Reads From, To and Step into the settings, in that order, up to the first
// box that holds no number; fails on that box, on a number that is not
// whole, on a number beyond 16 bits and on an inconsistent series.
PyCompCheck ReadSeries(Interaction& ui, const Series& s) {
    const std::pair<const std::string*, PyCompControl> boxes[] = {
        {s.fromText, s.fromBox}, {s.toText, s.toBox}, {s.stepText, s.stepBox}};
    static const char* const captions[] = {"From", "To", "Step"};
    int16_t* const targets[] = {s.from, s.to, s.step};
    PyCompControl tooLarge = PyCompControl::None;
    for (int i = 0; i < 3; ++i) {
        if (!BeginsWithDigit(*boxes[i].first)) return Fail(ui, s.message, boxes[i].second);
        if (const auto value = NotWhole(*boxes[i].first))
            return FailWith(ui, s.message,
                            std::string(s.message == msg::InconsistentAgeClasses ? "Age classes" : "Calendar periods") +
                                " are whole years: " + captions[i] + " holds " + NumberText(*value) +
                                ", which is not a whole number. Enter a whole number of years.",
                            boxes[i].second);
        const auto value = ReadBoxNumber(*boxes[i].first, i < 2 ? s.fromToChars : 3);
        if (value) *targets[i] = *value;
        else if (tooLarge == PyCompControl::None) tooLarge = boxes[i].second;
    }
    if (tooLarge != PyCompControl::None) return Fail(ui, s.message, tooLarge);
    if (*s.to < 1 || *s.step < 1 || *s.to < *s.from) return Fail(ui, s.message);
    return {};
}

// Every calendar bound in use must be a year from 100 to 9999.
PyCompCheck CheckCalendarYears(Interaction& ui, const ProgramState& state) {
    const bool regular = !state.py.blnCalendarSelfDefined;
    for (int k = 1; k <= state.py.maxYearClass; ++k) {
        const int year = state.CalendarBounds[static_cast<size_t>(k)];
        if (year < kFirstCalendarYear)
            return Fail(ui, msg::InconsistentCalendarClasses, regular ? PyCompControl::txtCalendarFrom : PyCompControl::None);
        if (year > kLastCalendarYear)
            return Fail(ui, msg::InconsistentCalendarClasses, regular ? PyCompControl::txtCalendarTo : PyCompControl::None);
    }
    return {};
}

// Self-defined classes are used as frmSelfDefined left them; the list must
// hold as many bounds as the count says.
bool HasBounds(int16_t count, const std::vector<int16_t>& bounds) {
    return count >= 1 && static_cast<int>(bounds.size()) - 1 >= count;
}

}  // namespace

PyCompCheck CheckPyCompute(ProgramState& state, Interaction& ui, const PyCompForm& form) {
    PySettings& p = state.py;
    p.varDOB = form.comDOB;
    p.varEPS = form.comEPS;
    p.varTPS = form.comTPS;
    if (p.varDOB.empty()) return Fail(ui, msg::NoBirthColumn);
    if (p.varEPS.empty()) return Fail(ui, msg::NoEntryColumn);
    if (p.varTPS.empty()) return Fail(ui, msg::NoExitColumn);
    // A typed name that is no column is named as such (rather than left to
    // stop the run), before the type checks.
    const std::pair<const std::string*, std::pair<int, PyCompControl>> dates[] = {
        {&form.comDOB, {msg::BirthNotDate, PyCompControl::comDOB}},
        {&form.comEPS, {msg::EntryNotDate, PyCompControl::comEPS}},
        {&form.comTPS, {msg::ExitNotDate, PyCompControl::comTPS}}};
    for (const auto& [name, check] : dates)
        if (!IsMainTableColumn(state, *name)) return FailWith(ui, check.first, NoColumnText(state, *name), check.second);
    if (NamesNonDateColumn(state, form.comDOB)) return Fail(ui, msg::BirthNotDate, PyCompControl::comDOB);
    if (NamesNonDateColumn(state, form.comEPS)) return Fail(ui, msg::EntryNotDate, PyCompControl::comEPS);
    if (NamesNonDateColumn(state, form.comTPS)) return Fail(ui, msg::ExitNotDate, PyCompControl::comTPS);
    if (p.blnSex && !p.varSexStatus) return Fail(ui, msg::BadSexStratification);
    if (p.blnLag && !p.varLagStatus) return Fail(ui, msg::BadLag);
    // The boxes of a self-defined list are greyed out: they are neither read
    // nor checked, and their settings keep their values.
    const Series ages{&form.txtAgeFrom, &form.txtAgeTo, &form.txtAgeStep, 3,
                      &p.varAgeFrom, &p.varAgeTo, &p.varAgeStep, msg::InconsistentAgeClasses,
                      PyCompControl::txtAgeFrom, PyCompControl::txtAgeTo, PyCompControl::txtAgeStep};
    if (!p.blnAgeSelfDefined)
        if (PyCompCheck r = ReadSeries(ui, ages); !r.ok()) return r;
    const Series calendar{&form.txtCalendarFrom, &form.txtCalendarTo, &form.txtCalendarStep, 4,
                          &p.varCalendarFrom, &p.varCalendarTo, &p.varCalendarStep, msg::InconsistentCalendarClasses,
                          PyCompControl::txtCalendarFrom, PyCompControl::txtCalendarTo,
                          PyCompControl::txtCalendarStep};
    if (!p.blnCalendarSelfDefined)
        if (PyCompCheck r = ReadSeries(ui, calendar); !r.ok()) return r;
    if (!p.blnAgeSelfDefined) BuildAgeBounds(state);
    if (!HasBounds(p.maxAgeClass, state.AgeBounds)) return Fail(ui, msg::NoAgeClass);
    if (!p.blnCalendarSelfDefined) BuildCalendarBounds(state);
    if (!HasBounds(p.maxYearClass, state.CalendarBounds)) return Fail(ui, msg::NoCalendarClass);
    if (PyCompCheck r = CheckCalendarYears(ui, state); !r.ok()) return r;
    return {};
}

bool IsMainTableColumn(const ProgramState& state, const std::string& name) {
    return std::any_of(state.MainTableFields.begin(), state.MainTableFields.end(),
                       [&](const FieldInfo& f) { return SameColumnName(f.name, name); });
}

bool SameColumnName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string NoColumnText(const ProgramState& state, const std::string& name) {
    return "There is no column '" + name + "' in the main data table '" + state.MainTableName +
           "'. Choose one of its columns from the list.";
}

}  // namespace vdx::py

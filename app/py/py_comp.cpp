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
    s.birthColumn = p.birthColumn;
    s.entryColumn = p.entryColumn;
    s.exitColumn = p.exitColumn;
    s.sexColumn = p.sexColumn;
    s.sexCode1 = p.sexCode1;
    s.sexCode2 = p.sexCode2;
    s.bySex = p.bySex;
    s.ageSelfDefined = p.ageSelfDefined;
    s.calendarSelfDefined = p.calendarSelfDefined;
    s.ageFrom = p.ageFrom;
    s.ageTo = p.ageTo;
    s.ageStep = p.ageStep;
    s.calendarFrom = p.calendarFrom;
    s.calendarTo = p.calendarTo;
    s.calendarStep = p.calendarStep;
    s.ageBoundCount = p.ageBoundCount;
    s.calendarBoundCount = p.calendarBoundCount;
    s.withLag = p.withLag;
    s.lagYears = p.lagYears;
    s.hireColumn = p.hireColumn;
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
    p.birthColumn = s.birthColumn;
    p.entryColumn = s.entryColumn;
    p.exitColumn = s.exitColumn;
    p.sexColumn = s.sexColumn;
    p.sexCode1 = s.sexCode1;
    p.sexCode2 = s.sexCode2;
    p.bySex = s.bySex;
    p.ageSelfDefined = s.ageSelfDefined;
    p.calendarSelfDefined = s.calendarSelfDefined;
    p.ageFrom = s.ageFrom;
    p.ageTo = s.ageTo;
    p.ageStep = s.ageStep;
    p.calendarFrom = s.calendarFrom;
    p.calendarTo = s.calendarTo;
    p.calendarStep = s.calendarStep;
    p.withLag = s.withLag;
    p.lagYears = s.lagYears;
    p.hireColumn = s.hireColumn;
    RestoreBounds(s.ageBoundCount, s.AgeBounds, p.ageBoundCount, state.AgeBounds);
    RestoreBounds(s.calendarBoundCount, s.CalendarBounds, p.calendarBoundCount, state.CalendarBounds);
    state.MainTableFields = s.MainTableFields;
}

bool PutBackEnteredSettings(ProgramState& state) {
    if (!state.PyEntries) return false;
    const bool computed = state.py.computed;
    const int16_t tables = state.py.tableCount;
    state.py = state.PyEntries->py;
    state.py.computed = computed;
    state.py.tableCount = tables;
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

PyRequest PyRequestOnLoad(const ProgramState& state) {
    PyRequest f;
    f.birthColumn = state.py.birthColumn;
    f.entryColumn = state.py.entryColumn;
    f.exitColumn = state.py.exitColumn;
    f.ageFrom = std::to_string(state.py.ageFrom);
    f.ageTo = std::to_string(state.py.ageTo);
    f.ageStep = std::to_string(state.py.ageStep);
    f.calendarFrom = std::to_string(state.py.calendarFrom);
    f.calendarTo = std::to_string(state.py.calendarTo);
    f.calendarStep = std::to_string(state.py.calendarStep);
    return f;
}

namespace {

// A check that fails with its own text in place of the numbered message.
PyCheck FailWith(Interaction& ui, int message, const std::string& text,
                     PyField focus = PyField::None) {
    ui.message(text, Buttons::Ok, Icon::Critical, "Error");
    return {message, focus};
}

PyCheck Fail(Interaction& ui, int message, PyField focus = PyField::None) {
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
    PyField fromBox, toBox, stepBox;
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
PyCheck ReadSeries(Interaction& ui, const Series& s) {
    const std::pair<const std::string*, PyField> boxes[] = {
        {s.fromText, s.fromBox}, {s.toText, s.toBox}, {s.stepText, s.stepBox}};
    static const char* const captions[] = {"From", "To", "Step"};
    int16_t* const targets[] = {s.from, s.to, s.step};
    PyField tooLarge = PyField::None;
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
        else if (tooLarge == PyField::None) tooLarge = boxes[i].second;
    }
    if (tooLarge != PyField::None) return Fail(ui, s.message, tooLarge);
    if (*s.to < 1 || *s.step < 1 || *s.to < *s.from) return Fail(ui, s.message);
    return {};
}

// Every calendar bound in use must be a year from 100 to 9999.
PyCheck CheckCalendarYears(Interaction& ui, const ProgramState& state) {
    const bool regular = !state.py.calendarSelfDefined;
    for (int k = 1; k <= state.py.calendarBoundCount; ++k) {
        const int year = state.CalendarBounds[static_cast<size_t>(k)];
        if (year < kFirstCalendarYear)
            return Fail(ui, msg::InconsistentCalendarClasses, regular ? PyField::CalendarFrom : PyField::None);
        if (year > kLastCalendarYear)
            return Fail(ui, msg::InconsistentCalendarClasses, regular ? PyField::CalendarTo : PyField::None);
    }
    return {};
}

// Self-defined classes are used as frmSelfDefined left them; the list must
// hold as many bounds as the count says.
bool HasBounds(int16_t count, const std::vector<int16_t>& bounds) {
    return count >= 1 && static_cast<int>(bounds.size()) - 1 >= count;
}

}  // namespace

PyCheck CheckPyRequest(ProgramState& state, Interaction& ui, const PyRequest& request) {
    PySettings& p = state.py;
    p.birthColumn = request.birthColumn;
    p.entryColumn = request.entryColumn;
    p.exitColumn = request.exitColumn;
    if (p.birthColumn.empty()) return Fail(ui, msg::NoBirthColumn);
    if (p.entryColumn.empty()) return Fail(ui, msg::NoEntryColumn);
    if (p.exitColumn.empty()) return Fail(ui, msg::NoExitColumn);
    // A typed name that is no column is named as such (rather than left to
    // stop the run), before the type checks.
    const std::pair<const std::string*, std::pair<int, PyField>> dates[] = {
        {&request.birthColumn, {msg::BirthNotDate, PyField::BirthColumn}},
        {&request.entryColumn, {msg::EntryNotDate, PyField::EntryColumn}},
        {&request.exitColumn, {msg::ExitNotDate, PyField::ExitColumn}}};
    for (const auto& [name, check] : dates)
        if (!IsMainTableColumn(state, *name)) return FailWith(ui, check.first, NoColumnText(state, *name), check.second);
    if (NamesNonDateColumn(state, request.birthColumn)) return Fail(ui, msg::BirthNotDate, PyField::BirthColumn);
    if (NamesNonDateColumn(state, request.entryColumn)) return Fail(ui, msg::EntryNotDate, PyField::EntryColumn);
    if (NamesNonDateColumn(state, request.exitColumn)) return Fail(ui, msg::ExitNotDate, PyField::ExitColumn);
    if (p.bySex && !p.sexDefined) return Fail(ui, msg::BadSexStratification);
    if (p.withLag && !p.lagDefined) return Fail(ui, msg::BadLag);
    // The boxes of a self-defined list are greyed out: they are neither read
    // nor checked, and their settings keep their values.
    const Series ages{&request.ageFrom, &request.ageTo, &request.ageStep, 3,
                      &p.ageFrom, &p.ageTo, &p.ageStep, msg::InconsistentAgeClasses,
                      PyField::AgeFrom, PyField::AgeTo, PyField::AgeStep};
    if (!p.ageSelfDefined)
        if (PyCheck r = ReadSeries(ui, ages); !r.ok()) return r;
    const Series calendar{&request.calendarFrom, &request.calendarTo, &request.calendarStep, 4,
                          &p.calendarFrom, &p.calendarTo, &p.calendarStep, msg::InconsistentCalendarClasses,
                          PyField::CalendarFrom, PyField::CalendarTo,
                          PyField::CalendarStep};
    if (!p.calendarSelfDefined)
        if (PyCheck r = ReadSeries(ui, calendar); !r.ok()) return r;
    if (!p.ageSelfDefined) BuildAgeBounds(state);
    if (!HasBounds(p.ageBoundCount, state.AgeBounds)) return Fail(ui, msg::NoAgeClass);
    if (!p.calendarSelfDefined) BuildCalendarBounds(state);
    if (!HasBounds(p.calendarBoundCount, state.CalendarBounds)) return Fail(ui, msg::NoCalendarClass);
    if (PyCheck r = CheckCalendarYears(ui, state); !r.ok()) return r;
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

// Class bounds of the person-years tables and the way the dialogs read the
// numbers typed into their text boxes.
//
// AgeBounds and CalendarBounds are 1-based: element 0 holds no bound, and
// the list always has ageBoundCount + 1 (calendarBoundCount + 1) elements.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "state/state.h"

namespace vdx::py {

// A regular series: count = (to - from) / step + 1 rounded halves to even,
// bounds from, from + step, ... (count of them). A step of 0 changes nothing;
// a series that would have no bound gives count 0 and an empty list. The
// last bound can fall short of `to` or pass it (0, 11, 3 gives 0 3 6 9 12).
void BuildBounds(int16_t from, int16_t to, int16_t step, int16_t& count, std::vector<int16_t>& bounds);

// The series of the settings ageFrom/To/Step into ageBoundCount and
// AgeBounds, and of calendarFrom/To/Step into calendarBoundCount and
// CalendarBounds.
void BuildAgeBounds(ProgramState& state);
void BuildCalendarBounds(ProgramState& state);

// A number typed into a text box: the first `chars` characters, their
// leading number (none gives 0, an empty box 0), rounded to a 16-bit
// integer halves to even. nullopt when the number does not fit 16 bits
// ("9e9" passes the character limit but is no 16-bit number).
std::optional<int16_t> ReadBoxNumber(const std::string& text, int chars);

// The first n characters (not bytes) of UTF-8 text.
std::string FirstCharacters(const std::string& text, int n);

}  // namespace vdx::py

// The study report's sections after the SMR projects, one per stored
// analysis of the study (tables of causes, SMR by exposure category, rate
// ratios), each read from what its run stored, as the tree shows it.
#pragma once

#include <string>
#include <vector>

#include "state/state.h"

namespace vdx::report {

// A section: its heading, its HTML body (user texts escaped) and a sentence
// for the methods paragraph, or "".
struct ExtraSection {
    std::string heading;
    std::string html;
    std::string methods;
};

// The sections of the analyses of the open study, in the order they were
// made; SMR and bounds times `nullValue`. Throws VdxError when an analysis'
// table cannot be read. Needs a QGuiApplication for the plots.
std::vector<ExtraSection> ResultSections(const ProgramState& state, double nullValue);

}  // namespace vdx::report

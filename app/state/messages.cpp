#include "messages.h"

#include <array>

namespace vdx {

namespace {

std::array<std::string, kMessageSlots> BuildTable() {
    std::array<std::string, kMessageSlots> t{};
    t[msg::WrongFileVersion] = "This VELDRIX file has not the correct file version!";
    t[msg::NoBirthColumn] = "You must select a variable for date-of-birth!";
    t[msg::NoEntryColumn] = "You must select a variable for entry-point-of-study!";
    t[msg::NoExitColumn] = "You must select a variable for termination-point-of-study!";
    t[msg::BirthNotDate] = "The variable date-of-birth must be of type date!";
    t[msg::EntryNotDate] = "The variable entry-point-of-study must be of type date!";
    t[msg::ExitNotDate] = "The variable termination-point-of-study must be of type date!";
    t[msg::BadSexStratification] = "Incorrect stratification by sex!";
    t[msg::BadLag] = "Incorrect lag definition!";
    t[msg::InconsistentAgeClasses] = "Inconsistent age class definition!";
    t[msg::InconsistentCalendarClasses] = "Inconsistent calendar class definition!";
    t[msg::NoAgeClass] = "No age class defined!";
    t[msg::NoCalendarClass] = "No calendar class defined!";
    t[msg::HireNotDate] = "The date-of-hire variable must be of type date!";
    t[msg::LagOutOfRange] = "The lag must range between 0 and 100 years!";
    t[msg::NoProjectLoaded] = "There is no VELDRIX file loaded!";
    t[msg::NoMainTable] = "There is no main data table for person-years computation!";
    t[msg::PersonYearsFirst] = "You must first calculate person-years!";
    t[msg::SaveChanges] = "Do you want to save your changes?";
    t[msg::MainTableExists] = "Main data table already exists!";
    t[msg::ReallyCancel] = "Do you really want to cancel?";
    t[msg::ProjectNameStartsWithLetter] = "The project name must start with a character!";
    t[msg::TwoSexValues] = "You must enter two values separated by a comma!";
    t[msg::SexColumnNotNumeric] = "The sex variable must be numeric!";
    t[msg::SexValuesNotNumeric] = "You must enter numeric values in the field 'Values'!";
    t[msg::SexValuesOutOfRange] = "The sex values must range between 0 and 32767!";
    t[msg::NoRateTable] = "You must select a rate table!";
    t[msg::NoPersonYearsTable] = "You must select a person-years table!";
    t[msg::NoDeathColumn] = "You must select a death variable!";
    t[msg::DeathColumnNotNumeric] = "The death variable must be a column of cause-of-death codes: a text column holding the codes as "
            "written (C34.1, 162.9), or a numeric column holding whole codes (162). The chosen column is neither.";
    t[msg::DeathValueNotNumeric] = "The death variable is a numeric column: the death value must be a whole code (162), or codes and "
            "ranges separated by commas (160-165, 170). Codes such as C34.1 or 162.9 need a text death column.";
    t[msg::DeathValueOutOfRange] = "The death variable is a numeric column: its codes are whole numbers from 0 to 32767. Write a code "
            "(162), or codes and ranges separated by commas (160-165, 170).";
    t[msg::RatesDoNotFitPersonYears] = "Rate file is not conform to person-year table!";
    t[msg::ProjectNameExists] = "This project name exists already! You cannot rename it.";
    t[msg::ExpectedIsZero] = "The expected number of deaths is zero!";
    t[msg::ObservedIsZero] = "The observed number of deaths is zero!";
    t[msg::ObservedNegative] = "The observed number must be a non negative number!";
    t[msg::ExpectedNegative] = "The expected number must be a non negative number!";
    t[msg::SmrTooBig] = "The SMR is to big to calculate!";
    t[msg::OverwriteFormerVersion] = "This file was created with a former version of VELDRIX. Do you want to override it "
            "with the current VELDRIX file version?";
    t[msg::NotAFormerVersionFile] = "This is not a VELDRIX v1.0-1.2x file";
    return t;
}

}  // namespace

const std::string& Message(int n) {
    static const std::array<std::string, kMessageSlots> table = BuildTable();
    static const std::string empty;
    if (n < 0 || n >= kMessageSlots) return empty;
    return table[static_cast<size_t>(n)];
}

std::string GeneralErrorText(int number, const std::string& description) {
    return "Following error has occured:\r\nNumber: " + std::to_string(number) +
           "\r\nDescription: " + description;
}

std::string KeepJetFormatQuestion(const std::string& projectFile, const std::string& backup) {
    return projectFile + " was written by the earlier program, in the Jet format.\r\n\r\n"
                         "Save it in the VELDRIX format? The Jet original is kept as " +
           backup +
           ".\r\n\r\nYes: save in the VELDRIX format.\r\nNo: keep the Jet format, which the earlier program "
           "can still open.";
}

}  // namespace vdx

#include "messages.h"

#include <array>

namespace vdx {

namespace {

std::array<std::string, kMessageSlots> BuildTable() {
    std::array<std::string, kMessageSlots> t{};
    t[1] = "This VELDRIX file has not the correct file version!";
    t[2] = "You must select a variable for date-of-birth!";
    t[3] = "You must select a variable for entry-point-of-study!";
    t[4] = "You must select a variable for termination-point-of-study!";
    t[5] = "The variable date-of-birth must be of type date!";
    t[6] = "The variable entry-point-of-study must be of type date!";
    t[7] = "The variable termination-point-of-study must be of type date!";
    t[8] = "Incorrect stratification by sex!";
    t[9] = "Incorrect lag definition!";
    t[10] = "Inconsistent age class definition!";
    t[11] = "Inconsistent calendar class definition!";
    t[12] = "No age class defined!";
    t[13] = "No calendar class defined!";
    t[14] = "The date-of-hire variable must be of type date!";
    t[15] = "The lag must range between 0 and 100 years!";
    t[16] = "There is no VELDRIX file loaded!";
    t[17] = "There is no main data table for person-years computation!";
    t[18] = "You must first calculate person-years!";
    t[19] = "Do you want to save your changes?";
    t[20] = "Main data table already exists!";
    t[21] = "Do you really want to cancel?";
    t[22] = "The project name must start with a character!";
    t[23] = "";
    t[24] = "You must enter two values separated by a comma!";
    t[25] = "The sex variable must be numeric!";
    t[26] = "You must enter numeric values in the field 'Values'!";
    t[27] = "The sex values must range between 0 and 32767!";
    t[28] = "You must select a rate table!";
    t[29] = "You must select a person-years table!";
    t[30] = "You must select a death variable!";
    t[31] = "The death variable must be a column of cause-of-death codes: a text column holding the codes as "
            "written (C34.1, 162.9), or a numeric column holding whole codes (162). The chosen column is neither.";
    t[32] = "The death variable is a numeric column: the death value must be a whole code (162), or codes and "
            "ranges separated by commas (160-165, 170). Codes such as C34.1 or 162.9 need a text death column.";
    t[33] = "The death variable is a numeric column: its codes are whole numbers from 0 to 32767. Write a code "
            "(162), or codes and ranges separated by commas (160-165, 170).";
    t[34] = "Rate file is not conform to person-year table!";
    t[35] = "This project name exists already! You cannot rename it.";
    t[36] = "The expected number of deaths is zero!";
    t[37] = "The observed number of deaths is zero!";
    t[38] = "The observed number must be a non negative number!";
    t[39] = "The expected number must be a non negative number!";
    t[40] = "The SMR is to big to calculate!";
    t[41] = "This file was created with a former version of VELDRIX. Do you want to override it "
            "with the current VELDRIX file version?";
    t[42] = "This is not a VELDRIX v1.0-1.2x file";
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

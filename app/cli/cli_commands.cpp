#include "cli/cli_commands.h"

#include <iostream>

#include "cli/calc_commands.h"
#include "cli/mortality_commands.h"
#include "cli/project_commands.h"
#include "cli/py_commands.h"
#include "cli/results_commands.h"
#include "cli/table_commands.h"
#include "exchange/io/file_formats.h"

namespace vdx::cli {

namespace {

// "a, b, c or d": the first CLI name of each format.
std::string NameList(const std::vector<const exchange::FileFormat*>& formats) {
    std::string list;
    for (size_t i = 0; i < formats.size(); ++i)
        list += (i == 0 ? "" : i + 1 == formats.size() ? " or " : ", ") + formats[i]->cliNames.front();
    return list;
}

std::string AttachFormatNames() {
    std::vector<const exchange::FileFormat*> formats;
    for (const exchange::FileFormat& f : exchange::FileFormats())
        if (AttachableFromCli(f)) formats.push_back(&f);
    return NameList(formats);
}

}  // namespace

const std::vector<Subcommand>& Subcommands() {
    static const std::vector<Subcommand> table{
        {"new", "[--force] STUDY.vdx", "create a new project file (--force replaces an existing one)",
         RunNew},
        {"info", "STUDY.vdx", "print the format version, tables and person-years settings", RunInfo},
        {"convert", "IN.vdx OUT.vdx [--format vdx|jet]",
         "write the project file IN into OUT in the VELDRIX format (vdx, the default) or as a Jet 3 / Access 97 "
         "database (jet); IN may be of either format and stays as it is", RunConvert},
        {"pyears",
         "STUDY.vdx --dob COL --entry COL --exit COL (--age FROM:TO:STEP | --age-classes 20-24,25-29,...) "
         "(--calendar FROM:TO:STEP | --calendar-classes 1950-1954,...) [--sex COL=CODE1,CODE2] [--lag COL=YEARS] "
         "[--by time-since-hire:0,20,30,40 [--hire COL] | --by duration:0,1,5,10 --work-history NAME --id COL | "
         "--by cumulative:0,1,5,10 --work-history NAME --id COL] [--exposure-lag YEARS]",
         "compute person-years (Compute > Person-Years) and save the project file; --by adds a third axis whose "
         "classes are lower bounds (the last class open), the hire date from COL or the first work period",
         RunPyears},
        {"check", "STUDY.vdx [--work-history NAME --id COL] [--hire COL] [--death COL] [--format csv] [--leave-out]",
         "list every problem of the main data table and the work history at once (Tools > Check cohort): code, "
         "table, row, columns, values; exit status 1 when there is one; --leave-out keeps the persons listed as "
         "left out of every run (summaries and reports say how many and why), a check without it includes them again",
         RunCheck},
        {"show", "STUDY.vdx TABLE",
         "print a person-years table (\"Age*Calendar\", \"Age*Calendar*Sex=1\") or a table of the project file, "
         "tab-separated",
         RunShow},
        {"import", "STUDY.vdx (--main | --rate) FILE [--name TABLE] [--headers] [--type COLUMN=TYPE ...] "
                   "[--rate-unit 1|1000|100000]",
         "add a semicolon ASCII file as the main data table or a rate table (Tables > Add > ASCII); TYPE is Text, "
         "Integer, Long, Single, Double, Date:DDMMYYYY, Date:DDMMMYYYY, Date:MMDDYYYY or Date:YYYY:DD:MM; "
         "--rate-unit as for attach", RunImport},
        {"attach", "STUDY.vdx (--main | --rate | --causes | --work-history) --format FORMAT SOURCE [--table TABLE] [--name NAME] "
                   "[--rate-unit 1|1000|100000] [--separator ,|;|tab] [--layout long --age COL --year COL "
                   "[--sex COL] [--cause COL] --rate-column COL] [--id COL] [--start COL] [--end COL] "
                   "[--intensity COL] [--job COL]",
         "add a table of an Access, Excel, dBase, Paradox, Stata, SAS, SPSS or CSV file or an ODBC source (FORMAT " +
             AttachFormatNames() + "); the table is named NAME or after its source; a rate table given per 1,000 or 100,000 person-years (--rate-unit) is stored per person-year; --separator overrides the separator detected in a CSV file; --layout long takes a rate table of one row per sex, age and year (the columns named), its rates kept in their unit; --causes adds a cause list (columns cause, icd10 and optionally icd9, icd8, icd7, rate), checked as it comes in; a work history (person id, start, end, intensity, job) takes the columns their names say unless --id, --start, --end, --intensity, --job name them",
         RunAttach},
        {"calc", "--observed O --expected E [--level 90|95|99] [--method NAME ...] [--null 1|100]",
         "the SMR calculator (Tools > SMR Calculator): SMR and bounds for typed numbers; NAME Exact, Byar, "
         "\"Chi Square\", \"Square Root\" or Wald (default 95 and Exact)", RunCalc},
        {"smr",
         "STUDY.vdx --rate TABLE --death COLUMN=VALUE [--pytable NAME] [--level 0.10|0.05|0.01] "
         "[--method NAME] [--name PROJECT] [--sex-column COLUMN]",
         "compute an SMR project (Compute > SMR), save the project file and print its report; NAME as the "
         "dialog lists it (\"Age*Calendar*Sex=1\", \"Exact\", \"Byar\", \"Chi Square\", \"Square Root\", "
         "\"Wald\"); VALUE one code (ICD=162) or a group of codes and ranges (\"ICD=160-165, 170\"); on a text column codes as written, compared by their first characters (\"ICD=C33-C34, C45\"); with a long rate table by sex, COLUMN holds each "
         "person's sex (default: the sex column of the person-years run)",
         RunSmr},
        {"categories",
         "STUDY.vdx --rate TABLE (--death COLUMN=VALUE | --death COLUMN --cause LIST:CAUSE) [--level 0.10|0.05|0.01] "
         "[--method NAME] [--name ANALYSIS] [--format csv|tsv] [--sex-column COLUMN]",
         "the SMR per exposure category of the last person-years run with --by (Compute > SMR by category), "
         "stored as an analysis and printed as category, days, person_years, observed, expected, smr, low, high, "
         "then the total; the death value and a long rate table (by sex: COLUMN, default the run's sex column) "
         "as the smr command takes them; --cause: the deaths of a cause of a cause list (or default), read by "
         "ICD revision as the causes command reads them",
         RunCategories},
        {"causes",
         "STUDY.vdx --list NAME|default --death COLUMN [--rate TABLE] [--revisions 9:1979,10:1999 | "
         "--revision-column COLUMN] [--pytable NAME] [--sex-column COLUMN] [--level 0.10|0.05|0.01] "
         "[--method NAME] [--name RUN] [--format csv|tsv]",
         "compute the SMR of every cause of a cause list in one run (default: the list the program brings "
         "along), store it as an analysis, save the project file and print cause, sex, observed, expected, smr, "
         "low, high; --rate gives one rate table for every cause, else the list's column rate names each "
         "cause's; a long rate table gives each cause the rates of its cause column, and rows per sex when it has a "
         "sex column (--sex-column: each person's sex); a death is read in the ICD revision in force at its date "
         "(--revisions) or named in a column, one dated before the first revision in the first",
         RunCauses},
        {"report", "STUDY.vdx PROJECT|ANALYSIS [--null 1|100]",
         "print the SMR report of a project, or the report of an analysis (causes, SMR by category, rate ratios), "
         "as the main window shows it (SMR and bounds times the null value, default 100)",
         RunReport},
        {"strata", "STUDY.vdx PROJECT [--format csv|tsv] [--null 1|100]",
         "print the stratum table of an SMR project: person-years, observed deaths, rate, expected deaths and "
         "O/E per age class and calendar period, and the totals row (tab-separated unless --format csv)",
         RunStrata},
        {"plot",
         "STUDY.vdx forest|observed-expected|person-years|causes|categories|rate-ratios [PROJECT|ANALYSIS] --out "
         "FILE.png|.svg|.pdf [--null 1|100]",
         "draw a plot into a file: the forest plot of every SMR project, observed and expected deaths of PROJECT "
         "by age class and calendar period, the person-years by age class and calendar period, the forest plot "
         "of the causes or of the exposure categories of ANALYSIS, or the rate ratios of ANALYSIS with their bounds",
         RunPlot},
        {"study-report", "STUDY.vdx --out FILE.html|FILE.pdf [--projects P1,P2,...] [--null 1|100]",
         "write the study report (Reports > Study report): the cohort, the person-years settings, the SMR projects "
         "(all, or those listed), the plots and a methods paragraph, as one HTML file or printed to PDF by "
         "Chromium", RunStudyReport},
        {"srr",
         "STUDY.vdx --rate TABLE --death COLUMN=VALUE [--pytable NAME] [--level 0.10|0.05|0.01] [--name PROJECT]",
         "store an SRR project (Compute > SRR: the deaths by stratum and the run's settings, no ratio), save the "
         "project file and print its settings rows; VALUE as for smr",
         RunSrr},
        {"rate-ratios",
         "STUDY.vdx (--death COLUMN=VALUE | --death COLUMN --cause LIST:CAUSE) [--adjust age,calendar,sex] "
         "[--reference K] [--level 90|95|99] "
         "[--name RESULT] [--format csv|tsv] [--cells]",
         "rate ratios between exposure categories (Compute > Rate ratios): per category observed deaths, "
         "person-years, the Poisson regression's rate ratio against category K (default 1) with its bounds, the "
         "directly standardised rate per 100,000 person-years and its ratio with bounds; then the trend and "
         "heterogeneity tests; the analysis is stored as RESULT and the study saved. --cells prints the strata "
         "cells instead (age_class, period, sex, category, person_years, deaths) and changes nothing",
         RunRateRatios},
        {"projects", "STUDY.vdx",
         "list the projects: name, kind (SMR or SRR), rate table, person-years table, death variable and value, "
         "observed, expected, SMR and bounds, tab-separated",
         RunProjects},
        {"rename", "STUDY.vdx OLD NEW",
         "rename a project or an analysis (Project > Rename) and save the project file", RunRename},
        {"delete", "STUDY.vdx PROJECT",
         "delete a project or an analysis and its tables (Project > Delete) and save the project file",
         RunDelete},
        {"remove", "STUDY.vdx (--main | --rate NAME)",
         "remove the main data table or a rate table (Tables > Main table / Rate table > Remove); a rate table "
         "that a project uses stays", RunRemove},
        {"export", "STUDY.vdx RESULT FILE --format FORMAT [--smr-variables 0,1,2,...] [--force]",
         "write a person-years table (\"Age*Calendar\"), a project's PROJECT_Deaths, PROJECT_Strata (its stratum table) or PROJECT_SMR, "
         "a cause list or an analysis's ANALYSIS_Causes, ANALYSIS_Categories or ANALYSIS_RateRatios to a file "
         "(Tables > Save as...); FORMAT " + NameList(exchange::ExportFormats()) +
             "; the SMR figures by number (0 SMR .. 17 PY Table; default 0-6); FILE gets the format's extension when "
             "it has none, and an existing FILE is replaced only with --force",
         RunExport},
    };
    return table;
}

int UsageError(const std::string& subcommand) {
    for (const auto& c : Subcommands()) {
        if (subcommand == c.name) {
            std::cerr << "usage: veldrix-cli " << c.name << " " << c.arguments << "\n";
            return kUsage;
        }
    }
    std::cerr << "veldrix-cli: unknown command '" << subcommand << "'\n";
    return kUsage;
}

}  // namespace vdx::cli

# The stratum table of the example study computed again in R, independently
# of VELDRIX, and compared cell by cell with `veldrix-cli strata` output.
#
#   Rscript stratum_check.R cohort.txt rates.txt all.csv men_group.csv
#
# all.csv: the strata of an SMR project over "Age*Calendar" with ICD 162;
# men_group.csv: over "Age*Calendar*Sex=1" with the group ICD 160-165
# (both printed with --null 1). Classes as the example study's: age 15 to 85
# by 5, calendar 1950 to 2015 by 5, a lag of 10 years after the date of hire.
#
# Person-years come from survival::pyears. VELDRIX counts whole days: a day
# counts in the class of the age the person has at its start, with the entry
# and the exit day both counted, while pyears splits continuous time at the
# exact cut points. Given cut points that are whole days (the first day on
# which (day - birth) / 365.25 reaches a bound is birth + ceiling(bound *
# 365.25); periods start on 1 January) and follow-up from the start day to the
# day after the exit day, the two conventions agree exactly. A plain day count
# by interval arithmetic checks that once more.
suppressPackageStartupMessages(library(survival))

args <- commandArgs(trailingOnly = TRUE)
stopifnot(length(args) == 4)
ageBounds <- seq(15, 85, by = 5)
calendarBounds <- seq(1950, 2015, by = 5)
lag <- 10

day <- function(text) as.numeric(as.Date(text, format = "%d%m%Y") - as.Date("1899-12-30"))
dayOf <- function(y, m, d) as.numeric(as.Date(sprintf("%04d-%02d-%02d", y, m, d)) - as.Date("1899-12-30"))

cohort <- read.table(args[1], sep = ";", header = TRUE, colClasses = "character", strip.white = TRUE)
birth <- day(cohort$DOB); hire <- day(cohort$DOH); entry <- day(cohort$DOE); exit <- day(cohort$DOX)
sex <- as.integer(cohort$SEX); icd <- as.numeric(cohort$ICD)
rates <- as.matrix(read.table(args[2], sep = ";", header = TRUE, strip.white = TRUE))

# Hire date plus the lag in calendar years; 29 February becomes 28 February.
hireDate <- as.POSIXlt(as.Date(cohort$DOH, format = "%d%m%Y"))
y <- hireDate$year + 1900 + lag; m <- hireDate$mon + 1; d <- hireDate$mday
leap <- (y %% 4 == 0 & y %% 100 != 0) | y %% 400 == 0
d[m == 2 & d == 29 & !leap] <- 28
lagEnd <- mapply(dayOf, y, m, d)
start <- pmax(entry, lagEnd)

ageCuts <- ceiling(ageBounds * 365.25)          # days after birth
calendarCuts <- mapply(dayOf, calendarBounds, 1, 1)
A <- length(ageBounds) - 1; C <- length(calendarBounds) - 1

personDays <- function(keep) {
  k <- keep & start <= exit
  fit <- pyears(Surv(exit[k] + 1 - start[k]) ~ tcut(start[k] - birth[k], ageCuts) +
                  tcut(start[k], calendarCuts), scale = 1)
  days <- matrix(fit$pyears, A, C)
  # The same by interval arithmetic, day for day.
  plain <- matrix(0, A, C)
  for (i in 1:A) for (j in 1:C) {
    lo <- pmax(start[k], birth[k] + ageCuts[i], calendarCuts[j])
    hi <- pmin(exit[k], birth[k] + ageCuts[i + 1] - 1, calendarCuts[j + 1] - 1)
    plain[i, j] <- sum(pmax(0, hi - lo + 1))
  }
  if (!identical(days, plain)) stop("pyears and the plain day count disagree")
  days
}

deaths <- function(keep, inGroup) {
  counted <- keep & !is.na(icd) & inGroup(icd) & !(lagEnd >= exit)
  age <- findInterval(exit[counted] - birth[counted], ageCuts)
  period <- findInterval(exit[counted], calendarCuts)
  inside <- age >= 1 & age <= A & period >= 1 & period <= C
  out <- matrix(0L, A, C)
  for (n in which(inside)) out[age[n], period[n]] <- out[age[n], period[n]] + 1L
  out
}

failures <- 0
compare <- function(file, keep, inGroup, label) {
  ours <- read.csv(file, check.names = FALSE, colClasses = "character", encoding = "UTF-8")
  days <- personDays(keep)
  observed <- deaths(keep, inGroup)
  py <- days / 365.25
  expected <- py * rates
  strata <- ours[ours[[1]] != "Total", ]
  if (nrow(strata) != A * C) { cat(label, ": ", nrow(strata), " strata\n", sep = ""); failures <<- failures + 1; return() }
  relative <- function(a, b) ifelse(a == b, 0, abs(a - b) / pmax(abs(b), .Machine$double.xmin))
  bad <- 0
  for (r in seq_len(nrow(strata))) {
    i <- (r - 1) %/% C + 1; j <- (r - 1) %% C + 1   # age class outer, period inner
    # A class is labelled by the first and last age (year) it holds: "15\u201319".
    label_ok <- strata[r, 1] == sprintf("%d\u2013%d", ageBounds[i], ageBounds[i + 1] - 1) &&
                strata[r, 2] == sprintf("%d\u2013%d", calendarBounds[j], calendarBounds[j + 1] - 1)
    p <- as.numeric(strata[r, "Person-years"]); o <- as.numeric(strata[r, "Observed"])
    e <- as.numeric(strata[r, "Expected"])
    if (!label_ok || relative(p, py[i, j]) > 1e-9 || o != observed[i, j] || relative(e, expected[i, j]) > 1e-12) {
      if (bad < 5) cat(sprintf("%s: stratum %d (%s, %s): ours PY %s O %s E %s, R PY %.15g O %d E %.15g\n", label, r,
                               strata[r, 1], strata[r, 2], strata[r, "Person-years"], strata[r, "Observed"],
                               strata[r, "Expected"], py[i, j], observed[i, j], expected[i, j]))
      bad <- bad + 1
    }
  }
  total <- ours[ours[[1]] == "Total", ]
  expectedTotal <- 0
  for (i in 1:A) for (j in 1:C) expectedTotal <- expectedTotal + expected[i, j]
  if (nrow(total) != 1 || relative(as.numeric(total[["Person-years"]]), sum(days) / 365.25) > 1e-9 ||
      as.numeric(total[["Observed"]]) != sum(observed) ||
      relative(as.numeric(total[["Expected"]]), expectedTotal) > 1e-12) {
    cat(label, ": totals differ: ours", unlist(total), "R", sum(days) / 365.25, sum(observed), expectedTotal, "\n")
    bad <- bad + 1
  }
  if (sum(observed) < 20 || sum(days) == 0) { cat(label, ": too few deaths to test\n"); bad <- bad + 1 }
  cat(sprintf("%s: %d strata, %.6f person-years, %d observed, %.10f expected: %s\n", label, nrow(strata),
              sum(days) / 365.25, sum(observed), expectedTotal, if (bad == 0) "same" else "DIFFERENT"))
  failures <<- failures + bad
}

everyone <- rep(TRUE, nrow(cohort))
compare(args[3], everyone, function(code) code == 162, "Age*Calendar, ICD 162")
compare(args[4], sex == 1, function(code) code >= 160 & code <= 165, "Age*Calendar*Sex=1, ICD 160-165")
quit(status = if (failures == 0) 0 else 1)

# Reference figures for the rate ratios of lung cancer (ICD 162) by
# cumulative exposure in the example study, adjusted for age class, calendar
# period and sex. lung_strata.csv holds the strata cells as
#   veldrix-cli rate-ratios STUDY --death ICD=162 --cells
# prints them after the person-years run of rate_ratios_cli_test.cpp; this
# script fits them with glm(family = poisson), log person-years as the
# offset, and computes the directly standardised rates, writing
# lung_rate_ratios.csv in the columns of veldrix-cli rate-ratios.
# Levels without deaths (the youngest age classes, a calendar period) make
# glm warn that fitted rates are numerically 0: its estimates of the limit.
# Run: Rscript lung_reference.R (in this folder)
cells <- read.csv("lung_strata.csv", stringsAsFactors = FALSE)
names <- unique(cells$category)                   # in the order of the categories
cells <- cells[cells$person_years > 0, ]
cells$k <- match(cells$category, names)           # position 1, 2, ... (the trend's score)
cells$cat <- factor(cells$k)
ctl <- glm.control(epsilon = 1e-14, maxit = 100)  # levels without deaths: estimates of the limit
fit <- function(f) glm(f, family = poisson, data = cells, control = ctl)
full <- fit(deaths ~ factor(age_class) + factor(period) + factor(sex) + cat + offset(log(person_years)))
null <- fit(deaths ~ factor(age_class) + factor(period) + factor(sex) + offset(log(person_years)))
trend <- fit(deaths ~ factor(age_class) + factor(period) + factor(sex) + k + offset(log(person_years)))
z <- qnorm(0.975)
co <- summary(full)$coefficients

# The standard: the whole cohort's person-years in each stratum.
cells$stratum <- paste(cells$age_class, cells$period, cells$sex)
W <- tapply(cells$person_years, cells$stratum, sum)
std <- sapply(seq_along(names), function(k) {
  c <- cells[cells$k == k, ]
  w <- W[c$stratum]
  c(rate = sum(w * c$deaths / c$person_years) / sum(w),
    var = sum(w^2 * c$deaths / c$person_years^2) / sum(w)^2)
})
f <- function(v) sprintf("%.12g", v)
lines <- "category,observed,person_years,rate_ratio,low,high,std_rate,std_ratio,std_low,std_high"
for (k in seq_along(names)) {
  if (k == 1) { b <- 0; se <- 0 } else {
    b <- co[paste0("cat", k), "Estimate"]; se <- co[paste0("cat", k), "Std. Error"]
  }
  r <- std["rate", k]; r1 <- std["rate", 1]
  spread <- if (k == 1) 0 else z * sqrt(std["var", k] / r^2 + std["var", 1] / r1^2)
  lines <- c(lines, paste(names[k], f(sum(cells$deaths[cells$k == k])), f(sum(cells$person_years[cells$k == k])),
                          f(exp(b)), f(exp(b - z * se)), f(exp(b + z * se)), f(r * 1e5),
                          f(r / r1), f(r / r1 * exp(-spread)), f(r / r1 * exp(spread)), sep = ","))
}
tb <- summary(trend)$coefficients["k", ]
tr <- null$deviance - trend$deviance
het <- null$deviance - full$deviance
df <- length(names) - 1
lines <- c(lines,
           paste("trend", f(exp(tb[1])), f(exp(tb[1] - z * tb[2])), f(exp(tb[1] + z * tb[2])), f(tr),
                 f(pchisq(tr, 1, lower.tail = FALSE)), sep = ","),
           paste("heterogeneity", f(het), df, f(pchisq(het, df, lower.tail = FALSE)), sep = ","))
writeLines(lines, "lung_rate_ratios.csv")

# Reference figures for the Poisson rate-ratio fit: a small strata table
# (age class x calendar period x sex x exposure category), deaths and
# person-years generated with a fixed seed, fitted with glm(family = poisson)
# and log person-years as the offset. Run: Rscript make_reference.R
set.seed(20261209)
cells <- expand.grid(category = 1:4, sex = 1:2, period = 1:3, age = 1:5)
cells <- cells[, c("age", "period", "sex", "category")]
cells$person_years <- round(runif(nrow(cells), 50, 2000), 4)
rate <- 0.002 * exp(0.35 * (cells$age - 1) + 0.1 * (cells$period - 1) -
                    0.4 * (cells$sex - 1) + 0.25 * (cells$category - 1))
cells$deaths <- rpois(nrow(cells), rate * cells$person_years)
write.csv(cells, "strata.csv", row.names = FALSE)

full <- glm(deaths ~ factor(age) + factor(period) + factor(sex) + factor(category) +
            offset(log(person_years)), family = poisson, data = cells)
null <- glm(deaths ~ factor(age) + factor(period) + factor(sex) +
            offset(log(person_years)), family = poisson, data = cells)
trend <- glm(deaths ~ factor(age) + factor(period) + factor(sex) + category +
             offset(log(person_years)), family = poisson, data = cells)
z <- qnorm(0.975)
co <- summary(full)$coefficients
out <- data.frame(category = 1:4,
                  observed = tapply(cells$deaths, cells$category, sum),
                  person_years = tapply(cells$person_years, cells$category, sum),
                  rate_ratio = 1, low = 1, high = 1)
for (k in 2:4) {
  nm <- paste0("factor(category)", k)
  b <- co[nm, "Estimate"]; se <- co[nm, "Std. Error"]
  out$rate_ratio[k] <- exp(b); out$low[k] <- exp(b - z * se); out$high[k] <- exp(b + z * se)
}
write.csv(out, "rate_ratios.csv", row.names = FALSE)
tb <- summary(trend)$coefficients["category", ]
het <- null$deviance - full$deviance
tr <- null$deviance - trend$deviance
cat(sprintf("trend,%.12g,%.12g,%.12g,%.12g,%.12g\n", exp(tb[1]), exp(tb[1] - z * tb[2]),
            exp(tb[1] + z * tb[2]), tr, pchisq(tr, 1, lower.tail = FALSE)),
    sprintf("heterogeneity,%.12g,%d,%.12g\n", het, 3L, pchisq(het, 3, lower.tail = FALSE)),
    file = "tests.csv", sep = "")

# The same table with no deaths in age class 1 (a level without deaths) and
# none in category 3 (a category without deaths): glm's estimates of those
# run off towards minus infinity; the other ratios and the tests are those of
# the limit. Columns: what, value.
zero <- cells
zero$deaths[zero$age == 1 | zero$category == 3] <- 0
ctl <- glm.control(epsilon = 1e-14, maxit = 100)
zfull <- glm(deaths ~ factor(age) + factor(period) + factor(sex) + factor(category) +
             offset(log(person_years)), family = poisson, data = zero, control = ctl)
znull <- glm(deaths ~ factor(age) + factor(period) + factor(sex) +
             offset(log(person_years)), family = poisson, data = zero, control = ctl)
ztrend <- glm(deaths ~ factor(age) + factor(period) + factor(sex) + category +
              offset(log(person_years)), family = poisson, data = zero, control = ctl)
zc <- summary(zfull)$coefficients
zt <- summary(ztrend)$coefficients["category", ]
zout <- data.frame(
  what = c("ratio2", "low2", "high2", "ratio4", "low4", "high4", "trend", "trend_chisq", "heterogeneity_chisq"),
  value = c(exp(zc["factor(category)2", 1] + c(0, -z, z) * zc["factor(category)2", 2]),
            exp(zc["factor(category)4", 1] + c(0, -z, z) * zc["factor(category)4", 2]),
            exp(zt[1]), znull$deviance - ztrend$deviance, znull$deviance - zfull$deviance))
write.csv(zout, "zero_cases.csv", row.names = FALSE)

# The reference multipliers of the confidence bounds of an SMR (a bound is the
# SMR times its multiplier), computed in R apart from the program, for
# multiplier_reference.csv, the one table the multiplier tests share:
#
#   Rscript tests/lib/multiplier_reference.R > tests/lib/multiplier_reference.csv
#
# For O observed deaths, level 1 - alpha and z = qnorm(1 - alpha/2):
#   exact       the exact Poisson limits of the mean, from the gamma quantiles
#               (P(X >= O) = alpha/2 and P(X <= O) = alpha/2):
#               qgamma(alpha/2, O) / O and qgamma(1 - alpha/2, O + 1) / O
#   byar        Byar's approximation of those limits:
#               (1 - 1/(9 O) - z/(3 sqrt O))^3 and
#               (O + 1)/O (1 - 1/(9 (O + 1)) + z/(3 sqrt(O + 1)))^3
#   chisquare   the means mu at which the chi-square statistic (O - mu)^2 / mu
#               equals z^2, found numerically (uniroot), over O
#   squareroot  the square-root transform: (sqrt O - z/2)^2 / O and
#               (sqrt(O + 1) + z/2)^2 / O
#   wald        on the log scale, standard error 1/sqrt O: exp(-z/sqrt O) and
#               exp(z/sqrt O)
cases <- rbind(expand.grid(observed = c(1, 10, 20, 100), alpha = 0.05),
               data.frame(observed = 10, alpha = c(0.1, 0.01)))
chi <- function(o, z, side) {
  f <- function(mu) (o - mu)^2 / mu - z^2
  if (side < 0) uniroot(f, c(1e-12, o), tol = 1e-15)$root else uniroot(f, c(o, o + 10 * z^2 + 10 * o), tol = 1e-15)$root
}
cat("observed,alpha,z,method,low,high\n")
for (k in seq_len(nrow(cases))) {
  o <- cases$observed[k]; a <- cases$alpha[k]; z <- qnorm(1 - a / 2)
  rows <- list(
    exact = c(qgamma(a / 2, o) / o, qgamma(1 - a / 2, o + 1) / o),
    byar = c((1 - 1 / (9 * o) - z / (3 * sqrt(o)))^3, (o + 1) / o * (1 - 1 / (9 * (o + 1)) + z / (3 * sqrt(o + 1)))^3),
    chisquare = c(chi(o, z, -1), chi(o, z, 1)) / o,
    squareroot = c((sqrt(o) - z / 2)^2 / o, (sqrt(o + 1) + z / 2)^2 / o),
    wald = c(exp(-z / sqrt(o)), exp(z / sqrt(o))))
  for (m in names(rows))
    cat(sprintf("%.15g,%.15g,%.15g,%s,%.15g,%.15g\n", o, a, z, m, rows[[m]][1], rows[[m]][2]))
}

#!/usr/bin/env python3
"""Prints the Taylor coefficients of the coefficient functions c_k(eta) of the
uniform asymptotic expansion of the regularised incomplete gamma function,

    Q(a, x) = erfc(eta * sqrt(a / 2)) / 2
              + exp(-a eta^2 / 2) / sqrt(2 pi a) * sum_k c_k(eta) a^-k,

where lambda = x / a, mu = lambda - 1 and eta^2 / 2 = mu - log(1 + mu), with
eta of the sign of mu. The coefficient functions follow from

    c_0(eta) = 1/mu - 1/eta,
    c_k(eta) = (1/eta) c_{k-1}'(eta) + (-1)^k g_k / mu,

g_k being the coefficients of Stirling's series Gamma*(a) ~ sum g_k a^-k.
All arithmetic is exact (fractions); the output is the C++ table
lib/temme_coefficients.inc that lib/incomplete_gamma.cpp includes.
Standard library only:

    python3 lib/tools/temme_coefficients.py 10 34 > lib/temme_coefficients.inc
"""
from fractions import Fraction as F
from decimal import Decimal, getcontext
import sys

K = int(sys.argv[1]) if len(sys.argv) > 1 else 10   # number of c_k
N = int(sys.argv[2]) if len(sys.argv) > 2 else 32   # Taylor terms of each
ORDER = N + 2 * K + 4                                # working order of the series


def mul(p, q):
    r = [F(0)] * ORDER
    for i, pi in enumerate(p):
        if pi == 0:
            continue
        for j in range(ORDER - i):
            if j < len(q):
                r[i + j] += pi * q[j]
    return r


def inverse(p):  # 1/p for p[0] != 0
    r = [F(0)] * ORDER
    r[0] = 1 / p[0]
    for n in range(1, ORDER):
        s = sum(p[k] * r[n - k] for k in range(1, n + 1) if k < len(p))
        r[n] = -s / p[0]
    return r


def sqrt_series(p):  # sqrt(p) for p[0] == 1
    r = [F(0)] * ORDER
    r[0] = F(1)
    for n in range(1, ORDER):
        s = sum(r[k] * r[n - k] for k in range(1, n))
        r[n] = (p[n] - s) / 2
    return r


def compose(p, q):  # p(q(x)) with q[0] == 0
    r = [F(0)] * ORDER
    power = [F(1)] + [F(0)] * (ORDER - 1)
    for coeff in p:
        if coeff != 0:
            r = [ri + coeff * pi for ri, pi in zip(r, power)]
        power = mul(power, q)
    return r


# h(mu) = 2 (mu - log(1 + mu)) / mu^2, eta = mu * sqrt(h(mu)).
h = [F(2 * (-1) ** k, k) for k in range(2, ORDER + 2)]
eta_of_mu = [F(0)] + sqrt_series(h)[: ORDER - 1]

# Revert eta(mu) to mu(eta) by fixed-point iteration mu = eta - (eta(mu) - mu).
mu = [F(0), F(1)] + [F(0)] * (ORDER - 2)
for _ in range(ORDER):
    e = compose(eta_of_mu, mu)
    mu = [m - (ei - (1 if i == 1 else 0)) for i, (m, ei) in enumerate(zip(mu, e))]

# m(eta) = mu / eta, regular with m(0) = 1; inv_m = eta / mu.
m = mu[1:] + [F(0)]
inv_m = inverse(m)

# Stirling coefficients: log Gamma*(a) = sum B_2k / (2k (2k-1) a^(2k-1)).
def bernoulli(n):
    b = [F(0)] * (n + 1)
    b[0] = F(1)
    for k in range(1, n + 1):
        s = F(0)
        binom = F(1)
        for j in range(k):
            s += binom * b[j]
            binom = binom * (k + 1 - j) / (j + 1)
        b[k] = -s / (k + 1)
    return b

B = bernoulli(2 * K + 4)
log_g = [F(0)] * ORDER
for k in range(1, K + 3):
    if 2 * k - 1 < ORDER:
        log_g[2 * k - 1] = B[2 * k] / (2 * k * (2 * k - 1))
# exp of a series with zero constant term
g = [F(1)] + [F(0)] * (ORDER - 1)
term = [F(1)] + [F(0)] * (ORDER - 1)
for n in range(1, ORDER):
    term = [t / n for t in mul(term, log_g)]
    g = [gi + ti for gi, ti in zip(g, term)]

# c_0 = (1/m - 1) / eta
c = [inv_m[1:] + [F(0)]]
for k in range(1, K):
    prev = c[-1]
    deriv = [prev[i + 1] * (i + 1) for i in range(len(prev) - 1)] + [F(0)]
    num = [d + (-1) ** k * g[k] * im for d, im in zip(deriv, inv_m)]
    assert num[0] == 0, "pole does not cancel"
    c.append(num[1:] + [F(0)])

getcontext().prec = 40
print("// c_k(eta) = sum_j kTemme[k][j] eta^j, from lib/tools/temme_coefficients.py")
print(f"constexpr int kTemmeTerms = {K};")
print(f"constexpr int kTemmeDegree = {N};")
print("constexpr double kTemme[kTemmeTerms][kTemmeDegree] = {")
for ck in c:
    print("    {")
    for j in range(N):
        v = Decimal(ck[j].numerator) / Decimal(ck[j].denominator)
        print(f"        {v:.20e},")
    print("    },")
print("};")

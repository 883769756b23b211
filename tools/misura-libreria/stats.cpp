// Summary statistics, the comparison of two series, growth exponent
// and log-spaced sizes.
#include "tools/misura-libreria/stats.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <tuple>

namespace misura {

namespace {

double medianOfSorted(const std::vector<double>& v)
{
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

} // namespace

Summary summarize(std::span<const double> times)
{
    Summary s;
    s.runs = times.size();
    std::vector<double> sorted(times.begin(), times.end());
    std::sort(sorted.begin(), sorted.end());
    s.min = sorted.front();
    s.max = sorted.back();
    s.median = medianOfSorted(sorted);
    double sum = 0;
    for (double t : times)
        sum += t;
    s.mean = sum / static_cast<double>(s.runs);
    if (s.runs > 1) {
        double squares = 0;
        for (double t : times)
            squares += (t - s.mean) * (t - s.mean);
        s.stddev = std::sqrt(squares / static_cast<double>(s.runs - 1));
    }
    // Outliers by the median absolute deviation, which a few wild values cannot
    // inflate; timings cluster so tightly that a few per cent off the median
    // would count without the second bound.
    std::vector<double> deviations;
    deviations.reserve(sorted.size());
    for (double t : sorted)
        deviations.push_back(std::fabs(t - s.median));
    std::sort(deviations.begin(), deviations.end());
    const double mad = medianOfSorted(deviations);
    if (mad > 0)
        for (double d : deviations)
            if (0.6745 * d / mad > 3.5 && d > std::fabs(s.median) / 10)
                ++s.outliers;
    return s;
}

bool outliersLikely(const Summary& s)
{
    if (s.runs == 0)
        return false;
    return (s.outliers > 0 && (s.runs < 100 || s.outliers * 20 > s.runs)) || s.max > 10 * s.median;
}

double median(std::span<const double> values)
{
    std::vector<double> sorted(values.begin(), values.end());
    std::sort(sorted.begin(), sorted.end());
    return medianOfSorted(sorted);
}

namespace {

constexpr std::size_t kExactLimit = 30;

// The midranks of a's and b's values pooled (a's first), and the sum of t^3 - t over groups of t tied values.
struct PooledRanks {
    std::vector<double> ranks;
    double tieTerm = 0;
};

PooledRanks pooledRanks(std::span<const double> a, std::span<const double> b)
{
    std::vector<std::pair<double, std::size_t>> pooled;
    for (std::size_t i = 0; i < a.size(); ++i)
        pooled.emplace_back(a[i], i);
    for (std::size_t i = 0; i < b.size(); ++i)
        pooled.emplace_back(b[i], a.size() + i);
    std::sort(pooled.begin(), pooled.end());
    PooledRanks r{std::vector<double>(pooled.size()), 0};
    for (std::size_t i = 0; i < pooled.size();) {
        std::size_t j = i;
        while (j < pooled.size() && pooled[j].first == pooled[i].first)
            ++j;
        const double t = static_cast<double>(j - i);
        r.tieTerm += t * t * t - t;
        for (std::size_t k = i; k < j; ++k)
            r.ranks[pooled[k].second] = (static_cast<double>(i + j) + 1) / 2;
        i = j;
    }
    return r;
}

// P(U <= u) for samples of m and n values without ties, by counting the
// arrangements with each U (the recurrence over the largest value's sample).
double exactLowerTail(std::size_t m, std::size_t n, std::size_t u)
{
    // counts[i][j][k]: arrangements of i and j values with U = k; built up one total at a time.
    std::vector<std::vector<std::vector<double>>> counts(
        m + 1, std::vector<std::vector<double>>(n + 1, std::vector<double>(m * n + 1, 0)));
    for (std::size_t i = 0; i <= m; ++i)
        for (std::size_t j = 0; j <= n; ++j) {
            if (i == 0 || j == 0) {
                counts[i][j][0] = 1;
                continue;
            }
            // The largest value in the first sample beats all j of the second; else it is the second's.
            for (std::size_t k = 0; k <= i * j; ++k)
                counts[i][j][k] = (k >= j ? counts[i - 1][j][k - j] : 0) + counts[i][j - 1][k];
        }
    double below = 0, total = 0;
    for (std::size_t k = 0; k <= m * n; ++k) {
        total += counts[m][n][k];
        if (k <= u)
            below += counts[m][n][k];
    }
    return below / total;
}

double normalUpperTail(double z)
{
    return 0.5 * std::erfc(z / std::sqrt(2.0));
}

} // namespace

double mannWhitneyP(std::span<const double> a, std::span<const double> b)
{
    const std::size_t m = a.size(), n = b.size();
    const PooledRanks pooled = pooledRanks(a, b);
    double rankSum = 0;
    for (std::size_t i = 0; i < m; ++i)
        rankSum += pooled.ranks[i];
    const double u = rankSum - static_cast<double>(m * (m + 1)) / 2;
    const double mn = static_cast<double>(m * n);
    const double smaller = std::min(u, mn - u);
    if (pooled.tieTerm == 0 && m <= kExactLimit && n <= kExactLimit)
        return std::min(1.0, 2 * exactLowerTail(m, n, static_cast<std::size_t>(std::lround(smaller))));
    const double total = static_cast<double>(m + n);
    const double variance = mn / 12 * ((total + 1) - pooled.tieTerm / (total * (total - 1)));
    if (variance <= 0)
        return 1;
    const double z = (mn / 2 - smaller - 0.5) / std::sqrt(variance);
    return z <= 0 ? 1.0 : std::min(1.0, 2 * normalUpperTail(z));
}

std::pair<double, double> bootstrapRatioInterval(std::span<const double> first, std::span<const double> later,
                                                 int resamples)
{
    std::mt19937_64 random(20261209);
    const auto resampledMedian = [&](std::span<const double> values, std::vector<double>& scratch) {
        std::uniform_int_distribution<std::size_t> pick(0, values.size() - 1);
        for (double& v : scratch)
            v = values[pick(random)];
        std::sort(scratch.begin(), scratch.end());
        return medianOfSorted(scratch);
    };
    std::vector<double> a(first.size()), b(later.size()), ratios;
    ratios.reserve(static_cast<std::size_t>(resamples));
    for (int i = 0; i < resamples; ++i) {
        const double denominator = resampledMedian(first, a);
        const double numerator = resampledMedian(later, b);
        ratios.push_back(denominator > 0 ? numerator / denominator : INFINITY);
    }
    std::sort(ratios.begin(), ratios.end());
    const auto at = [&](double q) { return ratios[static_cast<std::size_t>(q * (ratios.size() - 1) + 0.5)]; };
    return {at(0.025), at(0.975)};
}

Comparison compare(std::span<const double> first, std::span<const double> later)
{
    Comparison c;
    const double base = median(first);
    c.ratio = base > 0 ? median(later) / base : INFINITY;
    std::tie(c.ratioLow, c.ratioHigh) = bootstrapRatioInterval(first, later);
    c.pValue = mannWhitneyP(first, later);
    if (c.pValue < 0.01 && c.ratio > 1.01)
        c.verdict = Verdict::Slower;
    else if (c.pValue < 0.01 && c.ratio < 0.99)
        c.verdict = Verdict::Faster;
    return c;
}

const char* verdictText(Verdict v)
{
    switch (v) {
    case Verdict::Faster:
        return "faster";
    case Verdict::Slower:
        return "slower";
    default:
        return "no significant difference";
    }
}

double growthExponent(std::span<const double> sizes, std::span<const double> times)
{
    const auto n = static_cast<double>(sizes.size());
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const double x = std::log(sizes[i]);
        const double y = std::log(times[i]);
        sx += x;
        sy += y;
        sxx += x * x;
        sxy += x * y;
    }
    return (n * sxy - sx * sy) / (n * sxx - sx * sx);
}

std::vector<std::int32_t> logSpacedSizes(std::int32_t from, std::int32_t to, int steps)
{
    std::vector<std::int32_t> sizes;
    const double step = std::log(static_cast<double>(to) / from) / (steps - 1);
    for (int i = 0; i < steps; ++i) {
        const auto size = i == steps - 1 ? to : static_cast<std::int32_t>(std::lround(from * std::exp(step * i)));
        if (sizes.empty() || size != sizes.back())
            sizes.push_back(size);
    }
    return sizes;
}

} // namespace misura

// Spreads, comparisons over processes and rounds, rank tests, the t
// quantile, growth exponent and log-spaced sizes.
#include "tools/misura-libreria/stats.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>

namespace misura {

namespace {

double medianOfSorted(const std::vector<double>& v)
{
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// The mean of the middle half of sorted values (a quarter, rounded down, left out at each
// end): a few rounds the machine disturbed move it little, and unlike the median it
// moves smoothly as rounds change, so that resampling them gives a fair spread.
double centreOfSorted(const std::vector<double>& v)
{
    const std::size_t cut = v.size() / 4;
    double sum = 0;
    for (std::size_t i = cut; i < v.size() - cut; ++i)
        sum += v[i];
    return sum / static_cast<double>(v.size() - 2 * cut);
}

double meanOf(std::span<const double> v)
{
    return std::accumulate(v.begin(), v.end(), 0.0) / static_cast<double>(v.size());
}

// The sample variance of v; 0 for fewer than two values.
double varianceOf(std::span<const double> v)
{
    if (v.size() < 2)
        return 0;
    const double m = meanOf(v);
    double squares = 0;
    for (const double x : v)
        squares += (x - m) * (x - m);
    return squares / static_cast<double>(v.size() - 1);
}

// Each round's value as its logarithm.
Units logsOf(const Units& units)
{
    Units logs = units;
    for (auto& process : logs)
        for (double& v : process)
            v = std::log(v);
    return logs;
}

// Each process's centre of its rounds; processes without rounds left out.
std::vector<double> processCentres(const Units& units)
{
    std::vector<double> centres;
    for (auto process : units) {
        if (process.empty())
            continue;
        std::sort(process.begin(), process.end());
        centres.push_back(centreOfSorted(process));
    }
    return centres;
}

// Round j of process i: the log of later's value over first's, where both have it.
Units pairedLogRatios(const Units& first, const Units& later)
{
    Units d(std::min(first.size(), later.size()));
    for (std::size_t i = 0; i < d.size(); ++i)
        for (std::size_t j = 0; j < std::min(first[i].size(), later[i].size()); ++j)
            d[i].push_back(std::log(later[i][j]) - std::log(first[i][j]));
    return d;
}

// The mean over processes of each process's centre, both levels drawn with replacement.
double resampledMean(const Units& units, std::mt19937_64& random, std::vector<double>& scratch)
{
    std::uniform_int_distribution<std::size_t> pickProcess(0, units.size() - 1);
    double sum = 0;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const std::vector<double>& process = units[pickProcess(random)];
        std::uniform_int_distribution<std::size_t> pickRound(0, process.size() - 1);
        scratch.resize(process.size());
        for (double& v : scratch)
            v = process[pickRound(random)];
        std::sort(scratch.begin(), scratch.end());
        sum += centreOfSorted(scratch);
    }
    return sum / static_cast<double>(units.size());
}

Units withRounds(const Units& units)
{
    Units kept;
    for (const auto& process : units)
        if (!process.empty())
            kept.push_back(process);
    return kept;
}

// The verdict of a difference in logs: its interval must exclude 0 and the
// difference itself exceed what the processes' spread can resolve.
Verdict verdictOf(double difference, double low, double high, double resolvable)
{
    if (low > 0 && difference > resolvable)
        return Verdict::Slower;
    if (high < 0 && -difference > resolvable)
        return Verdict::Faster;
    return Verdict::NoSignificantDifference;
}

} // namespace

Spread spreadOf(const Units& units)
{
    Spread s;
    std::vector<double> all, processMedians;
    for (const auto& process : units) {
        if (process.empty())
            continue;
        all.insert(all.end(), process.begin(), process.end());
        processMedians.push_back(median(process));
    }
    std::sort(all.begin(), all.end());
    std::sort(processMedians.begin(), processMedians.end());
    s.median = medianOfSorted(all);
    s.lowest = processMedians.front();
    s.highest = processMedians.back();
    s.processes = processMedians.size();
    s.rounds = all.size();
    return s;
}

std::vector<Disagreement> disagreeingRounds(const Units& units)
{
    constexpr double kFactor = 1.5;
    std::vector<Disagreement> found;
    const double centre = spreadOf(units).median;
    for (std::size_t i = 0; i < units.size(); ++i)
        for (std::size_t j = 0; j < units[i].size(); ++j) {
            const double factor = units[i][j] / centre;
            if (factor > kFactor || factor < 1 / kFactor)
                found.push_back({i, j, factor});
        }
    return found;
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


namespace {

// The midranks of magnitudes, doubled so that they are whole numbers.
std::vector<std::size_t> doubledRanks(const std::vector<double>& magnitudes)
{
    const std::size_t n = magnitudes.size();
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return magnitudes[a] < magnitudes[b]; });
    std::vector<std::size_t> doubled(n);
    for (std::size_t i = 0; i < n;) {
        std::size_t j = i;
        while (j < n && magnitudes[order[j]] == magnitudes[order[i]])
            ++j;
        for (std::size_t k = i; k < j; ++k)
            doubled[order[k]] = i + j + 1;
        i = j;
    }
    return doubled;
}

} // namespace

double signedRankP(std::span<const double> d)
{
    std::vector<double> magnitudes;
    std::vector<bool> positive;
    for (const double x : d)
        if (x != 0) {
            magnitudes.push_back(std::fabs(x));
            positive.push_back(x > 0);
        }
    if (magnitudes.empty())
        return 1;
    const std::vector<std::size_t> ranks = doubledRanks(magnitudes);
    std::size_t w = 0, total = 0;
    for (std::size_t k = 0; k < ranks.size(); ++k) {
        w += positive[k] ? ranks[k] : 0;
        total += ranks[k];
    }
    // counts[s]: the sign patterns whose positive doubled ranks sum to s.
    std::vector<double> counts(total + 1, 0);
    counts[0] = 1;
    for (const std::size_t r : ranks)
        for (std::size_t s = total; s >= r; --s) {
            counts[s] += counts[s - r];
            if (s == r)
                break;
        }
    double below = 0, above = 0, all = 0;
    for (std::size_t s = 0; s <= total; ++s) {
        all += counts[s];
        below += s <= w ? counts[s] : 0;
        above += s >= w ? counts[s] : 0;
    }
    return std::min(1.0, 2 * std::min(below, above) / all);
}

double studentT975(double df)
{
    static const double kTable[] = {12.706, 4.303, 3.182, 2.776, 2.571, 2.447, 2.365, 2.306, 2.262, 2.228,
                                    2.201,  2.179, 2.160, 2.145, 2.131, 2.120, 2.110, 2.101, 2.093, 2.086,
                                    2.080,  2.074, 2.069, 2.064, 2.060, 2.056, 2.052, 2.048, 2.045, 2.042};
    if (df < 1)
        return kTable[0];
    if (df <= 30) {
        // Between whole degrees of freedom (Welch's are not whole), linearly.
        const auto whole = static_cast<std::size_t>(df);
        const double part = df - static_cast<double>(whole);
        return whole >= 30 ? kTable[29] : kTable[whole - 1] + part * (kTable[whole] - kTable[whole - 1]);
    }
    return 1.96 + 2.4 / df; // within 0.002 of the true quantile from 30 on
}

double expandedTail(double df)
{
    return 0.5 * std::erfc(std::sqrt((df + 1) / df) * studentT975(df) / std::sqrt(2.0));
}

std::pair<double, double> hierarchicalInterval(const Units& values, const Units& subtracted, double df, int resamples)
{
    const Units a = withRounds(values), b = withRounds(subtracted);
    std::mt19937_64 random(20261209);
    std::vector<double> means, scratch;
    means.reserve(static_cast<std::size_t>(resamples));
    for (int i = 0; i < resamples; ++i)
        means.push_back(resampledMean(a, random, scratch) - (b.empty() ? 0 : resampledMean(b, random, scratch)));
    std::sort(means.begin(), means.end());
    const auto at = [&](double q) { return means[static_cast<std::size_t>(q * (means.size() - 1) + 0.5)]; };
    const double tail = df >= 1 ? expandedTail(df) : 0.025;
    return {at(tail), at(1 - tail)};
}

Comparison comparePaired(const Units& first, const Units& later)
{
    const Units d = withRounds(pairedLogRatios(first, later));
    Comparison c;
    if (d.empty())
        return c;
    const std::vector<double> means = processCentres(d);
    const double difference = meanOf(means);
    const auto n = static_cast<double>(means.size());
    const auto [low, high] = hierarchicalInterval(d, {}, n - 1);
    const double resolvable = means.size() < 2 ? INFINITY : studentT975(n - 1) * std::sqrt(varianceOf(means) / n);
    c.ratio = std::exp(difference);
    c.ratioLow = std::exp(low);
    c.ratioHigh = std::exp(high);
    c.resolution = std::expm1(resolvable);
    c.pValue = signedRankP(means);
    c.pFloor = std::min(1.0, 2 / std::pow(2.0, n));
    c.units = means.size();
    c.verdict = verdictOf(difference, low, high, resolvable);
    return c;
}

Comparison compareApart(const Units& first, const Units& later)
{
    const Units a = withRounds(logsOf(first)), b = withRounds(logsOf(later));
    Comparison c;
    if (a.empty() || b.empty())
        return c;
    const std::vector<double> ma = processCentres(a), mb = processCentres(b);
    const double difference = meanOf(mb) - meanOf(ma);
    const auto na = static_cast<double>(ma.size()), nb = static_cast<double>(mb.size());
    const double va = varianceOf(ma) / na, vb = varianceOf(mb) / nb;
    // Welch's degrees of freedom for the difference of two means of unequal spreads.
    const double df = va + vb > 0 ? (va + vb) * (va + vb) / (va * va / (na - 1) + vb * vb / (nb - 1)) : na + nb - 2;
    const auto [low, high] = hierarchicalInterval(b, a, df);
    const double resolvable = na < 2 || nb < 2 ? INFINITY : studentT975(df) * std::sqrt(va + vb);
    c.ratio = std::exp(difference);
    c.ratioLow = std::exp(low);
    c.ratioHigh = std::exp(high);
    c.resolution = std::expm1(resolvable);
    c.pValue = mannWhitneyP(ma, mb);
    // Two groups wholly apart: 2 / C(na + nb, na), the least the exact test gives.
    c.pFloor = std::min(1.0, 2 * std::exp(std::lgamma(na + 1) + std::lgamma(nb + 1) - std::lgamma(na + nb + 1)));
    c.units = ma.size() + mb.size();
    c.verdict = verdictOf(difference, low, high, resolvable);
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

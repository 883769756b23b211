// Summary statistics, ratio, growth exponent and log-spaced sizes.
#include "tools/misura-libreria/stats.h"

#include <algorithm>
#include <cmath>

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

Ratio ratio(const Summary& slower, const Summary& faster)
{
    Ratio r;
    r.value = slower.mean / faster.mean;
    // The standard error of a mean: its runs' spread over the square root of their number.
    const auto relativeError = [](const Summary& s) {
        return s.runs ? s.stddev / std::sqrt(static_cast<double>(s.runs)) / s.mean : 0.0;
    };
    const double a = relativeError(slower);
    const double b = relativeError(faster);
    r.uncertainty = r.value * std::sqrt(a * a + b * b);
    return r;
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

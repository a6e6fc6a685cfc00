#include "acceptance/matching.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace Acceptance {

namespace {

// How well a shift lays b over a: how many of b land within the tolerance of some event of a,
// and how far off they land in all.
struct Fit
{
    int count = 0;
    double spread = 0;
    bool betterThan(const Fit &other) const
    {
        return count != other.count ? count > other.count : spread < other.spread;
    }
};

Fit fitOf(const QVector<double> &sortedA, const QVector<double> &b, double shift, double tol)
{
    Fit fit;
    for (double position : b) {
        const double x = position + shift;
        const auto at = std::lower_bound(sortedA.cbegin(), sortedA.cend(), x);
        double nearest = tol + 1;
        if (at != sortedA.cend())
            nearest = std::min(nearest, *at - x);
        if (at != sortedA.cbegin())
            nearest = std::min(nearest, x - *(at - 1));
        if (nearest <= tol) {
            ++fit.count;
            fit.spread += nearest;
        }
    }
    return fit;
}

// The order-keeping matching with the most pairs, and of those the closest.
QVector<Match> alignInOrder(const QVector<double> &a, const QVector<double> &b, double tol)
{
    const int n = a.size();
    const int m = b.size();
    const double pairWorth = double(n + m + 1);
    // best(i, j): the score of a[i..] against b[j..].
    std::vector<double> best(size_t(n + 1) * size_t(m + 1), 0.0);
    const auto at = [&](int i, int j) -> double & { return best[size_t(i) * size_t(m + 1) + j]; };
    for (int i = n - 1; i >= 0; --i) {
        for (int j = m - 1; j >= 0; --j) {
            double score = std::max(at(i + 1, j), at(i, j + 1));
            const double gap = std::abs(a.at(i) - b.at(j));
            if (gap <= tol)
                score = std::max(score, at(i + 1, j + 1) + pairWorth - gap / tol);
            at(i, j) = score;
        }
    }
    QVector<Match> matches;
    int i = 0;
    int j = 0;
    while (i < n && j < m) {
        const double gap = std::abs(a.at(i) - b.at(j));
        if (gap <= tol && at(i, j) == at(i + 1, j + 1) + pairWorth - gap / tol) {
            matches.append({i++, j++});
        } else if (at(i, j) == at(i + 1, j)) {
            matches.append({i++, -1});
        } else {
            matches.append({-1, j++});
        }
    }
    for (; i < n; ++i)
        matches.append({i, -1});
    for (; j < m; ++j)
        matches.append({-1, j});
    // Unmatched events in position order among the matched ones.
    const auto position
        = [&](const Match &match) { return match.a >= 0 ? a.at(match.a) : b.at(match.b); };
    std::stable_sort(matches.begin(), matches.end(), [&](const Match &x, const Match &y) {
        return position(x) < position(y);
    });
    return matches;
}

int pairsIn(const QVector<Match> &matches)
{
    return int(std::count_if(
        matches.cbegin(), matches.cend(), [](const Match &m) { return m.a >= 0 && m.b >= 0; }));
}

} // namespace

Matching matchPositions(const QVector<double> &a,
                        const QVector<double> &b,
                        double toleranceM,
                        double maxShiftM)
{
    QVector<double> sortedA = a;
    std::sort(sortedA.begin(), sortedA.end());
    // The shift that lays most of b on a: every shift that puts one event on another is a
    // candidate; no shift at all is the first.
    double shift = 0;
    Fit fit = fitOf(sortedA, b, 0, toleranceM);
    for (double x : a) {
        for (double y : b) {
            const double candidate = x - y;
            if (std::abs(candidate) > maxShiftM)
                continue;
            const Fit f = fitOf(sortedA, b, candidate, toleranceM);
            if (f.betterThan(fit)) {
                fit = f;
                shift = candidate;
            }
        }
    }
    QVector<double> shifted = b;
    for (double &y : shifted)
        y += shift;
    QVector<Match> matches = alignInOrder(a, shifted, toleranceM);
    // One event's place is a poor estimate of the shift: the mean of all the pairs' is better.
    double sum = 0;
    const int pairs = pairsIn(matches);
    for (const Match &m : matches) {
        if (m.a >= 0 && m.b >= 0)
            sum += a.at(m.a) - shifted.at(m.b);
    }
    if (pairs > 1 && std::abs(shift + sum / pairs) <= maxShiftM) {
        QVector<double> refined = b;
        for (double &y : refined)
            y += shift + sum / pairs;
        const QVector<Match> again = alignInOrder(a, refined, toleranceM);
        if (pairsIn(again) >= pairs) {
            shift += sum / pairs;
            matches = again;
        }
    }
    return {matches, shift};
}

QVector<int> eventsToMatch(const Link &link)
{
    QVector<int> kept;
    for (int i = 0; i < link.events.size(); ++i) {
        if (!link.events.at(i).end)
            kept << i;
    }
    return kept;
}

QVector<double> positionsOf(const Link &link, const QVector<int> &kept)
{
    QVector<double> positions;
    for (int i : kept)
        positions << link.events.at(i).distanceM;
    return positions;
}

} // namespace Acceptance

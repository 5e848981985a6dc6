#include "analysis/RingFilterBlocks.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

namespace {

// One comparator of a selection network: afterwards `low` holds the smaller
// and `high` the larger of the two values; `keep` says which of the two the
// rest of the network needs (1 the smaller, 2 the larger, 3 both).
struct Comparator {
    uint8_t low = 0;
    uint8_t high = 0;
    uint8_t keep = 3;
};

struct SelectionNetwork {
    std::array<Comparator, 512> comparators{};
    int count = 0;
};

// The comparators that bring the values of sorted positions `first` and
// `second` of n values (n at most 64) into those positions: Batcher's
// odd-even merge sort over the next power of two, less every comparator
// whose result neither position needs. Comparators reaching past n would
// only meet the (absent) largest values, which stay where they are, so they
// are left out.
constexpr SelectionNetwork MakeSelectionNetwork(int n, int first, int second)
{
    int size = 1;
    while (size < n)
        size <<= 1;
    std::array<Comparator, 512> sorting{};
    int sortingCount = 0;
    for (int p = 1; p < size; p <<= 1)
        for (int k = p; k >= 1; k >>= 1)
            for (int j = k % p; j + k < size; j += 2 * k)
                for (int i = 0; i < std::min(k, size - j - k); ++i)
                    if ((i + j) / (2 * p) == (i + j + k) / (2 * p) && i + j + k < n)
                        sorting[sortingCount++] = {static_cast<uint8_t>(i + j), static_cast<uint8_t>(i + j + k), 3};
    std::array<bool, 64> needed{};
    needed[first] = needed[second] = true;
    std::array<Comparator, 512> kept{};
    int keptCount = 0;
    for (int c = sortingCount - 1; c >= 0; --c) {
        Comparator comparator = sorting[c];
        const bool low = needed[comparator.low], high = needed[comparator.high];
        if (!low && !high)
            continue;
        comparator.keep = static_cast<uint8_t>((low ? 1 : 0) | (high ? 2 : 0));
        needed[comparator.low] = needed[comparator.high] = true;
        kept[keptCount++] = comparator;
    }
    SelectionNetwork network;
    for (int c = 0; c < keptCount; ++c)
        network.comparators[c] = kept[keptCount - 1 - c];
    network.count = keptCount;
    return network;
}

// The sorted positions between which a quantile of n samples lies; the same
// as the quantile's own rule for n - 1 times 0.25 or 0.75, which is exact.
constexpr int LowerQuartilePosition(int n) { return (n - 1) / 4; }
constexpr int UpperQuartilePosition(int n) { return 3 * (n - 1) / 4; }
constexpr int NextPosition(int position, int n) { return std::min(position + 1, n - 1); }

template <int N, int First, int Second>
struct Selection {
    static constexpr SelectionNetwork network = MakeSelectionNetwork(N, First, Second);
};

template <typename V, Comparator C>
[[gnu::always_inline]] inline void Compare(V* values)
{
    V& a = values[C.low];
    V& b = values[C.high];
    if constexpr (C.keep == 3) {
        const V smaller = a < b ? a : b;
        b = a < b ? b : a;
        a = smaller;
    } else if constexpr (C.keep == 1) {
        a = a < b ? a : b;
    } else {
        b = a < b ? b : a;
    }
}

template <typename V, const SelectionNetwork& Network, size_t... K>
[[gnu::always_inline]] inline void ApplyNetwork(V* values, std::index_sequence<K...>)
{
    (Compare<V, Network.comparators[K]>(values), ...);
}

// Puts the values of sorted positions First and Second of each lane into
// values[First] and values[Second] (the others are left in some order).
template <typename V, int N, int First, int Second>
[[gnu::always_inline]] inline void Select(V* values)
{
    constexpr const SelectionNetwork& network = Selection<N, First, Second>::network;
    ApplyNetwork<V, network>(values, std::make_index_sequence<static_cast<size_t>(network.count)>{});
}

template <typename M>
[[gnu::always_inline]] inline bool AnyLane(const M& mask)
{
    uint64_t words[sizeof(M) / sizeof(uint64_t)];
    std::memcpy(words, &mask, sizeof mask);
    uint64_t any = 0;
    for (uint64_t w : words)
        any |= w;
    return any != 0;
}

template <typename V, int N>
[[gnu::always_inline]] inline int FindBlocks(const RingSampleRows& rows, const RingBlockSettings& settings, int x,
                                             int x1, std::vector<RingCandidate>& found)
{
    constexpr int kLanes = static_cast<int>(sizeof(V) / sizeof(uint16_t));
    using M = decltype(V{} < V{});
    constexpr int r0 = LowerQuartilePosition(N), r1 = NextPosition(r0, N);
    constexpr int u0 = UpperQuartilePosition(N), u1 = NextPosition(u0, N);
    // The ring quantile is at most sorted value r1: it needs N - r1 samples
    // at the threshold. An upper quantile is at least sorted value u0: it
    // is above a level once N - u0 samples are.
    const M neededAtThreshold = M{} + static_cast<int16_t>(N - r1);
    const M enoughAbove = M{} + static_cast<int16_t>(N - u0);
    const M pairLimit = M{} + static_cast<int16_t>(N / 4);
    const V threshold = V{} + static_cast<uint16_t>(settings.threshold);
    const bool thresholded = settings.threshold > 0;
    const bool useInnerRing = settings.useInnerRing;

    for (; x + kLanes <= x1; x += kLanes) {
        V ring[N], inner[N], outer[N];
        for (int k = 0; k < N; ++k)
            std::memcpy(&ring[k], rows.ring[k] + x, sizeof(V));
        M pass = M{} == M{};
        if (thresholded) {
            M count{};
            for (int k = 0; k < N; ++k)
                count -= ring[k] >= threshold;
            pass &= count >= neededAtThreshold;
            if (!AnyLane(pass))
                continue;
        }
        if (useInnerRing) {
            M pairs{};
            for (int k = 0; k < N; ++k) {
                std::memcpy(&inner[k], rows.inner[k] + x, sizeof(V));
                pairs -= inner[k] >= ring[k];
            }
            pass &= pairs <= pairLimit;
        }
        if (!AnyLane(pass))
            continue;

        Select<V, N, r0, r1>(ring);
        const V ringLow = ring[r0], ringHigh = ring[r1];
        // The ring quantile lies between them, so a ring whose upper value
        // is below the threshold fails, and so does one whose upper value is
        // below an inner or outer quantile.
        pass &= ringHigh >= threshold;
        if (useInnerRing) {
            M above{};
            for (int k = 0; k < N; ++k)
                above -= inner[k] > ringHigh;
            pass &= above < enoughAbove;
        }
        {
            M above{};
            for (int k = 0; k < N; ++k) {
                std::memcpy(&outer[k], rows.outer[k] + x, sizeof(V));
                above -= outer[k] > ringHigh;
            }
            pass &= above < enoughAbove;
        }
        if (!AnyLane(pass))
            continue;

        V innerLow{}, innerHigh{};
        if (useInnerRing) {
            Select<V, N, u0, u1>(inner);
            innerLow = inner[u0];
            innerHigh = inner[u1];
        }
        Select<V, N, u0, u1>(outer);
        const V outerLow = outer[u0], outerHigh = outer[u1];
        for (int lane = 0; lane < kLanes; ++lane) {
            if (pass[lane] == 0)
                continue;
            RingCandidate c;
            c.x = x + lane;
            c.ring[0] = ringLow[lane];
            c.ring[1] = ringHigh[lane];
            c.inner[0] = innerLow[lane];
            c.inner[1] = innerHigh[lane];
            c.outer[0] = outerLow[lane];
            c.outer[1] = outerHigh[lane];
            found.push_back(c);
        }
    }
    return x;
}

using Lanes8 = uint16_t __attribute__((vector_size(16)));
using Lanes16 = uint16_t __attribute__((vector_size(32)));
using Lanes32 = uint16_t __attribute__((vector_size(64)));

using BlockFinder = int (*)(const RingSampleRows&, const RingBlockSettings&, int, int, std::vector<RingCandidate>&);

template <int N>
int FindBlocksBaseline(const RingSampleRows& rows, const RingBlockSettings& settings, int x0, int x1,
                       std::vector<RingCandidate>& found)
{
    return FindBlocks<Lanes8, N>(rows, settings, x0, x1, found);
}

#if defined(__x86_64__) || defined(__i386__)
template <int N>
[[gnu::target("avx2")]] int FindBlocksAvx2(const RingSampleRows& rows, const RingBlockSettings& settings, int x0,
                                            int x1, std::vector<RingCandidate>& found)
{
    return FindBlocks<Lanes16, N>(rows, settings, x0, x1, found);
}

template <int N>
[[gnu::target("avx512f,avx512bw")]] int FindBlocksAvx512(const RingSampleRows& rows,
                                                         const RingBlockSettings& settings, int x0, int x1,
                                                         std::vector<RingCandidate>& found)
{
    return FindBlocks<Lanes32, N>(rows, settings, x0, x1, found);
}

int WidestLanes()
{
    static const int lanes = [] {
        __builtin_cpu_init();
        if (__builtin_cpu_supports("avx512bw"))
            return 32;
        if (__builtin_cpu_supports("avx2"))
            return 16;
        return 8;
    }();
    return lanes;
}

template <int N>
BlockFinder FinderFor(int lanes)
{
    switch (lanes) {
        case 32:
            return &FindBlocksAvx512<N>;
        case 16:
            return &FindBlocksAvx2<N>;
        default:
            return &FindBlocksBaseline<N>;
    }
}
#else
int WidestLanes()
{
    return 8;
}

template <int N>
BlockFinder FinderFor(int)
{
    return &FindBlocksBaseline<N>;
}
#endif

BlockFinder FinderForSamples(int samples, int lanes)
{
    switch (samples) {
        case 8:
            return FinderFor<8>(lanes);
        case 12:
            return FinderFor<12>(lanes);
        case 16:
            return FinderFor<16>(lanes);
        case 24:
            return FinderFor<24>(lanes);
        case 32:
            return FinderFor<32>(lanes);
        default:
            return nullptr;
    }
}

}  // namespace

bool HasRingBlocks(int samples)
{
    return FinderForSamples(samples, 8) != nullptr;
}

std::vector<int> RingBlockWidths()
{
    std::vector<int> widths;
    for (int lanes = 8; lanes <= WidestLanes(); lanes *= 2)
        widths.push_back(lanes);
    return widths;
}

int FindRingCandidates(const RingSampleRows& rows, const RingBlockSettings& settings, int x0, int x1,
                       std::vector<RingCandidate>& found, int lanes)
{
    if (lanes == 0)
        lanes = WidestLanes();
    const BlockFinder finder = FinderForSamples(settings.samples, std::min(lanes, WidestLanes()));
    if (!finder || settings.threshold < 0 || settings.threshold > 65535)
        return x0;
    return finder(rows, settings, x0, x1, found);
}

// Vectorised accumulation of one result row for the linear alignment mappings.
//
// Every lane computes what the per-pixel loop of insertExposure computes for its pixel: the
// same float operations in the same order (the source position, the Lagrange weights, the
// 4 × 4 sums row by row, the clamping and the accumulation step), so the bytes are the same.
#include "composite/insert_rows.h"

#include "core/simd_dispatch.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

// Lanes must round exactly like the scalar loop: never fuse multiply and add.
#include "core/exact_float.h"

namespace quillon {
namespace {

template <int VW>
struct Lanes {
    using F = typename simd::Vec<VW>::F;
    using I = typename simd::Vec<VW>::I;
    using S = typename simd::Vec<VW>::S;
};

// NaN to 0, clamped to the sample range, per lane (in place: wide lanes never cross a
// function boundary by value).
template <int VW>
[[gnu::always_inline]] inline void clampLanes(typename Lanes<VW>::F& v) {
    using F = typename Lanes<VW>::F;
    v = v == v ? v : F{};
    v = v >= 32767.0f ? F{} + 32767.0f : v;
    v = v <= -32768.0f ? F{} - 32768.0f : v;
}

// toSample per lane: NaN to 0, clamped, truncated. (Vectors go by reference: wide lanes never
// cross a function boundary by value.)
template <int VW>
[[gnu::always_inline]] inline void toSamples(typename Lanes<VW>::I& out,
                                             const typename Lanes<VW>::F& value) {
    typename Lanes<VW>::F v = value;
    clampLanes<VW>(v);
    out = __builtin_convertvector(v, typename Lanes<VW>::I);
}

// roundedSample per lane: NaN to 0, clamped, rounded half away from zero.
template <int VW>
[[gnu::always_inline]] inline void roundedSamples(typename Lanes<VW>::I& out,
                                                  const typename Lanes<VW>::F& value) {
    typename Lanes<VW>::F v = value;
    clampLanes<VW>(v);
    v = v < 0.0f ? v - 0.5f : v + 0.5f;
    out = __builtin_convertvector(v, typename Lanes<VW>::I);
}

// The Lagrange weights of the nodes 0 .. 3 at t, as the sampler forms them.
template <int VW>
[[gnu::always_inline]] inline void weights(typename Lanes<VW>::F* w,
                                           const typename Lanes<VW>::F& t) {
    w[0] = (t - 1.0f) * (t - 2.0f) * (t - 3.0f) / -6.0f;
    w[1] = t * (t - 2.0f) * (t - 3.0f) / 2.0f;
    w[2] = t * (t - 1.0f) * (t - 3.0f) / -2.0f;
    w[3] = t * (t - 1.0f) * (t - 2.0f) / 6.0f;
}

// Whether any lane of a mask (0 or -1 per lane) is set.
template <int VW>
[[gnu::always_inline]] inline bool anyLane(const typename Lanes<VW>::I& mask) {
    std::array<std::uint64_t, VW / 2> words;
    std::memcpy(words.data(), &mask, sizeof mask);
    std::uint64_t any = 0;
    for (const std::uint64_t w : words) any |= w;
    return any != 0;
}

// Whether every lane of a mask (0 or -1 per lane) is set.
template <int VW>
[[gnu::always_inline]] inline bool allLanes(const typename Lanes<VW>::I& mask) {
    std::array<std::uint64_t, VW / 2> words;
    std::memcpy(words.data(), &mask, sizeof mask);
    std::uint64_t all = ~std::uint64_t{0};
    for (const std::uint64_t w : words) all &= w;
    return all == ~std::uint64_t{0};
}

// The 4 × 4 interpolation when lane k's window starts at window + k: each tap is one load of
// consecutive samples. The same operations in the same order as the per-lane sums.
template <int VW>
[[gnu::always_inline]] inline void
contiguousTaps(typename Lanes<VW>::F& value, const Sample* window, int ew,
               const typename Lanes<VW>::F* wx, const typename Lanes<VW>::F* wy) {
    using F = typename Lanes<VW>::F;
    using S = typename Lanes<VW>::S;
    value = F{};
#pragma GCC unroll 4
    for (int i = 0; i < 4; ++i) {
        const Sample* r = window + static_cast<std::ptrdiff_t>(i) * ew;
        F inner = {};
#pragma GCC unroll 4
        for (int j = 0; j < 4; ++j) {
            S s;
            simd::load(s, r + j);
            inner += wx[j] * __builtin_convertvector(s, F);
        }
        value += wy[i] * inner;
    }
}

// Clamps the interpolated values of layer p and accumulates them into result row y from column
// x on, lanes outside leaving their pixels as they are.
template <int VW>
[[gnu::always_inline]] inline void
accumulateLanes(const RowInsertJob& job, int p, int y, int x, typename Lanes<VW>::F& value,
                const typename Lanes<VW>::I& inside, Sample* const* out, Count* const* counts) {
    using F = typename Lanes<VW>::F;
    using I = typename Lanes<VW>::I;
    using S = typename Lanes<VW>::S;
    if (job.clampValues) {
        value = value < -32768.0f ? F{} - 32768.0f : value;
        value = value > 32767.0f ? F{} + 32767.0f : value;
    }
    const int t = job.target[static_cast<std::size_t>(p)];
    Sample* o = out[t] + x;
    Count* c = counts[t] + x;
    if (job.fresh && !job.sums) {
        // What a sample and count of 0 become, without reading them: the rounded weighted
        // value added to 0, or 0 · 0 / 1 + factor · value / 1 without the divisions.
        I next;
        if (job.sum) {
            F add = job.factor[static_cast<std::size_t>(p)] * value + 0.5f;
            add = add == add ? add : F{};
            add = add > 1.0e6f ? F{} + 1.0e6f : add;
            add = add < -1.0e6f ? F{} - 1.0e6f : add;
            next = __builtin_convertvector(add, I);
            next = next > 32767 ? I{} + 32767 : next;
            next = next < -32768 ? I{} - 32768 : next;
        } else {
            toSamples<VW>(next, job.factor[static_cast<std::size_t>(p)] * value);
        }
        next = inside ? next : I{};
        simd::store(o, __builtin_convertvector(next, S));
        simd::store(c, __builtin_convertvector(inside & 1, S));
        return;
    }
    S rs, cs;
    simd::load(rs, o);
    simd::load(cs, c);
    const I r = __builtin_convertvector(rs, I);
    const I count = __builtin_convertvector(cs, I) & 0xFFFF;
    I next;
    F* sumAt = nullptr;
    F* weightAt = nullptr;
    F exactSum, exactWeight;
    if (job.sums) {
        // Lanes outside add nothing; their sums are stored back unchanged.
        const F added = inside ? job.factor[static_cast<std::size_t>(p)] * value : F{};
        simd::load(exactSum, job.sums->sumRow(t, y) + x);
        exactSum += added;
        sumAt = &exactSum;
        if (!job.sum) {
            simd::load(exactWeight, job.sums->weightRow(t, y) + x);
            exactWeight += inside ? F{} + 1.0f : F{};
            weightAt = &exactWeight;
        }
    }
    if (weightAt) {
        roundedSamples<VW>(next, exactSum / exactWeight);
    } else if (job.sum) {
        F add = job.factor[static_cast<std::size_t>(p)] * value + 0.5f;
        add = add == add ? add : F{};
        add = add > 1.0e6f ? F{} + 1.0e6f : add;
        add = add < -1.0e6f ? F{} - 1.0e6f : add;
        next = r + __builtin_convertvector(add, I);
        next = next > 32767 ? I{} + 32767 : next;
        next = next < -32768 ? I{} - 32768 : next;
    } else {
        const F s = __builtin_convertvector(count, F);
        const F kept = __builtin_convertvector(r, F) * s / (s + 1.0f);
        const F weighted = job.factor[static_cast<std::size_t>(p)] * value;
        toSamples<VW>(next, kept + weighted / (s + 1.0f));
    }
    next = inside ? next : r;
    const I nextCount = (inside & (count < kMaxContributions)) ? count + 1 : count;
    simd::store(o, __builtin_convertvector(next, S));
    simd::store(c, __builtin_convertvector(nextCount, S));
    if (sumAt) simd::store(job.sums->sumRow(t, y) + x, *sumAt);
    if (weightAt) simd::store(job.sums->weightRow(t, y) + x, *weightAt);
}

template <int VW>
[[gnu::always_inline]] inline int rowT(const RowInsertJob& job, int y, Sample* const* out,
                                       Count* const* counts) {
    using F = typename Lanes<VW>::F;
    using I = typename Lanes<VW>::I;
    using S = typename Lanes<VW>::S;
    const ExposureMapping& m = *job.map;
    const int ew = job.exposureWidth, eh = job.exposureHeight;
    const float maxU = static_cast<float>(ew - 1), maxV = static_cast<float>(eh - 1);
    const float fy = static_cast<float>(y);
    // The parts of the position that depend on the row only, as the scalar loop forms them.
    const float dy = fy - m.t1.y;
    const float rowShiftV = (fy - m.offsetY) / m.factor;
    const float bdy = m.b * dy, ady = m.a * dy, yuy = fy * m.uy, yvy = fy * m.vy;
    const float minusB = -m.b;
    I lane;
    for (int k = 0; k < VW; ++k) lane[k] = k;

    // A shift: the row's window and weights are the same for every pixel, the columns' come
    // from the tables.
    const ShiftColumns* columns = m.kind == 1 ? job.columns : nullptr;
    int rowStart = 0;
    F rowWeight[4];
    if (columns) {
        if (!(rowShiftV >= 0.0f && rowShiftV <= maxV)) return 0; // nothing in this row
        rowStart = std::clamp(static_cast<int>(rowShiftV) - 1, 0, eh - 4);
        F t = F{} + (rowShiftV - static_cast<float>(rowStart));
        weights<VW>(rowWeight, t);
    }

    int x = 0;
    for (; x + VW <= job.resultWidth; x += VW) {
        I inside, base;
        F wx[4], wy[4];
        if (columns) {
            simd::load(inside, columns->inside.data() + x);
            if (!anyLane<VW>(inside)) continue;
            I x0;
            simd::load(x0, columns->start.data() + x);
            for (int j = 0; j < 4; ++j) {
                simd::load(wx[j], columns->weight[static_cast<std::size_t>(j)].data() + x);
                wy[j] = rowWeight[j];
            }
            base = rowStart * ew + x0;
        } else {
            const F fx = __builtin_convertvector(lane + x, F);
            F u, v;
            if (m.kind == 1) {
                u = (fx - m.offsetX) / m.factor;
                v = F{} + rowShiftV;
            } else if (m.kind == 2) {
                const F dx = fx - m.t1.x;
                u = m.a * dx + bdy + m.s1.x;
                v = minusB * dx + ady + m.s1.y;
            } else {
                u = fx * m.ux + yuy + m.u0;
                v = fx * m.vx + yvy + m.v0;
            }
            inside = (u >= 0.0f) & (u <= maxU) & (v >= 0.0f) & (v <= maxV);
            if (!anyLane<VW>(inside)) continue;
            // Lanes outside keep their samples; their position only has to index the exposure.
            u = inside ? u : F{};
            v = inside ? v : F{};
            I x0 = __builtin_convertvector(u, I) - 1;
            I y0 = __builtin_convertvector(v, I) - 1;
            x0 = x0 < 0 ? I{} : x0;
            x0 = x0 > ew - 4 ? I{} + (ew - 4) : x0;
            y0 = y0 < 0 ? I{} : y0;
            y0 = y0 > eh - 4 ? I{} + (eh - 4) : y0;
            const F tx = u - __builtin_convertvector(x0, F);
            const F ty = v - __builtin_convertvector(y0, F);
            weights<VW>(wx, tx);
            weights<VW>(wy, ty);
            base = y0 * ew + x0;
        }
        // Neighbouring lanes usually read neighbouring windows (a shift, small angles): lane k's
        // window then starts at offset + k for one of a few offsets (a rotation steps to the
        // next exposure row now and then), and each window sample is a vector load per offset,
        // the lanes blended by offset. Lanes outside read whatever the first inside lane reads.
        I offset = base - lane;
        // The common case, every lane inside and one offset for all (almost every vector of a
        // shift or a near-identity rotation): the taps are 16 plain loads per layer.
        const int common = offset[0];
        if (allLanes<VW>((offset == common) & inside) && common >= 0 &&
            static_cast<long long>(common) + VW + 3LL * ew + 3 <= static_cast<long long>(ew) * eh) {
            for (int p = 0; p < job.layers; ++p) {
                const Sample* window = job.source[static_cast<std::size_t>(p)] + common;
                F value;
                contiguousTaps<VW>(value, window, ew, wx, wy);
                accumulateLanes<VW>(job, p, y, x, value, inside, out, counts);
            }
            continue;
        }
        int first = 0;
        while (inside[first] == 0) ++first;
        offset = inside ? offset : I{} + offset[first];
        constexpr int kMostRuns = 3;
        std::array<int, kMostRuns> runStart{};
        std::array<I, kMostRuns> runLanes{};
        int runs = 0;
        I left = I{} - 1;
        for (int k = 0; k < VW; ++k) {
            if (left[k] == 0) continue;
            const int o = offset[k];
            // Every lane's load of this offset must stay inside the plane.
            if (runs == kMostRuns || o < 0 ||
                static_cast<long long>(o) + VW + 3LL * ew + 3 > static_cast<long long>(ew) * eh) {
                runs = 0;
                break;
            }
            runStart[static_cast<std::size_t>(runs)] = o;
            runLanes[static_cast<std::size_t>(runs)] = offset == o;
            left &= ~runLanes[static_cast<std::size_t>(runs)];
            ++runs;
        }

        for (int p = 0; p < job.layers; ++p) {
            const Sample* plane = job.source[static_cast<std::size_t>(p)];
            F value = {};
            for (int i = 0; i < 4; ++i) {
                F inner = {};
                if (runs > 0) {
                    for (int j = 0; j < 4; ++j) {
                        F sample;
                        for (int r = 0; r < runs; ++r) {
                            S s;
                            simd::load(s,
                                       plane + runStart[static_cast<std::size_t>(r)] + i * ew + j);
                            const F f = __builtin_convertvector(s, F);
                            sample =
                                r == 0 ? f : (runLanes[static_cast<std::size_t>(r)] ? f : sample);
                        }
                        inner += wx[j] * sample;
                    }
                } else {
                    I s[4] = {};
                    for (int k = 0; k < VW; ++k) {
                        const Sample* r = plane + base[k] + i * ew;
                        for (int j = 0; j < 4; ++j) s[j][k] = r[j];
                    }
                    for (int j = 0; j < 4; ++j) inner += wx[j] * __builtin_convertvector(s[j], F);
                }
                value += wy[i] * inner;
            }
            accumulateLanes<VW>(job, p, y, x, value, inside, out, counts);
        }
    }
    return x;
}

// At AVX-512, 16 lanes for the shift only: the other mappings divide per pixel (the weights of
// both directions and the average step), and 512-bit divisions cost twice as much per lane.
struct InsertRow {
    template <simd::Level L>
    [[gnu::always_inline]] static int run(const RowInsertJob& job, int y, Sample* const* out,
                                          Count* const* counts) {
        if constexpr (L == simd::Avx512)
            if (!job.columns) return rowT<8>(job, y, out, counts);
        return rowT<simd::kFloats<L>>(job, y, out, counts);
    }
};

} // namespace

void prepareShiftColumns(ShiftColumns& columns, const ExposureMapping& map, int resultWidth,
                         int exposureWidth) {
    // Padded to whole vectors of the widest level, so that a vector load never leaves them.
    const std::size_t n = static_cast<std::size_t>(resultWidth) + 16;
    columns.inside.assign(n, 0);
    columns.start.assign(n, 0);
    for (auto& w : columns.weight) w.assign(n, 0.0f);
    const float maxU = static_cast<float>(exposureWidth - 1);
    for (int x = 0; x < resultWidth; ++x) {
        const auto i = static_cast<std::size_t>(x);
        const float u = (static_cast<float>(x) - map.offsetX) / map.factor;
        if (!(u >= 0.0f && u <= maxU)) continue;
        columns.inside[i] = -1;
        const int x0 = std::clamp(static_cast<int>(u) - 1, 0, exposureWidth - 4);
        columns.start[i] = x0;
        const float t = u - static_cast<float>(x0);
        columns.weight[0][i] = (t - 1.0f) * (t - 2.0f) * (t - 3.0f) / -6.0f;
        columns.weight[1][i] = t * (t - 2.0f) * (t - 3.0f) / 2.0f;
        columns.weight[2][i] = t * (t - 1.0f) * (t - 3.0f) / -2.0f;
        columns.weight[3][i] = t * (t - 1.0f) * (t - 2.0f) / 6.0f;
    }
}

bool rowInsertApplies(const ExposureMapping& map, int exposureWidth, int exposureHeight) {
    return map.kind >= 1 && map.kind <= 3 && exposureWidth >= 4 && exposureHeight >= 4 &&
           static_cast<long long>(exposureWidth) * exposureHeight < (1LL << 31) - 1;
}

int insertRowVectors(const RowInsertJob& job, int y, Sample* const* out, Count* const* counts) {
    return simd::select<InsertRow, int(const RowInsertJob&, int, Sample* const*, Count* const*)>()(
        job, y, out, counts);
}

} // namespace quillon

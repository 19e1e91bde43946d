// Background extraction: sky samples, robust polynomial and thin-plate spline fits, apply.
#include "filters/background.h"

#include "core/error.h"
#include "core/parallel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <string>

namespace quillon {

namespace {

constexpr const char* kTitle = "Hintergrund extrahieren";

// Rounds half up (also below 0, unlike truncation) and clamps to the sample range; NaN
// gives 0. Without a library call, as it runs for every pixel.
inline Sample roundNearest(double v) {
    if (!(v == v)) return 0;
    const double t = v + 0.5;
    if (t >= 32767.0) return static_cast<Sample>(kSampleMax);
    if (t <= -32768.0) return static_cast<Sample>(kSampleMin);
    int i = static_cast<int>(t);
    if (static_cast<double>(i) > t) --i;
    return static_cast<Sample>(i);
}

// Median of v (reordered).
double medianOf(std::vector<double>& v) {
    if (v.empty()) return 0;
    const std::size_t mid = v.size() / 2;
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(mid), v.end());
    double m = v[mid];
    if (v.size() % 2 == 0) {
        m = (m + *std::max_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(mid))) / 2;
    }
    return m;
}

// Robust spread: 1.4826 × median absolute deviation from m.
double madSigma(const std::vector<double>& v, double m) {
    std::vector<double> d(v.size());
    for (std::size_t i = 0; i < v.size(); ++i) d[i] = std::abs(v[i] - m);
    return 1.4826 * medianOf(d);
}

struct BoxStat {
    double value = 0;
    double noise = 0;   // uncertainty of value: 1.25 σ / √(pixels kept)
    bool usable = true; // no saturated pixel, no bright star
};

// Sigma-clipped median of one box of one layer, and whether the box looks like sky.
BoxStat measureBox(const Image& image, int layer, int cx, int cy, int box) {
    const int x0 = std::max(0, cx - box / 2), x1 = std::min(image.width(), x0 + box);
    const int y0 = std::max(0, cy - box / 2), y1 = std::min(image.height(), y0 + box);
    std::vector<double> v;
    v.reserve(static_cast<std::size_t>(x1 - x0) * static_cast<std::size_t>(y1 - y0));
    BoxStat s;
    for (int y = y0; y < y1; ++y) {
        const Sample* r = image.row(layer, y);
        for (int x = x0; x < x1; ++x) {
            if (r[x] >= kSampleMax) s.usable = false;
            v.push_back(r[x]);
        }
    }
    if (v.empty()) return {0, 0, false};
    const std::vector<double> all = v;
    double m = medianOf(v);
    double sigma = madSigma(v, m);
    for (int pass = 0; pass < 3 && sigma > 0; ++pass) {
        std::vector<double> kept;
        kept.reserve(v.size());
        for (double x : v)
            if (std::abs(x - m) <= 3 * sigma) kept.push_back(x);
        if (kept.size() == v.size() || kept.empty()) break;
        v.swap(kept);
        m = medianOf(v);
        sigma = madSigma(v, m);
    }
    s.value = m;
    s.noise = 1.2533 * sigma / std::sqrt(double(v.size()));
    // A bright star or a nebula covering a noticeable part of the box.
    const double high = m + 5 * std::max(sigma, 1.0);
    std::size_t bright = 0;
    for (double x : all)
        if (x > high) ++bright;
    if (bright * 50 > all.size() && bright >= 2) s.usable = false;
    return s;
}

void measureSample(BackgroundSample& s, const Image& image, LayerMask mask, int box) {
    s.values.assign(static_cast<std::size_t>(image.layerCount()), 0.0);
    s.noise.assign(static_cast<std::size_t>(image.layerCount()), 0.0);
    s.rejected = false;
    for (int l = 0; l < image.layerCount(); ++l) {
        if (!layerSelected(mask, l)) continue;
        const BoxStat b = measureBox(image, l, s.x, s.y, box);
        s.values[static_cast<std::size_t>(l)] = b.value;
        s.noise[static_cast<std::size_t>(l)] = b.noise;
        if (!b.usable) s.rejected = true;
    }
}

// Solves min |A c - b| (A: n × m, row-major) by Householder QR. False when A is (nearly)
// rank deficient.
bool leastSquares(std::vector<double> a, std::vector<double> b, int n, int m,
                  std::vector<double>& c) {
    if (n < m) return false;
    auto at = [&](int i, int j) -> double& {
        return a[static_cast<std::size_t>(i) * static_cast<std::size_t>(m) +
                 static_cast<std::size_t>(j)];
    };
    std::vector<double> diag(static_cast<std::size_t>(m));
    double largest = 0;
    for (int k = 0; k < m; ++k) {
        double norm = 0;
        for (int i = k; i < n; ++i) norm += at(i, k) * at(i, k);
        norm = std::sqrt(norm);
        largest = std::max(largest, norm);
        if (norm <= 1e-12 * std::max(largest, 1.0)) return false;
        const double alpha = at(k, k) > 0 ? -norm : norm;
        at(k, k) -= alpha; // v = column - alpha e_k
        double vv = 0;
        for (int i = k; i < n; ++i) vv += at(i, k) * at(i, k);
        for (int j = k + 1; j < m; ++j) {
            double d = 0;
            for (int i = k; i < n; ++i) d += at(i, k) * at(i, j);
            const double f = 2 * d / vv;
            for (int i = k; i < n; ++i) at(i, j) -= f * at(i, k);
        }
        double d = 0;
        for (int i = k; i < n; ++i) d += at(i, k) * b[static_cast<std::size_t>(i)];
        const double f = 2 * d / vv;
        for (int i = k; i < n; ++i) b[static_cast<std::size_t>(i)] -= f * at(i, k);
        diag[static_cast<std::size_t>(k)] = alpha;
    }
    c.assign(static_cast<std::size_t>(m), 0.0);
    for (int k = m - 1; k >= 0; --k) {
        double s = b[static_cast<std::size_t>(k)];
        for (int j = k + 1; j < m; ++j) s -= at(k, j) * c[static_cast<std::size_t>(j)];
        c[static_cast<std::size_t>(k)] = s / diag[static_cast<std::size_t>(k)];
    }
    return true;
}

// Solves the square system A X = B (A: n × n, B: n × r, row-major) by LU with partial
// pivoting. False when A is singular.
bool solveSquare(std::vector<double>& a, std::vector<double>& b, int n, int r) {
    const auto N = static_cast<std::size_t>(n), R = static_cast<std::size_t>(r);
    for (std::size_t k = 0; k < N; ++k) {
        std::size_t p = k;
        for (std::size_t i = k + 1; i < N; ++i)
            if (std::abs(a[i * N + k]) > std::abs(a[p * N + k])) p = i;
        if (std::abs(a[p * N + k]) < 1e-14) return false;
        if (p != k) {
            for (std::size_t j = 0; j < N; ++j) std::swap(a[k * N + j], a[p * N + j]);
            for (std::size_t j = 0; j < R; ++j) std::swap(b[k * R + j], b[p * R + j]);
        }
        const double piv = a[k * N + k];
        parallelRows(static_cast<int>(N - k - 1), 64, [&](int i0, int i1) {
            for (std::size_t i = k + 1 + static_cast<std::size_t>(i0);
                 i < k + 1 + static_cast<std::size_t>(i1); ++i) {
                const double f = a[i * N + k] / piv;
                if (f == 0) continue;
                for (std::size_t j = k + 1; j < N; ++j) a[i * N + j] -= f * a[k * N + j];
                for (std::size_t j = 0; j < R; ++j) b[i * R + j] -= f * b[k * R + j];
            }
        });
    }
    for (std::size_t k = N; k-- > 0;) {
        for (std::size_t j = 0; j < R; ++j) {
            double s = b[k * R + j];
            for (std::size_t i = k + 1; i < N; ++i) s -= a[k * N + i] * b[i * R + j];
            b[k * R + j] = s / a[k * N + k];
        }
    }
    return true;
}

int polyTerms(int degree) {
    return (degree + 1) * (degree + 2) / 2;
}

// u^i v^j for i + j <= degree, ordered by total degree.
void polyBasis(int degree, double u, double v, double* out) {
    int t = 0;
    for (int d = 0; d <= degree; ++d)
        for (int j = 0; j <= d; ++j) out[t++] = std::pow(u, d - j) * std::pow(v, j);
}

double tpsKernel(double r2) {
    return r2 > 0 ? 0.5 * r2 * std::log(r2) : 0.0; // r² log r
}

// The smoothing thin-plate spline through n points for any smoothing λ at O(n²) each, after
// one O(n³) decomposition per point set. The system
//     (K + nλ I) w + P a = y,   Pᵀ w = 0      (K: kernel matrix, P = [1 u v])
// is reduced with the QR decomposition P = Q [R; 0]: w = Q [0; z] with
//     (M + nλ I) z = (Qᵀ y) below the first three rows,   M = (Qᵀ K Q) there,
// and M, symmetric, is brought to tridiagonal form T = Uᵀ M U once, so that each λ needs a
// tridiagonal solve and the reflectors applied back. For the kernel r² log r, M is positive
// definite for distinct points not on one line.
class SmoothingSpline {
public:
    // Points (u, v) and the right-hand sides y (n × r, row-major). False when the points are
    // too few or lie on one line.
    bool prepare(const std::vector<double>& pu, const std::vector<double>& pv,
                 const std::vector<double>& y, int r) {
        n_ = static_cast<int>(pu.size());
        r_ = r;
        if (n_ < 4) return false;
        const auto N = static_cast<std::size_t>(n_);
        // Householder QR of P.
        std::vector<double> p(N * 3);
        for (std::size_t i = 0; i < N; ++i)
            p[i * 3] = 1, p[i * 3 + 1] = pu[i], p[i * 3 + 2] = pv[i];
        double largest = 0;
        for (std::size_t k = 0; k < 3; ++k) {
            double norm = 0;
            for (std::size_t i = k; i < N; ++i) norm += p[i * 3 + k] * p[i * 3 + k];
            norm = std::sqrt(norm);
            largest = std::max(largest, norm);
            if (norm <= 1e-10 * largest) return false;
            const double alpha = p[k * 3 + k] > 0 ? -norm : norm;
            std::vector<double>& h = qv_[k];
            h.assign(N, 0.0);
            for (std::size_t i = k; i < N; ++i) h[i] = p[i * 3 + k];
            h[k] -= alpha;
            double hh = 0;
            for (std::size_t i = k; i < N; ++i) hh += h[i] * h[i];
            qb_[k] = 2 / hh;
            for (std::size_t j = k; j < 3; ++j) {
                double d = 0;
                for (std::size_t i = k; i < N; ++i) d += h[i] * p[i * 3 + j];
                d *= qb_[k];
                for (std::size_t i = k; i < N; ++i) p[i * 3 + j] -= d * h[i];
            }
            for (std::size_t j = 0; j < 3; ++j) r3_[k][j] = p[k * 3 + j];
        }
        // Qᵀ K Q: kernel rows built and reflected from the left in parallel, then from the
        // right row by row.
        std::vector<double> kq(N * N);
        parallelRows(n_, 32, [&](int i0, int i1) {
            for (std::size_t i = std::size_t(i0); i < std::size_t(i1); ++i)
                for (std::size_t j = 0; j < N; ++j) {
                    const double du = pu[i] - pu[j], dv = pv[i] - pv[j];
                    kq[i * N + j] = tpsKernel(du * du + dv * dv);
                }
        });
        // One Householder reflection applied to every row of kq.
        auto reflectRows = [&](std::size_t k) {
            const std::vector<double>& h = qv_[k];
            parallelRows(n_, 32, [&](int i0, int i1) {
                for (std::size_t i = std::size_t(i0); i < std::size_t(i1); ++i) {
                    double* row = &kq[i * N];
                    double d = 0;
                    for (std::size_t j = k; j < N; ++j) d += row[j] * h[j];
                    d *= qb_[k];
                    for (std::size_t j = k; j < N; ++j) row[j] -= d * h[j];
                }
            });
        };
        for (std::size_t k = 0; k < 3; ++k) {
            // From the left: rows k… of every column; K is symmetric, so this is the right
            // product on the transposed matrix.
            reflectRows(k);
            // Now the left product, as the same on the columns: transpose in place.
            transpose(kq, N);
            reflectRows(k);
        }
        m_ = n_ - 3;
        const auto M = static_cast<std::size_t>(m_);
        c_.assign(3 * M, 0.0);
        for (std::size_t q = 0; q < 3; ++q)
            for (std::size_t j = 0; j < M; ++j) c_[q * M + j] = kq[q * N + 3 + j];
        std::vector<double> a(M * M);
        for (std::size_t i = 0; i < M; ++i) std::copy_n(&kq[(i + 3) * N + 3], M, &a[i * M]);
        kq = {};
        tridiagonalise(a);
        // The right-hand sides: Qᵀ y, the lower part turned by the tridiagonal reflectors.
        yq_ = y;
        for (std::size_t c = 0; c < std::size_t(r); ++c) {
            std::vector<double> col(N);
            for (std::size_t i = 0; i < N; ++i) col[i] = yq_[i * std::size_t(r) + c];
            for (std::size_t k = 0; k < 3; ++k) reflect(qv_[k], qb_[k], k, col);
            reflectTridiagonalT(col);
            for (std::size_t i = 0; i < N; ++i) yq_[i * std::size_t(r) + c] = col[i];
        }
        return true;
    }

    // Solution for λ: sol[(i) r + c] the weights w of the n points, sol[(n + q) r + c] the
    // coefficients of 1, u, v. False when the system is singular.
    bool solve(double lambda, std::vector<double>& sol) const {
        const auto N = static_cast<std::size_t>(n_), M = static_cast<std::size_t>(m_),
                   R = static_cast<std::size_t>(r_);
        sol.assign((N + 3) * R, 0.0);
        const double shift = lambda * n_;
        std::vector<double> z(M), cp(M), col(N);
        for (std::size_t c = 0; c < R; ++c) {
            // Thomas algorithm on T + shift I.
            double scale = 0;
            for (std::size_t i = 0; i < M; ++i) scale = std::max(scale, std::abs(d_[i] + shift));
            double prev = 0;
            for (std::size_t i = 0; i < M; ++i) {
                const double sub = i > 0 ? e_[i - 1] : 0;
                const double piv = d_[i] + shift - sub * (i > 0 ? cp[i - 1] : 0);
                if (!(std::abs(piv) > 1e-13 * scale)) return false;
                cp[i] = i + 1 < M ? e_[i] / piv : 0;
                z[i] = (yq_[(i + 3) * R + c] - sub * prev) / piv;
                prev = z[i];
            }
            for (std::size_t i = M - 1; i-- > 0;) z[i] -= cp[i] * z[i + 1];
            // Back through the tridiagonal reflectors, then the three of Q.
            std::fill(col.begin(), col.end(), 0.0);
            std::copy(z.begin(), z.end(), col.begin() + 3);
            reflectTridiagonal(col);
            // R a = (Qᵀ y)_top − C z.
            double top[3];
            for (std::size_t q = 0; q < 3; ++q) {
                double s = yq_[q * R + c];
                for (std::size_t j = 0; j < M; ++j) s -= c_[q * M + j] * col[3 + j];
                top[q] = s;
            }
            double a[3];
            for (std::size_t q = 3; q-- > 0;) {
                double s = top[q];
                for (std::size_t j = q + 1; j < 3; ++j) s -= r3_[q][j] * a[j];
                a[q] = s / r3_[q][q];
            }
            for (std::size_t k = 3; k-- > 0;) reflect(qv_[k], qb_[k], k, col);
            for (std::size_t i = 0; i < N; ++i) sol[i * R + c] = col[i];
            for (std::size_t q = 0; q < 3; ++q) sol[(N + q) * R + c] = a[q];
        }
        return true;
    }

private:
    static void transpose(std::vector<double>& a, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i)
            for (std::size_t j = i + 1; j < n; ++j) std::swap(a[i * n + j], a[j * n + i]);
    }
    // x[from…] −= β h (hᵀ x[from…]).
    static void reflect(const std::vector<double>& h, double beta, std::size_t from,
                        std::vector<double>& x) {
        double d = 0;
        for (std::size_t i = from; i < h.size(); ++i) d += h[i] * x[i];
        d *= beta;
        for (std::size_t i = from; i < h.size(); ++i) x[i] -= d * h[i];
    }
    // Householder tridiagonalisation of the symmetric m × m matrix a (row-major, destroyed):
    // diagonal d_, off-diagonal e_, reflector k acting on entries k + 1 … of the m.
    void tridiagonalise(std::vector<double>& a) {
        const auto M = static_cast<std::size_t>(m_);
        d_.assign(M, 0.0);
        e_.assign(M > 0 ? M - 1 : 0, 0.0);
        tv_.assign(M, {});
        tb_.assign(M, 0.0);
        std::vector<double> p(M);
        for (std::size_t k = 0; k + 2 < M; ++k) {
            const std::size_t s = M - k - 1;
            std::vector<double> x(s); // column k below the diagonal (the lower triangle)
            for (std::size_t i = 0; i < s; ++i) x[i] = a[(k + 1 + i) * M + k];
            double norm = 0;
            for (std::size_t i = 0; i < s; ++i) norm += x[i] * x[i];
            norm = std::sqrt(norm);
            d_[k] = a[k * M + k];
            if (norm == 0) {
                e_[k] = 0;
                continue;
            }
            const double alpha = x[0] > 0 ? -norm : norm;
            std::vector<double>& v = tv_[k];
            v = std::move(x);
            v[0] -= alpha;
            double vv = 0;
            for (double t : v) vv += t * t;
            const double beta = 2 / vv;
            tb_[k] = beta;
            e_[k] = alpha;
            // p = β A' v, w = p − (β pᵀv / 2) v, A' −= v wᵀ + w vᵀ on the trailing block,
            // of which only the lower triangle is kept. Rows are split into chunks of equal
            // area; each chunk adds its share of the column sums to p under the lock.
            const std::size_t o = k + 1;
            const int chunks = std::min<int>(int(s), 2 * threadCount());
            std::vector<std::size_t> bound(static_cast<std::size_t>(chunks) + 1);
            for (int c = 0; c <= chunks; ++c)
                bound[std::size_t(c)] =
                    std::size_t(std::lround(double(s) * std::sqrt(double(c) / chunks)));
            std::fill(p.begin(), p.begin() + std::ptrdiff_t(s), 0.0);
            std::mutex lock;
            parallelRows(chunks, 1, [&](int c0, int c1) {
                const std::size_t i0 = bound[std::size_t(c0)], i1 = bound[std::size_t(c1)];
                std::vector<double> part(i1, 0.0);
                for (std::size_t i = i0; i < i1; ++i) {
                    const double* row = &a[(o + i) * M + o];
                    const double vi = v[i];
                    double d = row[i] * vi;
                    for (std::size_t j = 0; j < i; ++j) {
                        d += row[j] * v[j];
                        part[j] += row[j] * vi;
                    }
                    part[i] += d;
                }
                const std::lock_guard<std::mutex> hold(lock);
                for (std::size_t j = 0; j < i1; ++j) p[j] += part[j];
            });
            for (std::size_t i = 0; i < s; ++i) p[i] *= beta;
            double pv = 0;
            for (std::size_t i = 0; i < s; ++i) pv += p[i] * v[i];
            const double kf = beta * pv / 2;
            for (std::size_t i = 0; i < s; ++i) p[i] -= kf * v[i];
            parallelRows(chunks, 1, [&](int c0, int c1) {
                for (std::size_t i = bound[std::size_t(c0)]; i < bound[std::size_t(c1)]; ++i) {
                    double* row = &a[(o + i) * M + o];
                    const double vi = v[i], wi = p[i];
                    for (std::size_t j = 0; j <= i; ++j) row[j] -= vi * p[j] + wi * v[j];
                }
            });
        }
        if (M >= 2) {
            d_[M - 2] = a[(M - 2) * M + M - 2];
            e_[M - 2] = a[(M - 1) * M + M - 2];
        }
        if (M >= 1) d_[M - 1] = a[(M - 1) * M + M - 1];
    }
    // Uᵀ on entries 3… of col (reflectors in order), and U (in reverse order).
    void reflectTridiagonalT(std::vector<double>& col) const {
        for (std::size_t k = 0; k < tv_.size(); ++k) applyTridiagonal(k, col);
    }
    void reflectTridiagonal(std::vector<double>& col) const {
        for (std::size_t k = tv_.size(); k-- > 0;) applyTridiagonal(k, col);
    }
    void applyTridiagonal(std::size_t k, std::vector<double>& col) const {
        const std::vector<double>& v = tv_[k];
        if (v.empty()) return;
        double* x = &col[3 + k + 1];
        double d = 0;
        for (std::size_t i = 0; i < v.size(); ++i) d += v[i] * x[i];
        d *= tb_[k];
        for (std::size_t i = 0; i < v.size(); ++i) x[i] -= d * v[i];
    }

    int n_ = 0, m_ = 0, r_ = 0;
    std::vector<double> qv_[3];
    double qb_[3] = {};
    double r3_[3][3] = {};
    std::vector<double> c_;  // (Qᵀ K Q) rows 0…2, columns 3…
    std::vector<double> yq_; // Qᵀ y, its lower part turned by Uᵀ
    std::vector<double> d_, e_, tb_;
    std::vector<std::vector<double>> tv_;
};

[[noreturn]] void tooFewSamples(int usable, int needed) {
    throw Error("Zu wenige brauchbare Hintergrundproben (" + std::to_string(usable) +
                ", mindestens " + std::to_string(needed) +
                " nötig). Bitte ein dichteres Raster, eine schwächere Ausschlussstärke oder "
                "einen kleineren Polynomgrad wählen.");
}

// Rejects grid samples that stand out from the plane through their neighbours by more
// than k·σ, σ being the robust spread of these deviations over the grid.
void rejectByNeighbours(std::vector<BackgroundSample>& samples, const BackgroundOptions& o,
                        int layerCount, LayerMask mask) {
    std::vector<int> index(static_cast<std::size_t>(o.grid * o.grid), -1);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const BackgroundSample& s = samples[i];
        if (s.gridX >= 0) index[static_cast<std::size_t>(s.gridY * o.grid + s.gridX)] = int(i);
    }
    for (int pass = 0; pass < 2; ++pass) {
        std::vector<char> reject(samples.size(), 0);
        for (int l = 0; l < layerCount; ++l) {
            if (!layerSelected(mask, l)) continue;
            std::vector<double> dev(samples.size(), 0.0);
            std::vector<char> has(samples.size(), 0);
            std::vector<double> all;
            for (std::size_t i = 0; i < samples.size(); ++i) {
                const BackgroundSample& s = samples[i];
                if (s.gridX < 0 || s.rejected) continue;
                // Least-squares plane v = a + b dx + c dy through the usable neighbours.
                double m[3][4] = {};
                int n = 0;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int gx = s.gridX + dx, gy = s.gridY + dy;
                        if ((dx == 0 && dy == 0) || gx < 0 || gy < 0 || gx >= o.grid ||
                            gy >= o.grid)
                            continue;
                        const int k = index[static_cast<std::size_t>(gy * o.grid + gx)];
                        if (k < 0 || samples[static_cast<std::size_t>(k)].rejected) continue;
                        const double row[3] = {1.0, double(dx), double(dy)};
                        const double val = samples[static_cast<std::size_t>(k)]
                                               .values[static_cast<std::size_t>(l)];
                        for (int p = 0; p < 3; ++p) {
                            for (int q = 0; q < 3; ++q) m[p][q] += row[p] * row[q];
                            m[p][3] += row[p] * val;
                        }
                        ++n;
                    }
                if (n < 4) continue;
                std::vector<double> a(9), b(3);
                for (int p = 0; p < 3; ++p) {
                    for (int q = 0; q < 3; ++q) a[static_cast<std::size_t>(p * 3 + q)] = m[p][q];
                    b[static_cast<std::size_t>(p)] = m[p][3];
                }
                if (!solveSquare(a, b, 3, 1)) continue;
                dev[i] = s.values[static_cast<std::size_t>(l)] - b[0];
                has[i] = 1;
                all.push_back(dev[i]);
            }
            if (all.size() < 4) continue;
            const double centre = medianOf(all);
            const double sigma = std::max(madSigma(all, centre), 0.5);
            for (std::size_t i = 0; i < samples.size(); ++i)
                if (has[i] && std::abs(dev[i] - centre) > o.rejection * sigma) reject[i] = 1;
        }
        bool any = false;
        for (std::size_t i = 0; i < samples.size(); ++i)
            if (reject[i]) samples[i].rejected = any = true;
        if (!any) break;
    }
}

// Rejects samples on extended emission (a nebula, a galaxy's halo) that is too smooth for the
// neighbour test. Emission only ever adds light, so the sky is the lower envelope of the
// samples: a quadratic model is fitted and refitted without the samples that lie more than
// k·σ above it, σ being measured from the samples below it alone (their spread is the sky's
// and the model's, untouched by emission). The samples it leaves above the final model are
// rejected; the test gives up (rejects nothing) when it would keep fewer than a third.
void rejectExtendedEmission(std::vector<BackgroundSample>& samples, const BackgroundOptions& o,
                            int layerCount, LayerMask mask, double cx, double cy, double scale) {
    constexpr int kDegree = 2;
    const int terms = polyTerms(kDegree);
    std::vector<std::size_t> candidates;
    for (std::size_t i = 0; i < samples.size(); ++i)
        if (samples[i].gridX >= 0 && !samples[i].rejected) candidates.push_back(i);
    const std::size_t least =
        std::max<std::size_t>(std::size_t(terms) * 3, (candidates.size() + 2) / 3);
    if (candidates.size() < least) return;
    std::vector<char> reject(samples.size(), 0);
    for (int l = 0; l < layerCount; ++l) {
        if (!layerSelected(mask, l)) continue;
        const auto L = static_cast<std::size_t>(l);
        std::vector<char> keep(candidates.size(), 1);
        std::vector<double> res(candidates.size()), c;
        std::vector<double> noise;
        for (std::size_t i : candidates) noise.push_back(samples[i].noise[L]);
        const double floor = std::max(1.5 * medianOf(noise), 0.5);
        bool done = false;
        double sigma = floor;
        for (int pass = 0; pass < 10 && !done; ++pass) {
            std::vector<double> a, b;
            int n = 0;
            for (std::size_t k = 0; k < candidates.size(); ++k) {
                if (!keep[k]) continue;
                const BackgroundSample& s = samples[candidates[k]];
                double basis[32];
                polyBasis(kDegree, (s.x - cx) / scale, (s.y - cy) / scale, basis);
                a.insert(a.end(), basis, basis + terms);
                b.push_back(s.values[L]);
                ++n;
            }
            if (!leastSquares(a, b, n, terms, c)) break;
            std::vector<double> below;
            for (std::size_t k = 0; k < candidates.size(); ++k) {
                const BackgroundSample& s = samples[candidates[k]];
                double basis[32];
                polyBasis(kDegree, (s.x - cx) / scale, (s.y - cy) / scale, basis);
                double m = 0;
                for (int t = 0; t < terms; ++t) m += c[std::size_t(t)] * basis[t];
                res[k] = s.values[L] - m;
                if (keep[k] && res[k] <= 0) below.push_back(-res[k]);
            }
            // Half-normal: the median of |r| below the model is 0.6745 σ.
            sigma = std::max(below.empty() ? 0.0 : medianOf(below) / 0.6745, floor);
            std::vector<char> next(candidates.size());
            std::size_t kept = 0;
            for (std::size_t k = 0; k < candidates.size(); ++k)
                kept += (next[k] = res[k] <= o.rejection * sigma) ? 1 : 0;
            if (kept < least) return;
            done = next == keep;
            keep.swap(next);
        }
        if (!done) continue;
        // The emission's fainter rim: samples next to a rejected one that lie above the
        // model by more than σ go as well, as far as the rim reaches.
        std::vector<int> at(static_cast<std::size_t>(o.grid * o.grid), -1);
        for (std::size_t k = 0; k < candidates.size(); ++k) {
            const BackgroundSample& s = samples[candidates[k]];
            at[static_cast<std::size_t>(s.gridY * o.grid + s.gridX)] = int(k);
        }
        for (bool grew = true; grew;) {
            grew = false;
            std::size_t kept = 0;
            for (char k : keep) kept += k ? 1 : 0;
            for (std::size_t k = 0; k < candidates.size() && kept > least; ++k) {
                if (!keep[k] || res[k] <= sigma) continue;
                const BackgroundSample& s = samples[candidates[k]];
                bool touches = false;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int gx = s.gridX + dx, gy = s.gridY + dy;
                        if (gx < 0 || gy < 0 || gx >= o.grid || gy >= o.grid) continue;
                        const int q = at[static_cast<std::size_t>(gy * o.grid + gx)];
                        if (q >= 0 && !keep[std::size_t(q)]) touches = true;
                    }
                if (touches) keep[k] = 0, grew = true, --kept;
            }
        }
        for (std::size_t k = 0; k < candidates.size(); ++k)
            if (!keep[k]) reject[candidates[k]] = 1;
    }
    for (std::size_t i = 0; i < samples.size(); ++i)
        if (reject[i]) samples[i].rejected = true;
}

} // namespace

void checkBackgroundOptions(const BackgroundOptions& o) {
    if (o.grid < kBackgroundGridMin || o.grid > kBackgroundGridMax)
        throw Error("Die Rasterdichte muss zwischen 8 und 32 Proben je Seite liegen.");
    if (!(o.rejection >= 1.0f && o.rejection <= 10.0f))
        throw Error("Die Ausschlussstärke muss zwischen 1 und 10 liegen.");
    if (o.degree < 1 || o.degree > kBackgroundDegreeMax)
        throw Error("Der Polynomgrad muss zwischen 1 und 4 liegen.");
    if (!(o.smoothing >= 0.0f && o.smoothing <= 1.0f))
        throw Error("Die Glättung muss zwischen 0 und 1 liegen.");
}

BackgroundOptions BackgroundParams::options() const {
    BackgroundOptions o;
    o.grid = grid;
    o.rejection = rejection;
    o.method = method == 1 ? BackgroundMethod::Spline : BackgroundMethod::Polynomial;
    o.degree = degree;
    o.smoothing = smoothing;
    o.divide = divide != 0;
    return o;
}

BackgroundParams BackgroundParams::of(const BackgroundOptions& o) {
    BackgroundParams p;
    p.grid = o.grid;
    p.rejection = o.rejection;
    p.method = o.method == BackgroundMethod::Spline ? 1 : 0;
    p.degree = o.degree;
    p.smoothing = o.smoothing;
    p.divide = o.divide ? 1 : 0;
    return p;
}

namespace {
constexpr const char* kMethodWords[] = {"poly", "spline"};
using BP = BackgroundParams;
using R = SettingsRecord;
constexpr ParamField<BP> kBackgroundFields[] = {
    paramField<&BP::method>({"method", OptionKind::Choice, 0, 1, 0, kMethodWords},
                            &R::backgroundMethod),
    paramField<&BP::degree>({"degree", OptionKind::Integer, 1, kBackgroundDegreeMax},
                            &R::backgroundDegree),
    paramField<&BP::grid>({"grid", OptionKind::Integer, kBackgroundGridMin, kBackgroundGridMax},
                          &R::backgroundGrid),
    paramField<&BP::smoothing>({"smoothing", OptionKind::Real, 0, 1}),
    paramField<&BP::rejection>({"rejection", OptionKind::Real, 1, 10}, &R::backgroundRejection,
                               StoredAs::Scaled),
    paramField<&BP::divide>({nullptr, OptionKind::Integer, 0, 1}, &R::backgroundDivide),
};
} // namespace

std::span<const ParamField<BackgroundParams>> backgroundFields() {
    return kBackgroundFields;
}

BackgroundParams backgroundParamsFromSettings(const SettingsRecord& s) {
    BackgroundParams p = paramsFromSettings(backgroundFields(), s);
    p.smoothing = static_cast<float>(std::clamp(fromStoredReal(s.backgroundSmoothing), 0.0, 1.0));
    return p;
}

void storeBackgroundParams(const BackgroundParams& p, SettingsRecord& s) {
    storeParams(backgroundFields(), p, s);
    s.backgroundSmoothing = static_cast<int>(std::lround(double(p.smoothing) * 10000.0));
}

int backgroundBoxSize(int width, int height, int grid) {
    const int cell = std::min(width, height) / std::max(grid, 1);
    return std::clamp(cell / 2, 1, 64);
}

std::vector<BackgroundSample> placeBackgroundSamples(const Image& image, const BackgroundOptions& o,
                                                     LayerMask mask) {
    checkBackgroundOptions(o);
    std::vector<BackgroundSample> samples;
    if (!image.hasSamples()) return samples;
    const int box = backgroundBoxSize(image.width(), image.height(), o.grid);
    const int half = box / 2;
    for (int gy = 0; gy < o.grid; ++gy)
        for (int gx = 0; gx < o.grid; ++gx) {
            BackgroundSample s;
            s.gridX = gx;
            s.gridY = gy;
            // The outer boxes touch the edges, so that the model is never extrapolated far.
            s.x = std::min(image.width() - 1,
                           half + int(std::lround(double(gx) * (image.width() - 1 - 2 * half) /
                                                  (o.grid - 1))));
            s.y = std::min(image.height() - 1,
                           half + int(std::lround(double(gy) * (image.height() - 1 - 2 * half) /
                                                  (o.grid - 1))));
            samples.push_back(std::move(s));
        }
    parallelRows(static_cast<int>(samples.size()), 4, [&](int a, int b) {
        for (int i = a; i < b; ++i)
            measureSample(samples[static_cast<std::size_t>(i)], image, mask, box);
    });
    rejectByNeighbours(samples, o, image.layerCount(), mask);
    rejectExtendedEmission(samples, o, image.layerCount(), mask, (image.width() - 1) / 2.0,
                           (image.height() - 1) / 2.0,
                           std::max(image.width(), image.height()) / 2.0);
    return samples;
}

void toggleBackgroundSample(std::vector<BackgroundSample>& samples, const Image& image,
                            const BackgroundOptions& o, LayerMask mask, int x, int y) {
    const int box = backgroundBoxSize(image.width(), image.height(), o.grid);
    const int half = std::max(box / 2, 2);
    for (auto it = samples.begin(); it != samples.end(); ++it) {
        if (std::abs(it->x - x) > half || std::abs(it->y - y) > half) continue;
        if (it->gridX < 0) {
            samples.erase(it); // an added sample is taken away again
        } else {
            it->user = it->used() ? -1 : 1;
        }
        return;
    }
    if (x < 0 || y < 0 || x >= image.width() || y >= image.height()) return;
    BackgroundSample s;
    s.x = x;
    s.y = y;
    measureSample(s, image, mask, box);
    s.user = 1;
    samples.push_back(std::move(s));
}

bool BackgroundModel::hasLayer(int layer) const {
    return layer >= 0 && layer < static_cast<int>(layers_.size()) &&
           layers_[static_cast<std::size_t>(layer)].fitted;
}

double BackgroundModel::polyAt(const Layer& l, double u, double v) const {
    double basis[32];
    polyBasis(degree_, u, v, basis);
    double s = 0;
    for (std::size_t t = 0; t < l.poly.size(); ++t) s += l.poly[t] * basis[t];
    return s;
}

namespace {
// Catmull-Rom weights at fraction f between nodes 1 and 2 of four.
void cubicWeights(double f, double* w) {
    const double f2 = f * f, f3 = f2 * f;
    w[0] = 0.5 * (-f3 + 2 * f2 - f);
    w[1] = 0.5 * (3 * f3 - 5 * f2 + 2);
    w[2] = 0.5 * (-3 * f3 + 4 * f2 + f);
    w[3] = 0.5 * (f3 - f2);
}
} // namespace

void BackgroundModel::evaluateLattice(const Layer& l, int y, int x0, int count, double* out) const {
    // Node k (from 0) sits at pixel (k - 1) × step.
    const double ty = double(y) / step_ + 1;
    const int ky = std::clamp(int(std::floor(ty)), 1, nodesY_ - 3);
    double wy[4];
    cubicWeights(ty - ky, wy);
    std::vector<double> row(static_cast<std::size_t>(nodesX_));
    for (int i = 0; i < nodesX_; ++i) {
        double s = 0;
        for (int k = 0; k < 4; ++k)
            s += wy[k] * l.lattice[static_cast<std::size_t>((ky - 1 + k) * nodesX_ + i)];
        row[static_cast<std::size_t>(i)] = s;
    }
    for (int i = 0; i < count; ++i) {
        const double tx = double(x0 + i) / step_ + 1;
        const int kx = std::clamp(int(std::floor(tx)), 1, nodesX_ - 3);
        double wx[4];
        cubicWeights(tx - kx, wx);
        double s = 0;
        for (int k = 0; k < 4; ++k) s += wx[k] * row[static_cast<std::size_t>(kx - 1 + k)];
        out[i] = s;
    }
}

void BackgroundModel::evaluateRow(int layer, int y, int x0, int count, double* out) const {
    const Layer& l = layers_[static_cast<std::size_t>(layer)];
    if (method_ == BackgroundMethod::Spline) {
        evaluateLattice(l, y, x0, count, out);
        return;
    }
    // The polynomial as one in u for this row: coefficient of u^i = sum_j c_ij v^j.
    const double v = (y - cy_) / scale_;
    double cu[kBackgroundDegreeMax + 1] = {};
    int t = 0;
    for (int d = 0; d <= degree_; ++d)
        for (int j = 0; j <= d; ++j)
            cu[d - j] += l.poly[static_cast<std::size_t>(t++)] * std::pow(v, j);
    const double u0 = (x0 - cx_) / scale_, du = 1.0 / scale_;
    for (int i = 0; i < count; ++i) {
        const double u = u0 + i * du;
        double s = cu[degree_];
        for (int k = degree_ - 1; k >= 0; --k) s = s * u + cu[k];
        out[i] = s;
    }
}

double BackgroundModel::at(int layer, int x, int y) const {
    double v = 0;
    evaluateRow(layer, y, x, 1, &v);
    return v;
}

BackgroundModel fitBackground(const Image& image, std::vector<BackgroundSample>& samples,
                              const BackgroundOptions& o, LayerMask mask) {
    checkBackgroundOptions(o);
    if (!image.hasSamples()) throw Error(msg::kFilterNotApplicable);
    BackgroundModel model;
    model.width_ = image.width();
    model.height_ = image.height();
    model.method_ = o.method;
    model.degree_ = o.degree;
    model.cx_ = (image.width() - 1) / 2.0;
    model.cy_ = (image.height() - 1) / 2.0;
    model.scale_ = std::max(image.width(), image.height()) / 2.0;
    model.layers_.resize(static_cast<std::size_t>(image.layerCount()));

    std::vector<std::size_t> used;
    for (BackgroundSample& s : samples) s.fitRejected = false;
    for (std::size_t i = 0; i < samples.size(); ++i)
        if (samples[i].used()) used.push_back(i);
    const bool poly = o.method == BackgroundMethod::Polynomial;
    const int terms = poly ? polyTerms(o.degree) : 3;
    const int needed = poly ? terms + 3 : 8;
    if (static_cast<int>(used.size()) < needed) tooFewSamples(int(used.size()), needed);

    const int layerCount = image.layerCount();
    // Per layer: which of the used samples the fit keeps.
    std::vector<std::vector<char>> keep(static_cast<std::size_t>(layerCount),
                                        std::vector<char>(used.size(), 1));
    auto u = [&](std::size_t i) { return (samples[i].x - model.cx_) / model.scale_; };
    auto v = [&](std::size_t i) { return (samples[i].y - model.cy_) / model.scale_; };

    if (poly) {
        for (int l = 0; l < layerCount; ++l) {
            if (!layerSelected(mask, l)) continue;
            auto& k = keep[static_cast<std::size_t>(l)];
            std::vector<double> c;
            for (int pass = 0; pass < 8; ++pass) {
                std::vector<double> a, b;
                int n = 0;
                for (std::size_t s = 0; s < used.size(); ++s) {
                    if (!k[s]) continue;
                    double basis[32];
                    polyBasis(o.degree, u(used[s]), v(used[s]), basis);
                    a.insert(a.end(), basis, basis + terms);
                    b.push_back(samples[used[s]].values[static_cast<std::size_t>(l)]);
                    ++n;
                }
                if (n < needed) tooFewSamples(n, needed);
                if (!leastSquares(a, b, n, terms, c)) tooFewSamples(n, needed);
                model.layers_[static_cast<std::size_t>(l)].poly = c;
                // The spread comes from every used sample (the median absolute deviation is
                // robust already; taken over the kept ones only it would shrink each pass and
                // eat into good samples). The user's forced samples always stay.
                std::vector<double> r;
                std::vector<double> res(used.size(), 0.0);
                for (std::size_t s = 0; s < used.size(); ++s) {
                    res[s] = samples[used[s]].values[static_cast<std::size_t>(l)] -
                             model.polyAt(model.layers_[static_cast<std::size_t>(l)], u(used[s]),
                                          v(used[s]));
                    r.push_back(res[s]);
                }
                const double sigma = std::max(madSigma(r, 0.0), 0.5);
                bool changed = false;
                for (std::size_t s = 0; s < used.size(); ++s) {
                    const bool ok = samples[used[s]].user > 0 ||
                                    std::abs(res[s]) <= std::max(o.rejection, 2.0f) * sigma;
                    if (ok != bool(k[s])) {
                        k[s] = ok;
                        changed = true;
                    }
                }
                if (!changed) break;
            }
            model.layers_[static_cast<std::size_t>(l)].fitted = true;
        }
    } else {
        // A thin-plate spline through what a quadratic trend leaves: the trend carries the
        // bulk of the gradient, the spline the rest. A spline through every sample would
        // follow their noise, so it is regularised by their measured noise: λ* is the
        // smoothing at which the fit stays one noise σ from the samples on average (mean of
        // (residual / noise)² = 1), and λ = λ* · 10^(4s − 1) for the smoothing factor s.
        // The default 0.5 smooths ten times more than λ*, as the spline's own freedom takes
        // up part of the noise at λ*; 0 passes through every sample. One factorisation per
        // λ serves all layers.
        std::vector<int> sel;
        for (int l = 0; l < layerCount; ++l)
            if (layerSelected(mask, l)) sel.push_back(l);
        const int r = static_cast<int>(sel.size());
        constexpr int kTrendDegree = 2;
        const int trendTerms = polyTerms(kTrendDegree);
        std::vector<char> k(used.size(), 1);
        std::vector<std::size_t> pts;
        std::vector<std::vector<double>> trend(static_cast<std::size_t>(r));
        SmoothingSpline spline;
        std::vector<double> sol, detrended, weight;
        int n = 0;
        auto value = [&](std::size_t s, int c) {
            return samples[s].values[static_cast<std::size_t>(sel[std::size_t(c)])];
        };
        auto trendAt = [&](int c, double pu, double pv) {
            double basis[32];
            polyBasis(kTrendDegree, pu, pv, basis);
            double t = 0;
            for (int q = 0; q < trendTerms; ++q)
                t += trend[std::size_t(c)][std::size_t(q)] * basis[q];
            return t;
        };
        // Solves the smoothing spline for λ; returns Σ (residual / noise)² over the points
        // and layers (the residual of point i is n λ w_i).
        auto solve = [&](double lambda) {
            if (!spline.solve(lambda, sol)) tooFewSamples(n, needed);
            double chi2 = 0;
            for (int i = 0; i < n; ++i)
                for (int c = 0; c < r; ++c) {
                    const double d = lambda * n * sol[static_cast<std::size_t>(i * r + c)] *
                                     weight[static_cast<std::size_t>(i * r + c)];
                    chi2 += d * d;
                }
            return chi2;
        };
        const double factor = std::pow(10.0, 4.0 * o.smoothing - 1.0);
        auto chooseLambda = [&] {
            if (o.smoothing <= 0) return 0.0;
            // Bisection on log10 λ: the misfit grows with λ.
            const double target = double(n) * r;
            double lo = -9, hi = 3;
            if (solve(std::pow(10.0, hi)) <= target) return std::pow(10.0, hi) * factor;
            for (int step = 0; step < 8; ++step) {
                const double mid = (lo + hi) / 2;
                (solve(std::pow(10.0, mid)) > target ? hi : lo) = mid;
            }
            return std::pow(10.0, (lo + hi) / 2) * factor;
        };
        // The points kept: their trend, the detrended values, the kernel matrix.
        auto prepare = [&] {
            pts.clear();
            for (std::size_t s = 0; s < used.size(); ++s)
                if (k[s]) pts.push_back(used[s]);
            n = static_cast<int>(pts.size());
            if (n < needed) tooFewSamples(n, needed);
            std::vector<double> basis(static_cast<std::size_t>(n * trendTerms));
            for (int i = 0; i < n; ++i)
                polyBasis(kTrendDegree, u(pts[std::size_t(i)]), v(pts[std::size_t(i)]),
                          &basis[static_cast<std::size_t>(i * trendTerms)]);
            detrended.assign(static_cast<std::size_t>(n * r), 0.0);
            weight.assign(static_cast<std::size_t>(n * r), 0.0);
            for (int c = 0; c < r; ++c) {
                std::vector<double> b(static_cast<std::size_t>(n));
                for (int i = 0; i < n; ++i) b[std::size_t(i)] = value(pts[std::size_t(i)], c);
                if (!leastSquares(basis, b, n, trendTerms, trend[std::size_t(c)]))
                    tooFewSamples(n, needed);
                for (int i = 0; i < n; ++i) {
                    const std::size_t s = pts[std::size_t(i)];
                    detrended[static_cast<std::size_t>(i * r + c)] =
                        b[std::size_t(i)] - trendAt(c, u(s), v(s));
                    const auto& noise = samples[s].noise;
                    const std::size_t layer = static_cast<std::size_t>(sel[std::size_t(c)]);
                    const double sigma = layer < noise.size() ? std::max(noise[layer], 0.05) : 1.0;
                    weight[static_cast<std::size_t>(i * r + c)] = 1.0 / sigma;
                }
            }
            std::vector<double> pu(static_cast<std::size_t>(n)), pv(pu.size());
            for (int i = 0; i < n; ++i)
                pu[std::size_t(i)] = u(pts[std::size_t(i)]),
                pv[std::size_t(i)] = v(pts[std::size_t(i)]);
            if (!spline.prepare(pu, pv, detrended, r)) tooFewSamples(n, needed);
        };
        // The fitted surface of layer c at (pu, pv), kernel values of the points given.
        auto surface = [&](int c, double pu, double pv, const double* phi) {
            double m = trendAt(c, pu, pv) + sol[static_cast<std::size_t>(n * r + c)] +
                       sol[static_cast<std::size_t>((n + 1) * r + c)] * pu +
                       sol[static_cast<std::size_t>((n + 2) * r + c)] * pv;
            for (int i = 0; i < n; ++i) m += sol[static_cast<std::size_t>(i * r + c)] * phi[i];
            return m;
        };
        // Rejection passes with the λ of the first; λ is chosen again for the final set.
        prepare();
        double lambda = chooseLambda();
        solve(lambda);
        bool rejectedAny = false;
        for (int pass = 0; pass < 3; ++pass) {
            std::vector<char> next(used.size(), 1);
            std::vector<double> phi(static_cast<std::size_t>(n));
            for (int c = 0; c < r; ++c) {
                std::vector<double> res(used.size());
                for (std::size_t s = 0; s < used.size(); ++s) {
                    for (int i = 0; i < n; ++i) {
                        const double du = u(used[s]) - u(pts[std::size_t(i)]);
                        const double dv = v(used[s]) - v(pts[std::size_t(i)]);
                        phi[std::size_t(i)] = tpsKernel(du * du + dv * dv);
                    }
                    res[s] = value(used[s], c) - surface(c, u(used[s]), v(used[s]), phi.data());
                }
                const double sigma = std::max(madSigma(res, 0.0), 0.5);
                for (std::size_t s = 0; s < used.size(); ++s)
                    if (samples[used[s]].user <= 0 &&
                        std::abs(res[s]) > std::max(o.rejection, 2.0f) * sigma)
                        next[s] = 0;
            }
            if (next == k) break;
            k = next;
            rejectedAny = true;
            prepare();
            solve(lambda);
        }
        if (rejectedAny) solve(chooseLambda());
        for (int l = 0; l < layerCount; ++l) keep[static_cast<std::size_t>(l)] = k;
        // The surface on a lattice with a margin of one node; Catmull-Rom in between.
        const int cell = std::max(1, std::min(image.width(), image.height()) / o.grid);
        model.step_ = std::max(1, cell / 4);
        model.nodesX_ = (image.width() - 1) / model.step_ + 4;
        model.nodesY_ = (image.height() - 1) / model.step_ + 4;
        for (int c = 0; c < r; ++c) {
            auto& layer = model.layers_[static_cast<std::size_t>(sel[std::size_t(c)])];
            layer.lattice.assign(static_cast<std::size_t>(model.nodesX_ * model.nodesY_), 0.0);
            layer.fitted = true;
        }
        parallelRows(model.nodesY_, 1, [&](int y0, int y1) {
            std::vector<double> phi(static_cast<std::size_t>(n));
            for (int ny = y0; ny < y1; ++ny)
                for (int nx = 0; nx < model.nodesX_; ++nx) {
                    const double pu = ((nx - 1) * model.step_ - model.cx_) / model.scale_;
                    const double pv = ((ny - 1) * model.step_ - model.cy_) / model.scale_;
                    for (int i = 0; i < n; ++i) {
                        const double du = pu - u(pts[std::size_t(i)]);
                        const double dv = pv - v(pts[std::size_t(i)]);
                        phi[std::size_t(i)] = tpsKernel(du * du + dv * dv);
                    }
                    for (int c = 0; c < r; ++c)
                        model.layers_[static_cast<std::size_t>(sel[std::size_t(c)])]
                            .lattice[static_cast<std::size_t>(ny * model.nodesX_ + nx)] =
                            surface(c, pu, pv, phi.data());
                }
        });
    }

    // Samples no layer's fit kept are shown as rejected.
    for (std::size_t s = 0; s < used.size(); ++s) {
        bool kept = true;
        for (int l = 0; l < layerCount; ++l)
            if (layerSelected(mask, l) && !keep[static_cast<std::size_t>(l)][s]) kept = false;
        if (!kept) samples[used[s]].fitRejected = true;
    }

    // Mean over a regular 64 × 64 set of pixels; a division needs a model above 0 there.
    for (int l = 0; l < layerCount; ++l) {
        auto& layer = model.layers_[static_cast<std::size_t>(l)];
        if (!layer.fitted) continue;
        double sum = 0, lowest = 0;
        bool first = true;
        const int nx = std::min(64, image.width()), ny = std::min(64, image.height());
        std::vector<double> row(1);
        for (int j = 0; j < ny; ++j) {
            const int y = int((j + 0.5) * image.height() / ny);
            for (int i = 0; i < nx; ++i) {
                const double m = model.at(l, int((i + 0.5) * image.width() / nx), y);
                sum += m;
                lowest = first ? m : std::min(lowest, m);
                first = false;
            }
        }
        layer.mean = sum / (nx * ny);
        if (!std::isfinite(layer.mean)) tooFewSamples(int(used.size()), needed);
        if (o.divide && !(lowest > 0))
            throw Error("Das Hintergrundmodell ist nicht überall größer als 0; durch dieses "
                        "Modell kann nicht geteilt werden. Bitte subtrahieren.");
    }
    return model;
}

void applyBackground(Image& image, const BackgroundModel& model, bool divide, LayerMask mask,
                     Progress& progress, int offsetX, int offsetY) {
    int count = 0;
    for (int l = 0; l < image.layerCount(); ++l)
        if (layerSelected(mask, l) && model.hasLayer(l)) ++count;
    progress.begin(kTitle, static_cast<long long>(count) * image.height(), 30);
    for (int l = 0; l < image.layerCount(); ++l) {
        if (!layerSelected(mask, l) || !model.hasLayer(l)) continue;
        const double mean = model.mean(l);
        parallelRows(image.height(), 16, [&](int y0, int y1) {
            std::vector<double> m(static_cast<std::size_t>(image.width()));
            for (int y = y0; y < y1; ++y) {
                model.evaluateRow(l, y + offsetY, offsetX, image.width(), m.data());
                Sample* r = image.row(l, y);
                for (int x = 0; x < image.width(); ++x) {
                    const double b = m[static_cast<std::size_t>(x)];
                    double out;
                    if (divide)
                        out = b > 0 ? r[x] * (mean / b) : r[x];
                    else
                        out = r[x] - b + mean;
                    r[x] = roundNearest(out);
                }
                progress.step();
            }
        });
    }
    progress.end();
    image.samplesChanged();
}

Image backgroundModelImage(const Image& source, const BackgroundModel& model, LayerMask mask) {
    Image out = source.metadataCopy();
    if (out.AllocateSamples(true) != 0) throw std::bad_alloc();
    for (int l = 0; l < out.layerCount(); ++l) {
        if (!layerSelected(mask, l) || !model.hasLayer(l)) continue;
        parallelRows(out.height(), 16, [&](int y0, int y1) {
            std::vector<double> m(static_cast<std::size_t>(out.width()));
            for (int y = y0; y < y1; ++y) {
                model.evaluateRow(l, y, 0, out.width(), m.data());
                Sample* r = out.row(l, y);
                for (int x = 0; x < out.width(); ++x)
                    r[x] = roundNearest(m[static_cast<std::size_t>(x)]);
            }
        });
    }
    if (out.hasOverlay() && source.hasOverlay())
        std::memcpy(out.planeData(out.overlayPlane()), source.planeData(source.overlayPlane()),
                    static_cast<std::size_t>(out.width()) * static_cast<std::size_t>(out.height()) *
                        sizeof(Sample));
    return out;
}

void extractBackground(Image& image, const BackgroundOptions& options, LayerMask mask,
                       Progress& progress, std::vector<BackgroundSample>* samples,
                       Image* modelOut) {
    std::vector<BackgroundSample> own;
    std::vector<BackgroundSample>& list = samples ? *samples : own;
    if (list.empty()) list = placeBackgroundSamples(image, options, mask);
    const BackgroundModel model = fitBackground(image, list, options, mask);
    if (modelOut) *modelOut = backgroundModelImage(image, model, mask);
    applyBackground(image, model, options.divide, mask, progress);
}

FilterOutcome BackgroundFilter::run(Image& destination, const Image& source, LayerMask mask,
                                    Progress& progress) const {
    if (destination.width() != source.width() || destination.height() != source.height() ||
        destination.layerCount() != source.layerCount())
        throw Error(msg::kFilterNotApplicable);
    const std::size_t plane =
        static_cast<std::size_t>(source.width()) * static_cast<std::size_t>(source.height());
    for (int p = 0; p < std::min(destination.planeCount(), source.planeCount()); ++p)
        std::memcpy(destination.planeData(p), source.planeData(p), plane * sizeof(Sample));
    if (showModel_) {
        for (int l = 0; l < destination.layerCount(); ++l) {
            if (!layerSelected(mask, l) || !model_.hasLayer(l)) continue;
            std::vector<double> m(static_cast<std::size_t>(destination.width()));
            for (int y = 0; y < destination.height(); ++y) {
                model_.evaluateRow(l, y + offsetY_, offsetX_, destination.width(), m.data());
                Sample* r = destination.row(l, y);
                for (int x = 0; x < destination.width(); ++x)
                    r[x] = roundNearest(m[static_cast<std::size_t>(x)]);
            }
        }
        destination.samplesChanged();
    } else {
        applyBackground(destination, model_, divide_, mask, progress, offsetX_, offsetY_);
    }
    return {};
}

} // namespace quillon

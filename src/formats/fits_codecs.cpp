// Rice, PLIO and H-compress as the tile-compression convention of FITS defines their streams.
#include "formats/fits_codecs.h"

#include "core/error.h"
#include "formats/byte_source.h"
#include "formats/fits_format.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace quillon::fits {

namespace {

[[noreturn]] void damaged() {
    throw Error(kMsgUnknownFormat);
}

struct ByteIn {
    const std::uint8_t* p;
    const std::uint8_t* end;
    std::uint32_t next() {
        if (p >= end) damaged();
        return *p++;
    }
};

} // namespace

// --- Rice ------------------------------------------------------------------------------------

namespace {

// Bits of a byte stream, most significant first, in a left-aligned 64-bit window refilled
// eight bytes at a time. Past the end zeros are supplied and counted: finished() tells
// whether any of them were used.
class BitWindow {
public:
    BitWindow(const std::uint8_t* p, const std::uint8_t* end) : p_(p), end_(end) {}
    void refill() {
        if (end_ - p_ >= 8) {
            std::uint64_t v;
            std::memcpy(&v, p_, 8);
            acc_ |= __builtin_bswap64(v) >> avail_;
            p_ += (63 - avail_) >> 3;
            avail_ |= 56;
        } else {
            while (avail_ <= 56) {
                std::uint64_t byte = 0;
                if (p_ < end_)
                    byte = *p_++;
                else if ((fake_ += 8) > 1024)
                    damaged();
                acc_ |= byte << (56 - avail_);
                avail_ += 8;
            }
        }
    }
    // n in 1..56, with at least n bits in the window.
    std::uint32_t take(int n) {
        const auto v = static_cast<std::uint32_t>(acc_ >> (64 - n));
        acc_ <<= n;
        avail_ -= n;
        return v;
    }
    // Counts and drops the zeros before the next one bit, and that bit. (Bits beyond the
    // valid ones may already hold the following data; they count only once refilled.)
    std::uint64_t unary() {
        std::uint64_t zeros = 0;
        for (;;) {
            if (acc_ != 0) {
                const int lz = __builtin_clzll(acc_);
                if (lz < avail_) {
                    acc_ <<= lz;
                    acc_ <<= 1;
                    avail_ -= lz + 1;
                    return zeros + static_cast<std::uint64_t>(lz);
                }
            }
            zeros += static_cast<std::uint64_t>(avail_);
            acc_ = 0;
            avail_ = 0;
            refill();
        }
    }
    int available() const { return avail_; }
    void finish() const {
        if (fake_ > avail_) damaged();
    }

private:
    const std::uint8_t* p_;
    const std::uint8_t* end_;
    std::uint64_t acc_ = 0;
    int avail_ = 0;
    int fake_ = 0;
};

// One Rice decoder per value width, so that the inner loops carry no switch.
template <int BytePix, class Store>
void riceDecodeT(const std::uint8_t* in, std::size_t size, Store out, std::size_t n,
                 int blockSize) {
    constexpr int fsBits = BytePix == 1 ? 3 : (BytePix == 2 ? 4 : 5);
    constexpr int fsMax = BytePix == 1 ? 6 : (BytePix == 2 ? 14 : 25);
    constexpr int bBits = 8 * BytePix;
    if (n == 0) return;
    if (size < static_cast<std::size_t>(BytePix)) damaged();
    std::uint32_t last = 0;
    for (int k = 0; k < BytePix; ++k) last = (last << 8) | in[k];
    BitWindow bits(in + BytePix, in + size);
    auto add = [&](std::uint32_t d) {
        last += (d & 1) == 0 ? d >> 1 : ~(d >> 1);
        if constexpr (BytePix == 1)
            return static_cast<std::int32_t>(last & 0xFF);
        else if constexpr (BytePix == 2)
            return static_cast<std::int32_t>(static_cast<std::int16_t>(last));
        else
            return static_cast<std::int32_t>(last);
    };
    for (std::size_t i = 0; i < n;) {
        bits.refill();
        const int fs = static_cast<int>(bits.take(fsBits)) - 1;
        const std::size_t iMax = std::min(i + static_cast<std::size_t>(blockSize), n);
        if (fs < 0) { // all differences zero
            const std::int32_t v = add(0);
            for (; i < iMax; ++i) out(i, v);
        } else if (fs == fsMax) { // differences stored raw
            for (; i < iMax; ++i) {
                bits.refill();
                out(i, add(bits.take(bBits)));
            }
        } else if (fs > fsMax) {
            damaged();
        } else if (fs == 0) {
            for (; i < iMax; ++i) out(i, add(static_cast<std::uint32_t>(bits.unary())));
        } else {
            // The window holds zeros beyond its valid bits, so the unary part needs no refill
            // of its own; the low bits refill only when the window runs short.
            for (; i < iMax; ++i) {
                const std::uint64_t top = bits.unary();
                if (bits.available() < fs) bits.refill();
                out(i, add(static_cast<std::uint32_t>((top << fs) | bits.take(fs))));
            }
        }
    }
    bits.finish();
}

} // namespace

void riceDecode(const std::uint8_t* in, std::size_t size, std::int32_t* out, std::size_t n,
                int blockSize, int bytePix) {
    if (blockSize <= 0) damaged();
    auto store = [out](std::size_t i, std::int32_t v) { out[i] = v; };
    switch (bytePix) {
    case 1: return riceDecodeT<1>(in, size, store, n, blockSize);
    case 2: return riceDecodeT<2>(in, size, store, n, blockSize);
    case 4: return riceDecodeT<4>(in, size, store, n, blockSize);
    default: damaged();
    }
}

void riceDecode16BigEndian(const std::uint8_t* in, std::size_t size, std::uint8_t* out,
                           std::size_t n, int blockSize) {
    if (blockSize <= 0) damaged();
    riceDecodeT<2>(
        in, size,
        [out](std::size_t i, std::int32_t v) {
            const auto u = __builtin_bswap16(static_cast<std::uint16_t>(v));
            std::memcpy(out + 2 * i, &u, 2);
        },
        n, blockSize);
}

namespace {

class BitOut {
public:
    explicit BitOut(std::vector<std::uint8_t>& out) : out_(out) {}
    void put(std::uint32_t v, int bits) {
        acc_ = (acc_ << bits) | (v & ((1ull << bits) - 1));
        n_ += bits;
        while (n_ >= 8) {
            n_ -= 8;
            out_.push_back(static_cast<std::uint8_t>(acc_ >> n_));
        }
        acc_ &= (1ull << n_) - 1;
    }
    void zeros(std::uint32_t count) {
        for (; count >= 32; count -= 32) put(0, 32);
        if (count) put(0, static_cast<int>(count));
    }
    void flush() {
        if (n_ > 0) out_.push_back(static_cast<std::uint8_t>(acc_ << (8 - n_)));
        acc_ = 0, n_ = 0;
    }

private:
    std::vector<std::uint8_t>& out_;
    std::uint64_t acc_ = 0;
    int n_ = 0;
};

} // namespace

void riceEncode16(const std::int16_t* in, std::size_t n, int blockSize,
                  std::vector<std::uint8_t>& out) {
    constexpr int fsBits = 4, fsMax = 14, bBits = 16;
    if (n == 0) return;
    BitOut bits(out);
    bits.put(static_cast<std::uint16_t>(in[0]), bBits);
    std::int16_t last = in[0];
    std::uint32_t diff[256];
    const std::size_t block = std::min<std::size_t>(static_cast<std::size_t>(blockSize), 256);
    for (std::size_t i = 0; i < n; i += block) {
        const std::size_t m = std::min(block, n - i);
        double sum = 0;
        for (std::size_t j = 0; j < m; ++j) {
            // Differences wrap at 16 bits, as the decoder adds them back.
            const auto d = static_cast<std::int16_t>(static_cast<std::uint16_t>(in[i + j] - last));
            const int pd = d;
            diff[j] = static_cast<std::uint32_t>(pd < 0 ? ~(pd * 2) : pd * 2) & 0xFFFF;
            sum += diff[j];
            last = in[i + j];
        }
        double mean = (sum - static_cast<double>(m / 2) - 1) / static_cast<double>(m);
        if (mean < 0) mean = 0;
        auto psum = static_cast<std::uint32_t>(mean) >> 1;
        int fs = 0;
        for (; psum > 0; ++fs) psum >>= 1;
        if (fs >= fsMax) {
            bits.put(fsMax + 1, fsBits);
            for (std::size_t j = 0; j < m; ++j) bits.put(diff[j], bBits);
        } else if (fs == 0 && sum == 0) {
            bits.put(0, fsBits);
        } else {
            bits.put(static_cast<std::uint32_t>(fs + 1), fsBits);
            const std::uint32_t fsMask = (1u << fs) - 1;
            for (std::size_t j = 0; j < m; ++j) {
                bits.zeros(diff[j] >> fs);
                bits.put(1, 1);
                if (fs > 0) bits.put(diff[j] & fsMask, fs);
            }
        }
    }
    bits.flush();
}

// --- PLIO ------------------------------------------------------------------------------------

void plioDecode(const std::uint8_t* in, std::size_t size, std::int32_t* out, std::size_t n) {
    const std::size_t words = size / 2;
    auto word = [&](long long i) -> int { // 1-based, as the line-list layout counts
        if (i < 1 || static_cast<std::size_t>(i) > words) damaged();
        return static_cast<std::int16_t>(be16(in + 2 * (i - 1)));
    };
    std::fill_n(out, n, 0);
    if (n == 0) return;
    long long length, first;
    if (word(3) > 0) {
        length = word(1);
        first = 4;
    } else {
        length = (static_cast<long long>(word(5)) << 15) + word(4);
        first = word(2) + 1;
    }
    if (length > static_cast<long long>(words)) damaged();
    const long long xs = 1, xe = static_cast<long long>(n);
    long long op = 0, x1 = 1, pv = 1;
    for (long long ip = first; ip <= length; ++ip) {
        const int w = word(ip);
        const int opcode = w / 4096, data = w & 4095;
        switch (opcode) {
        case 0:
        case 4:
        case 5: {
            const long long x2 = x1 + data - 1;
            const long long i1 = std::max(x1, xs), i2 = std::min(x2, xe);
            const long long np = i2 - i1 + 1;
            if (np > 0) {
                if (op + np > xe) damaged();
                const auto v = static_cast<std::int32_t>(opcode == 4 ? pv : 0);
                std::fill_n(out + op, np, v);
                if (opcode == 5 && i2 == x2) out[op + np - 1] = static_cast<std::int32_t>(pv);
                op += np;
            }
            x1 = x2 + 1;
            break;
        }
        case 1:
            pv = (static_cast<long long>(word(ip + 1)) << 12) + data;
            ++ip;
            break;
        case 2: pv += data; break;
        case 3: pv -= data; break;
        case 6:
        case 7:
            pv += opcode == 7 ? -data : data;
            if (x1 >= xs && x1 <= xe) {
                if (op >= xe) damaged();
                out[op++] = static_cast<std::int32_t>(pv);
            }
            ++x1;
            break;
        default: damaged();
        }
        if (x1 > xe) break;
    }
}

// --- H-compress ------------------------------------------------------------------------------

namespace {

class HBits {
public:
    HBits(const std::uint8_t* p, const std::uint8_t* end) : in_{p, end} {}
    void restart() { bitsToGo_ = 0; }
    int bit() {
        if (bitsToGo_ == 0) {
            buffer_ = in_.next();
            bitsToGo_ = 8;
        }
        --bitsToGo_;
        return static_cast<int>((buffer_ >> bitsToGo_) & 1);
    }
    int bits(int n) {
        if (bitsToGo_ < n) {
            buffer_ = (buffer_ << 8) | in_.next();
            bitsToGo_ += 8;
        }
        bitsToGo_ -= n;
        return static_cast<int>((buffer_ >> bitsToGo_) & ((1u << n) - 1));
    }
    int nybble() { return bits(4); }
    int huffman() {
        int c = bits(3);
        if (c < 4) return 1 << c;
        c = bit() | (c << 1);
        switch (c) {
        case 8: return 3;
        case 9: return 5;
        case 10: return 10;
        case 11: return 12;
        case 12: return 15;
        default: break;
        }
        c = bit() | (c << 1);
        switch (c) {
        case 26: return 6;
        case 27: return 7;
        case 28: return 9;
        case 29: return 11;
        case 30: return 13;
        default: break;
        }
        c = bit() | (c << 1);
        return c == 62 ? 0 : 14;
    }
    ByteIn& bytes() { return in_; }

private:
    ByteIn in_;
    std::uint32_t buffer_ = 0;
    int bitsToGo_ = 0;
};

int log2Ceil(long long n) {
    int k = 0;
    while ((1LL << k) < n) ++k;
    return k;
}

// Expands the 4-bit codes of a[(nx+1)/2][(ny+1)/2] into bit plane `bit` of b[nx][n-stride].
void bitInsert(const std::vector<std::uint8_t>& a, long long nx, long long ny, std::int64_t* b,
               long long n, int bit) {
    const std::int64_t v = std::int64_t{1} << bit;
    std::size_t k = 0;
    long long i = 0;
    for (; i < nx - 1; i += 2) {
        long long s00 = n * i, s10 = s00 + n, j = 0;
        for (; j < ny - 1; j += 2, s00 += 2, s10 += 2) {
            const int c = a[k++];
            if (c & 1) b[s10 + 1] |= v;
            if (c & 2) b[s10] |= v;
            if (c & 4) b[s00 + 1] |= v;
            if (c & 8) b[s00] |= v;
        }
        if (j < ny) {
            const int c = a[k++];
            if (c & 2) b[s10] |= v;
            if (c & 8) b[s00] |= v;
        }
    }
    if (i < nx) {
        long long s00 = n * i, j = 0;
        for (; j < ny - 1; j += 2, s00 += 2) {
            const int c = a[k++];
            if (c & 4) b[s00 + 1] |= v;
            if (c & 8) b[s00] |= v;
        }
        if (j < ny && (a[k] & 8)) b[s00] |= v;
    }
}

// Expands a[(nx+1)/2][(ny+1)/2] into b[nx][ny] in place (each code to a 2 × 2 block of bits),
// then reads a new code for every set bit.
void expand(HBits& in, std::vector<std::uint8_t>& b, long long nx, long long ny) {
    const long long nx2 = (nx + 1) / 2, ny2 = (ny + 1) / 2;
    long long k = ny2 * (nx2 - 1) + ny2 - 1;
    for (long long i = nx2 - 1; i >= 0; --i) {
        long long s00 = 2 * (ny * i + ny2 - 1);
        for (long long j = ny2 - 1; j >= 0; --j, s00 -= 2) b[s00] = b[k--];
    }
    long long i = 0;
    for (; i < nx - 1; i += 2) {
        long long s00 = ny * i, s10 = s00 + ny, j = 0;
        for (; j < ny - 1; j += 2, s00 += 2, s10 += 2) {
            const int c = b[s00];
            b[s10 + 1] = c & 1;
            b[s10] = (c >> 1) & 1;
            b[s00 + 1] = (c >> 2) & 1;
            b[s00] = (c >> 3) & 1;
        }
        if (j < ny) {
            b[s10] = (b[s00] >> 1) & 1;
            b[s00] = (b[s00] >> 3) & 1;
        }
    }
    if (i < nx) {
        long long s00 = ny * i, j = 0;
        for (; j < ny - 1; j += 2, s00 += 2) {
            b[s00 + 1] = (b[s00] >> 2) & 1;
            b[s00] = (b[s00] >> 3) & 1;
        }
        if (j < ny) b[s00] = (b[s00] >> 3) & 1;
    }
    for (long long m = nx * ny - 1; m >= 0; --m)
        if (b[m]) b[m] = static_cast<std::uint8_t>(in.huffman());
}

void quadtreeDecode(HBits& in, std::int64_t* a, long long n, long long nqx, long long nqy,
                    int planes) {
    const long long nqmax = std::max<long long>({nqx, nqy, 1});
    const int log2n = log2Ceil(nqmax);
    const long long nqx2 = (nqx + 1) / 2, nqy2 = (nqy + 1) / 2;
    std::vector<std::uint8_t> scratch(static_cast<std::size_t>(std::max(nqx * nqy, 1LL)) + 1);
    for (int bit = planes - 1; bit >= 0; --bit) {
        const int b = in.nybble();
        if (b == 0) {
            for (long long i = 0; i < nqx2 * nqy2; ++i)
                scratch[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(in.nybble());
        } else if (b != 0xF) {
            damaged();
        } else {
            scratch[0] = static_cast<std::uint8_t>(in.huffman());
            long long nx = 1, ny = 1, nfx = nqx, nfy = nqy, c = 1LL << log2n;
            for (int k = 1; k < log2n; ++k) {
                c >>= 1;
                nx <<= 1, ny <<= 1;
                if (nfx <= c)
                    --nx;
                else
                    nfx -= c;
                if (nfy <= c)
                    --ny;
                else
                    nfy -= c;
                expand(in, scratch, nx, ny);
            }
        }
        bitInsert(scratch, nqx, nqy, a, n, bit);
    }
}

void unshuffle(std::int64_t* a, long long n, long long stride, std::vector<std::int64_t>& tmp) {
    const long long half = (n + 1) >> 1;
    for (long long i = half; i < n; ++i) tmp[static_cast<std::size_t>(i - half)] = a[stride * i];
    for (long long i = half - 1; i >= 0; --i) a[2 * stride * i] = a[stride * i];
    for (long long i = 1, t = 0; i < n; i += 2, ++t)
        a[stride * i] = tmp[static_cast<std::size_t>(t)];
}

// Sums in wrapping arithmetic: damaged coefficients may overflow, valid ones never do (and
// give the same values either way).
std::int64_t wrap(std::uint64_t v) {
    return static_cast<std::int64_t>(v);
}
std::uint64_t u(std::int64_t v) {
    return static_cast<std::uint64_t>(v);
}

void inverseTransform(std::int64_t* a, long long nx, long long ny) {
    const long long nmax = std::max(nx, ny);
    const int log2n = log2Ceil(nmax);
    std::vector<std::int64_t> tmp(static_cast<std::size_t>((nmax + 1) / 2 + 1));
    int shift = 1;
    std::int64_t bit0 = log2n > 0 ? std::int64_t{1} << (log2n - 1) : 0;
    if (log2n == 0) return; // a single value: nothing to invert
    std::int64_t bit1 = bit0 << 1, bit2 = bit0 << 2;
    std::int64_t mask0 = -bit0, mask1 = mask0 * 2, mask2 = mask0 * 4;
    std::int64_t prnd0 = bit0 >> 1, prnd1 = bit1 >> 1, prnd2 = bit2 >> 1;
    std::int64_t nrnd0 = prnd0 - 1, nrnd1 = prnd1 - 1, nrnd2 = prnd2 - 1;
    a[0] = wrap(u(a[0]) + u(a[0] >= 0 ? prnd2 : nrnd2)) & mask2;
    long long nxtop = 1, nytop = 1, nxf = nx, nyf = ny, c = 1LL << log2n;
    for (int k = log2n - 1; k >= 0; --k) {
        c >>= 1;
        nxtop <<= 1, nytop <<= 1;
        if (nxf <= c)
            --nxtop;
        else
            nxf -= c;
        if (nyf <= c)
            --nytop;
        else
            nyf -= c;
        if (k == 0) nrnd0 = 0, shift = 2;
        for (long long i = 0; i < nxtop; ++i) unshuffle(a + ny * i, nytop, 1, tmp);
        for (long long j = 0; j < nytop; ++j) unshuffle(a + j, nxtop, ny, tmp);
        const long long oddx = nxtop % 2, oddy = nytop % 2;
        long long i = 0;
        for (; i < nxtop - oddx; i += 2) {
            long long s00 = ny * i, s10 = s00 + ny, j = 0;
            for (; j < nytop - oddy; j += 2, s00 += 2, s10 += 2) {
                std::int64_t h0 = a[s00], hx = a[s10], hy = a[s00 + 1], hc = a[s10 + 1];
                hx = wrap(u(hx) + u(hx >= 0 ? prnd1 : nrnd1)) & mask1;
                hy = wrap(u(hy) + u(hy >= 0 ? prnd1 : nrnd1)) & mask1;
                hc = wrap(u(hc) + u(hc >= 0 ? prnd0 : nrnd0)) & mask0;
                const std::int64_t lowbit0 = hc & bit0;
                hx = wrap(hx >= 0 ? u(hx) - u(lowbit0) : u(hx) + u(lowbit0));
                hy = wrap(hy >= 0 ? u(hy) - u(lowbit0) : u(hy) + u(lowbit0));
                const std::int64_t lowbit1 = (hc ^ hx ^ hy) & bit1;
                h0 = wrap(h0 >= 0 ? u(h0) + u(lowbit0) - u(lowbit1)
                                  : u(h0) + (lowbit0 == 0 ? u(lowbit1) : u(lowbit0) - u(lowbit1)));
                a[s10 + 1] = wrap(u(h0) + u(hx) + u(hy) + u(hc)) >> shift;
                a[s10] = wrap(u(h0) + u(hx) - u(hy) - u(hc)) >> shift;
                a[s00 + 1] = wrap(u(h0) - u(hx) + u(hy) - u(hc)) >> shift;
                a[s00] = wrap(u(h0) - u(hx) - u(hy) + u(hc)) >> shift;
            }
            if (oddy) {
                std::int64_t h0 = a[s00], hx = a[s10];
                hx = wrap(u(hx) + u(hx >= 0 ? prnd1 : nrnd1)) & mask1;
                const std::int64_t lowbit1 = hx & bit1;
                h0 = wrap(h0 >= 0 ? u(h0) - u(lowbit1) : u(h0) + u(lowbit1));
                a[s10] = wrap(u(h0) + u(hx)) >> shift;
                a[s00] = wrap(u(h0) - u(hx)) >> shift;
            }
        }
        if (oddx) {
            long long s00 = ny * i, j = 0;
            for (; j < nytop - oddy; j += 2, s00 += 2) {
                std::int64_t h0 = a[s00], hy = a[s00 + 1];
                hy = wrap(u(hy) + u(hy >= 0 ? prnd1 : nrnd1)) & mask1;
                const std::int64_t lowbit1 = hy & bit1;
                h0 = wrap(h0 >= 0 ? u(h0) - u(lowbit1) : u(h0) + u(lowbit1));
                a[s00 + 1] = wrap(u(h0) + u(hy)) >> shift;
                a[s00] = wrap(u(h0) - u(hy)) >> shift;
            }
            if (oddy) a[s00] = a[s00] >> shift;
        }
        bit2 = bit1, bit1 = bit0, bit0 >>= 1;
        mask1 = mask0, mask0 >>= 1;
        prnd1 = prnd0, prnd0 >>= 1;
        nrnd1 = nrnd0, nrnd0 = prnd0 - 1;
    }
}

} // namespace

void hcompressDecode(const std::uint8_t* in, std::size_t size, std::int64_t* out, long long rows,
                     long long columns) {
    if (size < 2 + 12 + 8 + 3 || in[0] != 0xDD || in[1] != 0x99) damaged();
    const auto nx = static_cast<std::int32_t>(be32(in + 2));
    const auto ny = static_cast<std::int32_t>(be32(in + 6));
    const auto scale = static_cast<std::int32_t>(be32(in + 10));
    if (nx != rows || ny != columns || nx <= 0 || ny <= 0) damaged();
    const auto sum = static_cast<std::int64_t>((static_cast<std::uint64_t>(be32(in + 14)) << 32) |
                                               be32(in + 18));
    const int planes[3] = {in[22], in[23], in[24]};
    for (int p : planes)
        if (p > 62) damaged();
    const long long n = static_cast<long long>(nx) * ny;
    std::fill_n(out, n, 0);
    HBits bits(in + 25, in + size);
    const long long nx2 = (nx + 1) / 2, ny2 = (ny + 1) / 2;
    quadtreeDecode(bits, out, ny, nx2, ny2, planes[0]);
    quadtreeDecode(bits, out + ny2, ny, nx2, ny / 2, planes[1]);
    quadtreeDecode(bits, out + ny * nx2, ny, nx / 2, ny2, planes[1]);
    quadtreeDecode(bits, out + ny * nx2 + ny2, ny, nx / 2, ny / 2, planes[2]);
    if (bits.nybble() != 0) damaged();
    bits.restart();
    for (long long i = 0; i < n; ++i)
        if (out[i] != 0 && bits.bit()) out[i] = -out[i];
    out[0] = sum;
    if (scale > 1)
        for (long long i = 0; i < n; ++i)
            out[i] = static_cast<std::int64_t>(static_cast<std::uint64_t>(out[i]) *
                                               static_cast<std::uint64_t>(scale));
    inverseTransform(out, nx, ny);
}

} // namespace quillon::fits

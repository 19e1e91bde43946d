// Convolution kernels: the record and the fixed tables of the high-pass, low-pass, special
// and unsharp-mask filters, with the dialogs' parameter numbering and settings keys.
#pragma once

#include <string>
#include <vector>

namespace quillon {

inline constexpr int kMinKernelSize = 3;
inline constexpr int kMaxKernelSize = 15;

// A kernel of width × height coefficients, row by row (row 0 at the top). Holds any size the
// engine accepts (3 … 15 in each direction).
struct Kernel {
    int width = 0;
    int height = 0;
    std::vector<float> coefficients; // width × height

    Kernel() = default;
    Kernel(int w, int h, std::vector<float> c) : width(w), height(h), coefficients(std::move(c)) {}
    float at(int row, int column) const {
        return coefficients[static_cast<std::size_t>(row * width + column)];
    }
    // Float sum of all coefficients in row-major order.
    float sum() const;
};

// High-pass and low-pass: strength position 0 … 3 (strength 1 … 4), size position 0 … 2
// (3 × 3, 5 × 5, 7 × 7); kernel number = size × 4 + strength. Out-of-range positions are
// pulled into range.
Kernel highpassKernel(int sizePosition, int strengthPosition);
Kernel lowpassKernel(int sizePosition, int strengthPosition);

inline constexpr int kSpecialKernelCount = 7;
// Special kernels 0 … 6 ("Laplace 1" … "Sobel (diagonal)"), all 3 × 3 and zero-sum.
Kernel specialKernel(int option);
const char* specialKernelLabel(int option);

inline constexpr int kUnsharpMaskCount = 7;
// Blur masks of the unsharp mask by slider position 0 … 6 (3 × 3 up to 9 × 9).
Kernel unsharpBlurKernel(int position);

// Settings keys of the convolution dialogs (integer positions, stored 0 = default 0).
namespace settings {
inline constexpr const char* kHighpassStrength = "m_Reg_nHighpass_nStrength";
inline constexpr const char* kHighpassSize = "m_Reg_nHighpass_nSize";
inline constexpr const char* kLowpassStrength = "m_Reg_nLowpass_nStrength";
inline constexpr const char* kLowpassSize = "m_Reg_nLowpass_nSize";
inline constexpr const char* kSpecialType = "m_Reg_nSpecial_nType";
} // namespace settings

} // namespace quillon

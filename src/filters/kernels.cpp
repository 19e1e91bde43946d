// The fixed kernel tables, written as the dialogs list them (rows separated by "/").
#include "filters/kernels.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace quillon {
namespace {

struct KernelText {
    int size;
    const char* rows;
};

const KernelText kHighpass[] = {
    {3, "0 -1 0 / -1 20 -1 / 0 -1 0"},
    {3, "0 -1 0 / -1 10 -1 / 0 -1 0"},
    {3, "-1 -1 -1 / -1 15 -1 / -1 -1 -1"},
    {3, "-1 -1 -1 / -1 10 -1 / -1 -1 -1"},
    {5, "0 0 -1 0 0 / 0 -1 -1 -1 0 / -1 -1 24 -1 -1 / 0 -1 -1 -1 0 / 0 0 -1 0 0"},
    {5, "0 0 -1 0 0 / 0 -1 -2 -1 0 / -1 -2 24 -2 -1 / 0 -1 -2 -1 0 / 0 0 -1 0 0"},
    {5, "0 -1 -1 -1 0 / -1 -2 -4 -2 -1 / -1 -4 46 -4 -1 / -1 -2 -4 -2 -1 / 0 -1 -1 -1 0"},
    {5, "-1 -2 -2 -2 -1 / -2 -3 -4 -3 -2 / -2 -4 63 -4 -2 / -2 -3 -4 -3 -2 / -1 -2 -2 -2 -1"},
    {7, "0 0 0 -1 0 0 0 / 0 0 -1 -1 -1 0 0 / 0 -1 -2 -4 -2 -1 0 / -1 -1 -4 52 -4 -1 -1 / 0 -1 -2 "
        "-4 -2 -1 0 / 0 0 -1 -1 -1 0 0 / 0 0 0 -1 0 0 0"},
    {7, "0 0 -1 -1 -1 0 0 / 0 -1 -1 -2 -1 -1 0 / -1 -1 -4 -4 -4 -1 -1 / -1 -2 -4 76 -4 -2 -1 / -1 "
        "-1 -4 -4 -4 -1 -1 / 0 -1 -1 -2 -1 -1 0 / 0 0 -1 -1 -1 0 0"},
    {7, "0 0 -1 -1 -1 0 0 / 0 -1 -2 -2 -2 -1 0 / -1 -2 -4 -7 -4 -2 -1 / -1 -2 -7 94 -7 -2 -1 / -1 "
        "-2 -4 -7 -4 -2 -1 / 0 -1 -2 -2 -2 -1 0 / 0 0 -1 -1 -1 0 0"},
    {7, "0 -1 -1 -2 -1 -1 0 / -1 -1 -2 -4 -2 -1 -1 / -1 -2 -4 -8 -4 -2 -1 / -2 -4 -8 120 -8 -4 -2 "
        "/ -1 -2 -4 -8 -4 -2 -1 / -1 -1 -2 -4 -2 -1 -1 / 0 -1 -1 -2 -1 -1 0"},
};

const KernelText kLowpass[] = {
    {3, "0 1 0 / 1 16 1 / 0 1 0"},
    {3, "1 1 1 / 1 12 1 / 1 1 1"},
    {3, "1 1 1 / 1 4 1 / 1 1 1"},
    {3, "1 1 1 / 1 1 1 / 1 1 1"},
    {5, "0 0 1 0 0 / 0 1 3 1 0 / 1 3 15 3 1 / 0 1 3 1 0 / 0 0 1 0 0"},
    {5, "0 0 1 0 0 / 0 1 2 1 0 / 1 2 4 2 1 / 0 1 2 1 0 / 0 0 1 0 0"},
    {5, "0 1 1 1 0 / 1 2 4 2 1 / 1 4 4 4 1 / 1 2 4 2 1 / 0 1 1 1 0"},
    {5, "1 2 2 2 1 / 2 2 3 2 2 / 2 3 3 3 2 / 2 2 3 2 2 / 1 2 2 2 1"},
    {7, "0 0 0 1 0 0 0 / 0 0 1 1 1 0 0 / 0 1 2 4 2 1 0 / 1 1 4 12 4 1 1 / 0 1 2 4 2 1 0 / 0 0 1 1 "
        "1 0 0 / 0 0 0 1 0 0 0"},
    {7, "0 0 1 1 1 0 0 / 0 1 1 2 1 1 0 / 1 1 4 4 4 1 1 / 1 2 4 10 4 2 1 / 1 1 4 4 4 1 1 / 0 1 1 2 "
        "1 1 0 / 0 0 1 1 1 0 0"},
    {7, "0 0 1 1 1 0 0 / 0 1 2 2 2 1 0 / 1 2 4 4 4 2 1 / 1 2 4 4 4 2 1 / 1 2 4 4 4 2 1 / 0 1 2 2 2 "
        "1 0 / 0 0 1 1 1 0 0"},
    {7, "0 1 1 2 1 1 0 / 1 1 2 2 2 1 1 / 1 2 2 2 2 2 1 / 2 2 2 2 2 2 2 / 1 2 2 2 2 2 1 / 1 1 2 2 2 "
        "1 1 / 0 1 1 2 1 1 0"},
};

const KernelText kSpecial[] = {
    {3, "0 -1 0 / -1 4 -1 / 0 -1 0"}, {3, "1 -2 1 / -2 4 -2 / 1 -2 1"},
    {3, "1 0 -1 / 1 0 -1 / 1 0 -1"},  {3, "1 1 1 / 0 0 0 / -1 -1 -1"},
    {3, "1 0 -1 / 2 0 -2 / 1 0 -1"},  {3, "1 2 1 / 0 0 0 / -1 -2 -1"},
    {3, "-2 -1 0 / -1 0 1 / 0 1 2"},
};

const KernelText kUnsharp[] = {
    {3, "0 1 0 / 1 1 1 / 0 1 0"},
    {3, "1 2 1 / 2 2 2 / 1 2 1"},
    {5, "0 0 1 0 0 / 0 1 3 1 0 / 1 3 5 3 1 / 0 1 3 1 0 / 0 0 1 0 0"},
    {7, "0 0 0 1 0 0 0 / 0 1 1 2 1 1 0 / 0 1 2 4 2 1 0 / 1 2 4 6 4 2 1 / 0 1 2 4 2 1 0 / 0 1 1 2 1 "
        "1 0 / 0 0 0 1 0 0 0"},
    {7, "0 0 2 2 2 0 0 / 0 2 2 3 2 2 0 / 2 2 3 4 3 2 2 / 2 3 4 6 4 3 2 / 2 2 3 4 3 2 2 / 0 2 2 3 2 "
        "2 0 / 0 0 2 2 2 0 0"},
    {9, "0 0 0 1 2 1 0 0 0 / 0 1 2 3 3 3 2 1 0 / 0 2 3 3 4 3 3 2 0 / 1 3 3 5 6 5 3 3 1 / 2 3 4 6 8 "
        "6 4 3 2 / 1 3 3 5 6 5 3 3 1 / 0 2 3 3 4 3 3 2 0 / 0 1 2 3 3 3 2 1 0 / 0 0 0 1 2 1 0 0 0"},
    {9, "0 0 0 2 2 2 0 0 0 / 0 1 2 2 2 2 2 1 0 / 0 2 2 3 3 3 2 2 0 / 2 2 3 3 4 3 3 2 2 / 2 2 3 4 4 "
        "4 3 2 2 / 2 2 3 3 4 3 3 2 2 / 0 2 2 3 3 3 2 2 0 / 0 1 2 2 2 2 2 1 0 / 0 0 0 2 2 2 0 0 0"},
};

Kernel parse(const KernelText& t) {
    std::vector<float> c;
    c.reserve(static_cast<std::size_t>(t.size * t.size));
    std::istringstream in(t.rows);
    std::string word;
    while (in >> word)
        if (word != "/") c.push_back(std::strtof(word.c_str(), nullptr));
    return Kernel(t.size, t.size, std::move(c));
}

template <std::size_t N>
Kernel pick(const KernelText (&table)[N], int index) {
    return parse(table[std::clamp(index, 0, static_cast<int>(N) - 1)]);
}

int tableIndex(int sizePosition, int strengthPosition) {
    return std::clamp(sizePosition, 0, 2) * 4 + std::clamp(strengthPosition, 0, 3);
}

} // namespace

float Kernel::sum() const {
    float s = 0.0f;
    for (float c : coefficients) s += c;
    return s;
}

Kernel highpassKernel(int sizePosition, int strengthPosition) {
    return pick(kHighpass, tableIndex(sizePosition, strengthPosition));
}

Kernel lowpassKernel(int sizePosition, int strengthPosition) {
    return pick(kLowpass, tableIndex(sizePosition, strengthPosition));
}

Kernel specialKernel(int option) {
    return pick(kSpecial, option);
}

const char* specialKernelLabel(int option) {
    static const char* const labels[kSpecialKernelCount] = {
        "Laplace 1",          "Laplace 2",        "Prewitt (horizontal)", "Prewitt (vertikal)",
        "Sobel (horizontal)", "Sobel (vertikal)", "Sobel (diagonal)"};
    return labels[std::clamp(option, 0, kSpecialKernelCount - 1)];
}

Kernel unsharpBlurKernel(int position) {
    return pick(kUnsharp, position);
}

} // namespace quillon

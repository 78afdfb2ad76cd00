#include "nn/Kernels.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace nn::kernels {

#if defined(__SSE__)
FlushSubnormals::FlushSubnormals() : saved_(_mm_getcsr())
{
    _mm_setcsr(saved_ | 0x8040);  // flush-to-zero and denormals-are-zero
}
FlushSubnormals::~FlushSubnormals()
{
    _mm_setcsr(saved_);
}
#else
FlushSubnormals::FlushSubnormals() : saved_(0) {}
FlushSubnormals::~FlushSubnormals() = default;
#endif

namespace {

using Dims = std::array<int, 4>;

// Shapes of lower rank are aligned from the right, as broadcasting does.
Dims dims4(const std::vector<int>& shape)
{
    Dims d{1, 1, 1, 1};
    const size_t n = std::min<size_t>(shape.size(), 4);
    for (size_t i = 0; i < n; ++i)
        d[4 - n + i] = shape[shape.size() - n + i];
    return d;
}

// Runs of floats as single values, so the compiler keeps each one in a register; an
// accumulator array of floats would live on the stack and cost a load and a store per
// multiply-add. The widest run is the machine's register: GCC splits a wider one into spills.
// Aligned to a float only, as tensors are not aligned to the vector size; passed by reference,
// as by value their calling convention depends on the instruction set.
using Vector8 = float __attribute__((vector_size(8 * sizeof(float)), aligned(sizeof(float))));
#if defined(__AVX512F__)
using Vector16 = float __attribute__((vector_size(16 * sizeof(float)), aligned(sizeof(float))));
using WideVector = Vector16;
#else
using WideVector = Vector8;
#endif
using WideInts = int32_t __attribute__((vector_size(sizeof(WideVector))));
constexpr int kLanes = sizeof(WideVector) / sizeof(float);

template <typename Vector> const Vector& vectorAt(const float* p)
{
    return *reinterpret_cast<const Vector*>(p);
}

template <typename Vector> Vector& vectorAt(float* p)
{
    return *reinterpret_cast<Vector*>(p);
}

// 1 / (1 + e^-x) in every lane, in place. e^-x is 2^n * e^r with a polynomial for e^r (the
// classic single-precision scheme, relative error about 2e-7). Written on vectors: as a scalar
// loop GCC turns the clamp into branches (each clamped end folds to a constant) and vectorises
// nothing.
void logistic(WideVector& v)
{
    const WideVector low = WideVector{} - 87.f, high = WideVector{} + 88.f;
    WideVector x = -v;
    x = x < low ? low : x;
    x = x > high ? high : x;
    // floor() by hand, y being far inside the int range.
    const WideVector y = x * 1.44269504f + 0.5f;
    WideInts k = __builtin_convertvector(y, WideInts);
    k += __builtin_convertvector(k, WideVector) > y;  // true is -1
    const WideVector n = __builtin_convertvector(k, WideVector);
    const WideVector r = x - n * 0.693359375f + n * 2.12194440e-4f;
    WideVector p = WideVector{} + 1.9875691500e-4f;
    p = p * r + 1.3981999507e-3f;
    p = p * r + 8.3334519073e-3f;
    p = p * r + 4.1665795894e-2f;
    p = p * r + 1.6666665459e-1f;
    p = p * r + 5.0000001201e-1f;
    p = p * r * r + r + 1.f;
    const WideInts bits = (k + 127) << 23;
    WideVector scale;
    std::memcpy(&scale, &bits, sizeof scale);
    v = 1.f / (1.f + p * scale);
}

// Logistic over v[0, n): whole vectors, then the rest through a padded one.
void logisticAll(float* v, size_t n)
{
    size_t i = 0;
    for (; i + kLanes <= n; i += kLanes)
        logistic(vectorAt<WideVector>(v + i));
    if (i < n) {
        WideVector rest{};
        std::memcpy(&rest, v + i, (n - i) * sizeof(float));
        logistic(rest);
        std::memcpy(v + i, &rest, (n - i) * sizeof(float));
    }
}

// One switch per call and a plain loop per case, so every case vectorises.
void activateAll(float* v, size_t n, Activation a)
{
    switch (a) {
    case Activation::None:
        return;
    case Activation::Relu:
        for (size_t i = 0; i < n; ++i)
            v[i] = std::max(v[i], 0.f);
        return;
    case Activation::Relu6:
        for (size_t i = 0; i < n; ++i)
            v[i] = std::min(std::max(v[i], 0.f), 6.f);
        return;
    case Activation::HardSwish:
        for (size_t i = 0; i < n; ++i)
            v[i] = v[i] * std::min(std::max(v[i] + 3.f, 0.f), 6.f) * (1.f / 6.f);
        return;
    case Activation::Logistic:
        logisticAll(v, n);
        return;
    case Activation::Tanh:
        for (size_t i = 0; i < n; ++i)
            v[i] = std::tanh(v[i]);
        return;
    case Activation::ReluN1To1:
        for (size_t i = 0; i < n; ++i)
            v[i] = std::min(std::max(v[i], -1.f), 1.f);
        return;
    }
}

void addInto(float* __restrict v, const float* __restrict other, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        v[i] += other[i];
}

inline float prelu(float u, float slope)
{
    // Without a branch: signs are random, and without AVX-512's masks GCC compiles the choice
    // to one.
    return std::max(u, 0.f) + slope * std::min(u, 0.f);
}

inline WideVector prelu(const WideVector& u, const WideVector& slope)
{
    const WideVector zero{};
    return (u > zero ? u : zero) + slope * (u < zero ? u : zero);
}

void maxInto(float* __restrict v, const float* __restrict other, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        v[i] = std::max(v[i], other[i]);
}

// What a convolution does to its sums as it stores them: add the residual, then activate.
struct Epilogue {
    const float* residual = nullptr;
    Activation activation = Activation::None;
    const float* slopes = nullptr;  // a folded PReLU, one slope per channel

    // Pixels [0, n) of `channels` channels, after the residual.
    void activate(float* v, size_t n, int channels) const
    {
        activateAll(v, n, activation);
        if (slopes)
            for (size_t p = 0; p < n; p += channels)
                for (int c = 0; c < channels; ++c)
                    v[p + c] = prelu(v[p + c], slopes[c]);
    }
};

Epilogue epilogueOf(const std::vector<Tensor>& t, const Op& op)
{
    Epilogue e;
    e.residual = op.residual >= 0 ? t[op.residual].data.data() : nullptr;
    e.activation = op.activation;
    e.slopes = op.slopes >= 0 ? t[op.slopes].data.data() : nullptr;
    return e;
}

// Splits rows over OpenCV's pool; small layers stay on the calling thread.
template <typename F> void forRows(int rows, size_t workPerRow, F&& body)
{
    if (rows < 2 || workPerRow * rows < (size_t(1) << 18)) {
        body(0, rows);
        return;
    }
    // A few large stripes: OpenCV would otherwise hand out every row as a task of its own.
    const double stripes = std::min(rows, 2 * std::max(1, cv::getNumThreads()));
    cv::parallel_for_(cv::Range(0, rows), [&](const cv::Range& r) {
        const FlushSubnormals flush;
        body(r.start, r.end);
    }, stripes);
}

constexpr int kPixels = 6;  // 6 pixels x 16 channels: 6 of the 32 zmm, or 12 of the 16 ymm registers
constexpr int kBlock = Graph::kBlock;

constexpr int kParts = kBlock / kLanes;  // vectors per block of output channels
static_assert(kParts * kLanes == kBlock, "whole vectors per block of output channels");

// kPixels rows of a [pixel][depth] matrix times one block of packed weights: the accumulators
// stay in registers while each weight row is loaded once for all the pixels.
void multiplyBlock(const float* const rows[kPixels], int depth, const float* w, const float* bias,
                   float acc[kPixels][kBlock])
{
    WideVector sum[kPixels][kParts];
#pragma GCC unroll 8
    for (int q = 0; q < kPixels; ++q)
#pragma GCC unroll 4
        for (int part = 0; part < kParts; ++part)
            sum[q][part] = vectorAt<WideVector>(bias + part * kLanes);
    for (int c = 0; c < depth; ++c, w += kBlock)
#pragma GCC unroll 4
        for (int part = 0; part < kParts; ++part) {
            const WideVector wc = vectorAt<WideVector>(w + part * kLanes);
#pragma GCC unroll 8
            for (int q = 0; q < kPixels; ++q)
                sum[q][part] += rows[q][c] * wc;
        }
#pragma GCC unroll 8
    for (int q = 0; q < kPixels; ++q)
#pragma GCC unroll 4
        for (int part = 0; part < kParts; ++part)
            vectorAt<WideVector>(acc[q] + part * kLanes) = sum[q][part];
}

// Copies the receptive field of every output pixel of row oy into one matrix row (taps
// outside the image are zero), which turns any convolution into a 1x1 one.
void gatherPatches(const float* in, const Dims& id, const Op& op, int oy, int outWidth, float* patches)
{
    const int C = id[3], span = op.kernelW * C;
    for (int ox = 0; ox < outWidth; ++ox)
        for (int ky = 0; ky < op.kernelH; ++ky, patches += span) {
            const int iy = oy * op.strideH - op.padTop + ky * op.dilationH;
            const int ix0 = ox * op.strideW - op.padLeft;
            const bool rowInside = iy >= 0 && iy < id[1];
            if (rowInside && op.dilationW == 1 && ix0 >= 0 && ix0 + op.kernelW <= id[2]) {
                // The taps of one kernel row are adjacent in the input: one copy. A plain loop, as
                // the first layers' spans (3 channels x 3 or 5 taps) are too short for a memmove.
                const float* src = in + (static_cast<size_t>(iy) * id[2] + ix0) * C;
                int k = 0;
                for (; k + 8 <= span; k += 8)
                    vectorAt<Vector8>(patches + k) = vectorAt<Vector8>(src + k);
                for (; k < span; ++k)
                    patches[k] = src[k];
                continue;
            }
            for (int kx = 0; kx < op.kernelW; ++kx) {
                const int ix = ix0 + kx * op.dilationW;
                const bool inside = rowInside && ix >= 0 && ix < id[2];
                const float* src = inside ? in + (static_cast<size_t>(iy) * id[2] + ix) * C : nullptr;
                for (int c = 0; c < C; ++c)
                    patches[kx * C + c] = inside ? src[c] : 0.f;
            }
        }
}

// out[pixel][o] = bias[o] + matrix[pixel][:] . weights[o][:] (+ residual[pixel][o]), for the
// packed weights of op: the groups [begin, end) of kPixels pixels, on the calling thread.
void multiplyGroups(const float* matrix, int pixels, int depth, int outChannels, const Op& op,
                    const Epilogue& epilogue, float* out, int begin, int end)
{
    const int blocks = (outChannels + kBlock - 1) / kBlock;
    alignas(32) float acc[kPixels][kBlock];
    const float* rows[kPixels];
    for (int g = begin; g < end; ++g) {
        const int first = g * kPixels, count = std::min(kPixels, pixels - first);
        // A short last group repeats its last pixel; those results are not stored.
        for (int q = 0; q < kPixels; ++q)
            rows[q] = matrix + static_cast<size_t>(first + std::min(q, count - 1)) * depth;
        for (int b = 0; b < blocks; ++b) {
            multiplyBlock(rows, depth, op.packedWeights.data() + static_cast<size_t>(b) * depth * kBlock,
                          op.packedBias.data() + b * kBlock, acc);
            const int channels = std::min(kBlock, outChannels - b * kBlock);
            for (int q = 0; q < count; ++q) {
                const size_t at = static_cast<size_t>(first + q) * outChannels + b * kBlock;
                if (epilogue.residual)
                    for (int k = 0; k < channels; ++k)
                        acc[q][k] += epilogue.residual[at + k];
                float* dst = out + at;
                // Whole blocks by a fixed-length loop the compiler unrolls, not a memmove call.
                if (channels == kBlock)
                    for (int k = 0; k < kBlock; ++k)
                        dst[k] = acc[q][k];
                else
                    for (int k = 0; k < channels; ++k)
                        dst[k] = acc[q][k];
            }
        }
    }
    const size_t from = static_cast<size_t>(begin) * kPixels * outChannels;
    const size_t to = static_cast<size_t>(std::min(end * kPixels, pixels)) * outChannels;
    epilogue.activate(out + from, to - from, outChannels);
}

int groupsOf(int pixels)
{
    return (pixels + kPixels - 1) / kPixels;
}

// multiplyGroups over all of the matrix, split over the pool.
void multiplyMatrix(const float* matrix, int pixels, int depth, int outChannels, const Op& op,
                    const Epilogue& epilogue, float* out)
{
    forRows(groupsOf(pixels), static_cast<size_t>(kPixels) * outChannels * depth, [&](int begin, int end) {
        multiplyGroups(matrix, pixels, depth, outChannels, op, epilogue, out, begin, end);
    });
}

} // namespace

void conv(std::vector<Tensor>& t, const Op& op, float* scratch)
{
    const Tensor& x = t[op.inputs[0]];
    Tensor& y = t[op.outputs[0]];
    const Dims id = dims4(x.shape), od = dims4(y.shape);
    const int depth = op.kernelH * op.kernelW * id[3];
    if (op.patchElements) {
        // Each output row's patches are multiplied right after they are gathered, while they
        // are still in the cache: the whole patch matrix of a first layer is larger than it.
        const size_t rowSize = static_cast<size_t>(od[2]) * depth;
        const size_t rowOut = static_cast<size_t>(od[2]) * od[3];
        const Epilogue whole = epilogueOf(t, op);
        forRows(od[1], rowSize * od[3], [&](int begin, int end) {
            for (int oy = begin; oy < end; ++oy) {
                float* patches = scratch + oy * rowSize;
                gatherPatches(x.data.data(), id, op, oy, od[2], patches);
                Epilogue row = whole;
                if (row.residual)
                    row.residual += oy * rowOut;
                multiplyGroups(patches, od[2], depth, od[3], op, row, y.data.data() + oy * rowOut, 0, groupsOf(od[2]));
            }
        });
        return;
    }
    multiplyMatrix(x.data.data(), od[1] * od[2], depth, od[3], op, epilogueOf(t, op), y.data.data());
}

namespace {

// The taps of one output pixel that fall inside the image: where each reads, in floats from
// the first input column of the pixel's stride (so one list serves a whole row's interior),
// and its weights.
struct PixelTaps {
    int count = 0;
    size_t input[Graph::kMaxDepthwiseTaps];
    const float* weight[Graph::kMaxDepthwiseTaps];
};

// Channels [c, C) of one output pixel in steps of one Vector: the sum over all taps stays in a
// register and is stored once. Returns where it stopped.
template <typename Vector>
int depthwiseChannels(const float* in, const PixelTaps& taps, const float* bias, int C, int c, float* out)
{
    constexpr int width = sizeof(Vector) / sizeof(float);
    for (; c + width <= C; c += width) {
        Vector acc = bias ? vectorAt<Vector>(bias + c) : Vector{};
        for (int t = 0; t < taps.count; ++t)
            acc += vectorAt<Vector>(in + taps.input[t] + c) * vectorAt<Vector>(taps.weight[t] + c);
        vectorAt<Vector>(out + c) = acc;
    }
    return c;
}

void depthwisePixel(const float* in, const PixelTaps& taps, const float* bias, int C, int c, float* out)
{
    c = depthwiseChannels<WideVector>(in, taps, bias, C, c, out);
    c = depthwiseChannels<Vector8>(in, taps, bias, C, c, out);
    for (; c < C; ++c) {
        float acc = bias ? bias[c] : 0.f;
        for (int t = 0; t < taps.count; ++t)
            acc += in[taps.input[t] + c] * taps.weight[t][c];
        out[c] = acc;
    }
}

// The pixels [from, to) of one output row that share one list of Taps taps, for the channels
// of whole WideVectors: a vector of channels at a time over the whole stretch, so its weights
// stay in registers instead of being loaded again for every pixel. Returns the channels done.
template <int Taps>
int depthwiseStretch(const float* in, size_t pixelStep, const PixelTaps& taps, const float* bias, int C, int from,
                     int to, float* out)
{
    int c = 0;
    for (; c + kLanes <= C; c += kLanes) {
        WideVector weight[Taps];
        size_t at[Taps];
#pragma GCC unroll 25
        for (int t = 0; t < Taps; ++t) {
            weight[t] = vectorAt<WideVector>(taps.weight[t] + c);
            at[t] = taps.input[t] + c;
        }
        const WideVector start = bias ? vectorAt<WideVector>(bias + c) : WideVector{};
        for (int ox = from; ox < to; ++ox) {
            const float* column = in + ox * pixelStep;
            WideVector acc = start;
#pragma GCC unroll 25
            for (int t = 0; t < Taps; ++t)
                acc += vectorAt<WideVector>(column + at[t]) * weight[t];
            vectorAt<WideVector>(out + static_cast<size_t>(ox) * C + c) = acc;
        }
    }
    return c;
}

// depthwiseStretch for the common kernels (3x3, 5x5); 0 channels done for the others.
int depthwiseStretchOf(const float* in, size_t pixelStep, const PixelTaps& taps, const float* bias, int C, int from,
                       int to, float* out)
{
    switch (taps.count) {
    case 9: return depthwiseStretch<9>(in, pixelStep, taps, bias, C, from, to, out);
    case 25: return depthwiseStretch<25>(in, pixelStep, taps, bias, C, from, to, out);
    default: return 0;
    }
}

// The output columns [first, last) whose input column for tap offset `shift` is inside the
// image.
void insideColumns(int shift, int stride, int inWidth, int outWidth, int& first, int& last)
{
    first = shift >= 0 ? 0 : (-shift + stride - 1) / stride;
    last = inWidth - 1 - shift >= 0 ? std::min(outWidth, (inWidth - 1 - shift) / stride + 1) : 0;
}

// The taps of output pixel (oy, ox) inside the image, relative to input column ox * strideW.
void tapsOf(const Op& op, const Dims& id, const float* weights, int oy, int ox, PixelTaps& taps)
{
    const int C = id[3];
    taps.count = 0;
    for (int ky = 0; ky < op.kernelH; ++ky) {
        const int iy = oy * op.strideH - op.padTop + ky * op.dilationH;
        if (iy < 0 || iy >= id[1])
            continue;
        for (int kx = 0; kx < op.kernelW; ++kx) {
            const int shift = kx * op.dilationW - op.padLeft, ix = ox * op.strideW + shift;
            if (ix < 0 || ix >= id[2])
                continue;
            taps.input[taps.count] = (static_cast<size_t>(iy) * id[2] + shift) * C;
            taps.weight[taps.count++] = weights + (static_cast<size_t>(ky) * op.kernelW + kx) * C;
        }
    }
}

} // namespace

// Pixel by pixel: each output channel starts as its bias and adds its taps in a register. The
// pixels whose taps all lie inside the row share one list of taps.
void depthwise(std::vector<Tensor>& t, const Op& op)
{
    const Tensor& x = t[op.inputs[0]];
    const float* weights = t[op.inputs[1]].data.data();
    const float* bias = op.inputs.size() > 2 && op.inputs[2] >= 0 ? t[op.inputs[2]].data.data() : nullptr;
    Tensor& y = t[op.outputs[0]];
    const Dims id = dims4(x.shape), od = dims4(y.shape);
    const int C = od[3];
    const float* in = x.data.data();
    const Epilogue epilogue = epilogueOf(t, op);
    // Output columns whose first and last taps are both inside the image.
    int first, last, unused;
    insideColumns(-op.padLeft, op.strideW, id[2], od[2], first, unused);
    insideColumns((op.kernelW - 1) * op.dilationW - op.padLeft, op.strideW, id[2], od[2], unused, last);
    last = std::max(first, last);
    forRows(od[1], static_cast<size_t>(od[2]) * C * op.kernelH * op.kernelW, [&](int begin, int end) {
        PixelTaps taps;
        for (int oy = begin; oy < end; ++oy) {
            float* row = y.data.data() + static_cast<size_t>(oy) * od[2] * C;
            const size_t pixelStep = static_cast<size_t>(op.strideW) * C;
            const auto pixel = [&](int ox, int c) {
                depthwisePixel(in + ox * pixelStep, taps, bias, C, c, row + static_cast<size_t>(ox) * C);
            };
            const auto withOwnTaps = [&](int from, int to) {
                for (int ox = from; ox < to; ++ox) {
                    tapsOf(op, id, weights, oy, ox, taps);
                    pixel(ox, 0);
                }
            };
            withOwnTaps(0, std::min(first + 1, od[2]));
            // The pixels between share the list of the first; their channels beyond whole vectors
            // go pixel by pixel.
            if (first + 1 < last) {
                const int done = depthwiseStretchOf(in, pixelStep, taps, bias, C, first + 1, last, row);
                for (int ox = first + 1; ox < last; ++ox)
                    pixel(ox, done);
            }
            withOwnTaps(std::max(last, first + 1), od[2]);
            const size_t count = static_cast<size_t>(od[2]) * C;
            const float* residual = epilogue.residual ? epilogue.residual + static_cast<size_t>(oy) * count : nullptr;
            if (residual && !op.residualAfterActivation)
                addInto(row, residual, count);
            epilogue.activate(row, count, C);
            if (residual && op.residualAfterActivation)
                addInto(row, residual, count);
        }
    });
}

// Every input pixel's contribution to each tap is one 1x1 convolution to kh * kw * out
// channels (into the scratch); each output row then starts as the bias and gathers the
// contributions that land on it, in input order as a scatter would add them, while it is in
// cache, and is activated there.
void transposeConv(std::vector<Tensor>& t, const Op& op, float* scratch)
{
    const Tensor& x = t[op.inputs[0]];
    const float* bias = t[op.inputs[2]].data.data();
    Tensor& y = t[op.outputs[0]];
    const Dims id = dims4(x.shape), od = dims4(y.shape);
    const int O = od[3], taps = op.kernelH * op.kernelW;
    const float* contributions = scratch;
    multiplyMatrix(x.data.data(), id[1] * id[2], id[3], taps * O, op, Epilogue(), scratch);
    const size_t rowSize = static_cast<size_t>(od[2]) * O;
    if (op.strideH == op.kernelH && op.strideW == op.kernelW && op.padTop == 0 && op.padLeft == 0
        && od[1] == id[1] * op.strideH && od[2] == id[2] * op.strideW) {
        // The taps do not overlap: every output pixel takes exactly one contribution, so each
        // row is copied together from its input row's, without the scatter's bounds. A row
        // reads the same taps of every pixel of its input row: channel by channel, a strided
        // loop the compiler vectorises (a model's last layer has a single channel). The rows
        // go over the pool as the overlapping case's do: with the activation (a logistic, as a
        // rule) they are more work than their size says.
        const int span = op.kernelW * O;
        const size_t pixelStep = static_cast<size_t>(taps) * O;
        forRows(od[1], rowSize * taps, [&](int begin, int end) {
            for (int oy = begin; oy < end; ++oy) {
                float* row = y.data.data() + static_cast<size_t>(oy) * rowSize;
                const float* from = contributions + static_cast<size_t>(oy / op.strideH) * id[2] * pixelStep
                                    + (oy % op.strideH) * span;
                for (int k = 0; k < span; ++k) {
                    const float b = bias[k % O];
                    for (int ix = 0; ix < id[2]; ++ix)
                        row[static_cast<size_t>(ix) * span + k] = from[ix * pixelStep + k] + b;
                }
                activateAll(row, rowSize, op.activation);
            }
        });
        return;
    }
    forRows(od[1], rowSize * taps, [&](int begin, int end) {
        for (int oy = begin; oy < end; ++oy) {
            float* row = y.data.data() + static_cast<size_t>(oy) * rowSize;
            for (size_t p = 0; p < rowSize; p += O)
                for (int o = 0; o < O; ++o)
                    row[p + o] = bias[o];
            // Descending taps are ascending input rows.
            for (int ky = op.kernelH - 1; ky >= 0; --ky) {
                const int shifted = oy + op.padTop - ky;
                if (shifted < 0 || shifted % op.strideH != 0 || shifted / op.strideH >= id[1])
                    continue;
                const float* from = contributions + static_cast<size_t>(shifted / op.strideH) * id[2] * taps * O;
                for (int ix = 0; ix < id[2]; ++ix, from += static_cast<size_t>(taps) * O)
                    for (int kx = 0; kx < op.kernelW; ++kx) {
                        const int ox = ix * op.strideW - op.padLeft + kx;
                        if (ox < 0 || ox >= od[2])
                            continue;
                        float* dst = row + static_cast<size_t>(ox) * O;
                        const float* src = from + (ky * op.kernelW + kx) * O;
                        for (int o = 0; o < O; ++o)
                            dst[o] += src[o];
                    }
            }
            activateAll(row, rowSize, op.activation);
        }
    });
}

namespace {

// The binary operations, on single floats and on whole vectors alike.
struct Sum {
    template <typename T> T operator()(const T& u, const T& v) const { return u + v; }
};
struct Product {
    template <typename T> T operator()(const T& u, const T& v) const { return u * v; }
};
struct Prelu {
    template <typename T> T operator()(const T& u, const T& slope) const { return prelu(u, slope); }
};

// out[i] = f(a[i], b[i]) for i in [0, n): whole vectors, then single floats. A plain loop
// over a channel count known only at run time leaves most of a 16-channel pixel to the
// scalar remainder.
template <typename F>
void combine(float* __restrict out, const float* __restrict a, const float* __restrict b, size_t n, F f)
{
    size_t i = 0;
    for (; i + kLanes <= n; i += kLanes)
        vectorAt<WideVector>(out + i) = f(vectorAt<WideVector>(a + i), vectorAt<WideVector>(b + i));
    for (; i < n; ++i)
        out[i] = f(a[i], b[i]);
}

// NumPy-style broadcasting of a binary operation over rank-4 operands, plus a residual of the
// output's shape when there is one (added while each stretch is still in cache).
template <typename F> void broadcast(const Tensor& a, const Tensor& b, const float* residual, Tensor& y, F f)
{
    float* const start = y.data.data();
    const float* pa = a.data.data();
    const float* pb = b.data.data();
    const size_t total = y.count();
    const Dims ad = dims4(a.shape), bd = dims4(b.shape), od = dims4(y.shape);
    const int rows = od[0] * od[1];
    const size_t rowSize = total / std::max(rows, 1);
    // Both of the output's shape, or the second one value per channel (a squeeze-and-excite
    // scale, a PReLU's slopes): row by row, over the pool.
    const bool same = a.count() == total && b.count() == total;
    if (same || (a.count() == total && b.count() == size_t(od[3]) && bd[3] == od[3])) {
        forRows(rows, rowSize, [&](int begin, int end) {
            for (int r = begin; r < end; ++r) {
                float* out = start + r * rowSize;
                const float* ra = pa + r * rowSize;
                if (same)
                    combine(out, ra, pb + r * rowSize, rowSize, f);
                else
                    for (size_t p = 0; p < rowSize; p += od[3])
                        combine(out + p, ra + p, pb, od[3], f);
                if (residual)
                    addInto(out, residual + r * rowSize, rowSize);
            }
        });
        return;
    }
    // Element strides per dimension, 0 where an operand is broadcast.
    Dims as{}, bs{};
    for (int i = 3, sa = 1, sb = 1; i >= 0; --i) {
        as[i] = ad[i] == 1 ? 0 : sa;
        bs[i] = bd[i] == 1 ? 0 : sb;
        sa *= ad[i];
        sb *= bd[i];
    }
    float* out = start;
    for (int n = 0; n < od[0]; ++n)
        for (int h = 0; h < od[1]; ++h)
            for (int x = 0; x < od[2]; ++x, out += od[3]) {
                const float* ra = pa + n * as[0] + h * as[1] + x * as[2];
                const float* rb = pb + n * bs[0] + h * bs[1] + x * bs[2];
                for (int c = 0; c < od[3]; ++c)
                    out[c] = f(ra[c * as[3]], rb[c * bs[3]]);
                if (residual)
                    addInto(out, residual + (out - start), od[3]);
            }
}

} // namespace

void elementwise(std::vector<Tensor>& t, const Op& op)
{
    const Tensor& a = t[op.inputs[0]];
    const Tensor& b = t[op.inputs[1]];
    const float* residual = epilogueOf(t, op).residual;
    Tensor& y = t[op.outputs[0]];
    switch (op.kind) {
    case OpKind::Add:
        broadcast(a, b, residual, y, Sum());
        break;
    case OpKind::Mul:
        broadcast(a, b, residual, y, Product());
        break;
    default:  // Prelu: b holds the slopes
        broadcast(a, b, residual, y, Prelu());
    }
    activateAll(y.data.data(), y.count(), op.activation);
}

void activation(std::vector<Tensor>& t, const Op& op)
{
    const Tensor& x = t[op.inputs[0]];
    Tensor& y = t[op.outputs[0]];
    std::copy(x.data.begin(), x.data.end(), y.data.begin());
    activateAll(y.data.data(), y.count(), activationOf(op.kind));
}

void pad(std::vector<Tensor>& t, const Op& op)
{
    const Tensor& x = t[op.inputs[0]];
    Tensor& y = t[op.outputs[0]];
    const Dims id = dims4(x.shape), od = dims4(y.shape);
    std::fill(y.data.begin(), y.data.end(), 0.f);
    const float* src = x.data.data();
    for (int n = 0; n < id[0]; ++n)
        for (int h = 0; h < id[1]; ++h)
            for (int w = 0; w < id[2]; ++w, src += id[3]) {
                const size_t at = ((static_cast<size_t>(n + op.padBefore[0]) * od[1] + h + op.padBefore[1]) * od[2]
                                   + w + op.padBefore[2]) * od[3] + op.padBefore[3];
                std::memcpy(y.data.data() + at, src, sizeof(float) * id[3]);
            }
}

namespace {

// sum[c] = the sum of channel c over `pixels` pixels of C channels. One vector of channels is
// summed in four registers, so the additions do not wait on each other.
void sumOfPixels(const float* src, size_t pixels, int C, float* __restrict sum)
{
    std::fill(sum, sum + C, 0.f);
    if (C != kLanes) {
        for (size_t p = 0; p < pixels; ++p, src += C)
            addInto(sum, src, C);
        return;
    }
    WideVector part[4] = {};
    size_t p = 0;
    for (; p + 4 <= pixels; p += 4)
        for (int k = 0; k < 4; ++k)
            part[k] += vectorAt<WideVector>(src + (p + k) * kLanes);
    for (; p < pixels; ++p)
        part[0] += vectorAt<WideVector>(src + p * kLanes);
    vectorAt<WideVector>(sum) = (part[0] + part[1]) + (part[2] + part[3]);
}

// Over height and width at once: the pool of a window as large as its input, and the mean.
void averageOfAll(const Tensor& x, Tensor& y, Activation activation)
{
    const Dims id = dims4(x.shape);
    const size_t pixels = static_cast<size_t>(id[1]) * id[2];
    sumOfPixels(x.data.data(), pixels, id[3], y.data.data());
    for (int c = 0; c < id[3]; ++c)
        y.data[c] /= static_cast<float>(pixels);
    activateAll(y.data.data(), id[3], activation);
}

} // namespace

void pool(std::vector<Tensor>& t, const Op& op)
{
    const Tensor& x = t[op.inputs[0]];
    Tensor& y = t[op.outputs[0]];
    const Dims id = dims4(x.shape), od = dims4(y.shape);
    const int C = od[3];
    const bool isMax = op.kind == OpKind::MaxPool;
    if (!isMax && od[0] == 1 && od[1] == 1 && od[2] == 1 && op.kernelH == id[1] && op.kernelW == id[2]
        && op.padTop == 0 && op.padLeft == 0) {
        averageOfAll(x, y, op.activation);
        return;
    }
    float* out = y.data.data();
    for (int oy = 0; oy < od[1]; ++oy)
        for (int ox = 0; ox < od[2]; ++ox, out += C) {
            std::fill(out, out + C, isMax ? -std::numeric_limits<float>::infinity() : 0.f);
            int taps = 0;
            for (int ky = 0; ky < op.kernelH; ++ky) {
                const int iy = oy * op.strideH - op.padTop + ky;
                if (iy < 0 || iy >= id[1])
                    continue;
                for (int kx = 0; kx < op.kernelW; ++kx) {
                    const int ix = ox * op.strideW - op.padLeft + kx;
                    if (ix < 0 || ix >= id[2])
                        continue;
                    const float* src = x.data.data() + (static_cast<size_t>(iy) * id[2] + ix) * C;
                    ++taps;
                    if (isMax)
                        maxInto(out, src, C);
                    else
                        addInto(out, src, C);
                }
            }
            if (!isMax && taps > 0)
                for (int c = 0; c < C; ++c)
                    out[c] /= static_cast<float>(taps);
            activateAll(out, C, op.activation);
        }
}

void mean(std::vector<Tensor>& t, const Op& op)
{
    averageOfAll(t[op.inputs[0]], t[op.outputs[0]], Activation::None);
}

void reshape(std::vector<Tensor>& t, const Op& op)
{
    const Tensor& x = t[op.inputs[0]];
    Tensor& y = t[op.outputs[0]];
    std::copy(x.data.begin(), x.data.end(), y.data.begin());
}

void concat(std::vector<Tensor>& t, const Op& op)
{
    Tensor& y = t[op.outputs[0]];
    size_t outer = 1;
    for (int i = 0; i < op.axis; ++i)
        outer *= y.shape[i];
    size_t outRow = 1;
    for (size_t i = op.axis; i < y.shape.size(); ++i)
        outRow *= y.shape[i];
    size_t offset = 0;
    for (int index : op.inputs) {
        const Tensor& x = t[index];
        const size_t row = x.count() / std::max<size_t>(outer, 1);
        for (size_t o = 0; o < outer; ++o)
            std::copy(x.data.begin() + o * row, x.data.begin() + (o + 1) * row,
                      y.data.begin() + o * outRow + offset);
        offset += row;
    }
}

namespace {

// One output pixel of a bilinear resize from its four neighbours: row a (columns lo, hi) and
// row b, blended by fx across and fy down.
void lerpPixel(const float* a0, const float* a1, const float* b0, const float* b1, float fx, float fy, int C,
               float* __restrict out)
{
    int c = 0;
    for (; c + kLanes <= C; c += kLanes) {
        const WideVector& p = vectorAt<WideVector>(a0 + c);
        const WideVector& q = vectorAt<WideVector>(b0 + c);
        const WideVector top = p + (vectorAt<WideVector>(a1 + c) - p) * fx;
        const WideVector bottom = q + (vectorAt<WideVector>(b1 + c) - q) * fx;
        vectorAt<WideVector>(out + c) = top + (bottom - top) * fy;
    }
    for (; c < C; ++c) {
        const float top = a0[c] + (a1[c] - a0[c]) * fx;
        const float bottom = b0[c] + (b1[c] - b0[c]) * fx;
        out[c] = top + (bottom - top) * fy;
    }
}

} // namespace

void resizeBilinear(std::vector<Tensor>& t, const Op& op)
{
    const Tensor& x = t[op.inputs[0]];
    Tensor& y = t[op.outputs[0]];
    const Dims id = dims4(x.shape), od = dims4(y.shape);
    const int C = od[3];
    const size_t rowSize = static_cast<size_t>(od[2]) * C;
    forRows(od[1], rowSize, [&](int begin, int end) {
        for (int oy = begin; oy < end; ++oy) {
            const LerpTap& ty = op.rowTaps[oy];
            const float* r0 = x.data.data() + static_cast<size_t>(ty.lo) * id[2] * C;
            const float* r1 = x.data.data() + static_cast<size_t>(ty.hi) * id[2] * C;
            float* out = y.data.data() + oy * rowSize;
            for (int ox = 0; ox < od[2]; ++ox, out += C) {
                const LerpTap& tx = op.columnTaps[ox];
                lerpPixel(r0 + tx.lo * C, r0 + tx.hi * C, r1 + tx.lo * C, r1 + tx.hi * C, tx.f, ty.f, C, out);
            }
        }
    });
}

} // namespace nn::kernels

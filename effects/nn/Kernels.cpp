#include "nn/Kernels.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>

namespace nn::kernels {
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

inline float activate(float v, Activation a)
{
    switch (a) {
    case Activation::None: return v;
    case Activation::Relu: return std::max(v, 0.f);
    case Activation::ReluN1To1: return std::min(std::max(v, -1.f), 1.f);
    case Activation::Relu6: return std::min(std::max(v, 0.f), 6.f);
    case Activation::Tanh: return std::tanh(v);
    case Activation::HardSwish: return v * std::min(std::max(v + 3.f, 0.f), 6.f) * (1.f / 6.f);
    case Activation::Logistic: return 1.f / (1.f + std::exp(-v));
    }
    return v;
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
    default:
        for (size_t i = 0; i < n; ++i)
            v[i] = activate(v[i], a);
    }
}

// Splits rows over OpenCV's pool; small layers stay on the calling thread.
template <typename F> void forRows(int rows, size_t workPerRow, F&& body)
{
    if (rows < 2 || workPerRow * rows < (size_t(1) << 18)) {
        body(0, rows);
        return;
    }
    cv::parallel_for_(cv::Range(0, rows), [&](const cv::Range& r) { body(r.start, r.end); });
}

constexpr int kPixels = 4;
constexpr int kBlock = Graph::kBlock;

// kPixels neighbouring outputs of one row, one block of output channels: the accumulators
// stay in registers while the weights of each input channel are loaded once for all pixels.
void convBlock(const float* in, const Dims& id, const Op& op, int oy, int ox, int outBlock,
               float acc[kPixels][kBlock])
{
    const int C = id[3];
    for (int q = 0; q < kPixels; ++q)
        for (int k = 0; k < kBlock; ++k)
            acc[q][k] = op.packedBias[outBlock * kBlock + k];
    for (int ky = 0; ky < op.kernelH; ++ky) {
        const int iy = oy * op.strideH - op.padTop + ky * op.dilationH;
        if (iy < 0 || iy >= id[1])
            continue;
        for (int kx = 0; kx < op.kernelW; ++kx) {
            const float* src[kPixels];
            for (int q = 0; q < kPixels; ++q) {
                const int ix = (ox + q) * op.strideW - op.padLeft + kx * op.dilationW;
                src[q] = (ix >= 0 && ix < id[2]) ? in + (static_cast<size_t>(iy) * id[2] + ix) * C
                                                 : op.zeros.data();
            }
            const float* w = op.packedWeights.data()
                + ((static_cast<size_t>(outBlock) * op.kernelH + ky) * op.kernelW + kx) * C * kBlock;
            for (int c = 0; c < C; ++c, w += kBlock)
                for (int q = 0; q < kPixels; ++q) {
                    const float a = src[q][c];
                    for (int k = 0; k < kBlock; ++k)
                        acc[q][k] += a * w[k];
                }
        }
    }
}

} // namespace

void conv(std::vector<Tensor>& t, const Op& op)
{
    const Tensor& x = t[op.inputs[0]];
    Tensor& y = t[op.outputs[0]];
    const Dims id = dims4(x.shape), od = dims4(y.shape);
    const int O = od[3], blocks = (O + kBlock - 1) / kBlock;
    const float* in = x.data.data();
    float* out = y.data.data();
    forRows(od[1], static_cast<size_t>(od[2]) * O * id[3] * op.kernelH * op.kernelW,
            [&](int begin, int end) {
        alignas(32) float acc[kPixels][kBlock];
        for (int oy = begin; oy < end; ++oy) {
            for (int ox = 0; ox < od[2]; ox += kPixels)
                for (int b = 0; b < blocks; ++b) {
                    convBlock(in, id, op, oy, ox, b, acc);
                    const int pixels = std::min(kPixels, od[2] - ox);
                    const int channels = std::min(kBlock, O - b * kBlock);
                    for (int q = 0; q < pixels; ++q) {
                        float* dst = out + (static_cast<size_t>(oy) * od[2] + ox + q) * O + b * kBlock;
                        std::copy(acc[q], acc[q] + channels, dst);
                    }
                }
            activateAll(out + static_cast<size_t>(oy) * od[2] * O, static_cast<size_t>(od[2]) * O, op.activation);
        }
    });
}

namespace {

// One output pixel of a depthwise layer for channels [c0, c0 + B): B accumulators in registers.
template <int B>
void depthwisePixel(const float* in, const Dims& id, const float* weights, const float* bias, const Op& op,
                    int oy, int ox, int c0, float* out)
{
    const int C = id[3];
    float acc[B];
    for (int k = 0; k < B; ++k)
        acc[k] = bias ? bias[c0 + k] : 0.f;
    for (int ky = 0; ky < op.kernelH; ++ky) {
        const int iy = oy * op.strideH - op.padTop + ky * op.dilationH;
        if (iy < 0 || iy >= id[1])
            continue;
        for (int kx = 0; kx < op.kernelW; ++kx) {
            const int ix = ox * op.strideW - op.padLeft + kx * op.dilationW;
            if (ix < 0 || ix >= id[2])
                continue;
            const float* src = in + (static_cast<size_t>(iy) * id[2] + ix) * C + c0;
            const float* w = weights + (static_cast<size_t>(ky) * op.kernelW + kx) * C + c0;
            for (int k = 0; k < B; ++k)
                acc[k] += src[k] * w[k];
        }
    }
    std::copy(acc, acc + B, out + c0);
}

} // namespace

void depthwise(std::vector<Tensor>& t, const Op& op)
{
    const Tensor& x = t[op.inputs[0]];
    const float* weights = t[op.inputs[1]].data.data();
    const float* bias = op.inputs.size() > 2 && op.inputs[2] >= 0 ? t[op.inputs[2]].data.data() : nullptr;
    Tensor& y = t[op.outputs[0]];
    const Dims id = dims4(x.shape), od = dims4(y.shape);
    const int C = od[3];
    const float* in = x.data.data();
    forRows(od[1], static_cast<size_t>(od[2]) * C * op.kernelH * op.kernelW, [&](int begin, int end) {
        for (int oy = begin; oy < end; ++oy) {
            float* row = y.data.data() + static_cast<size_t>(oy) * od[2] * C;
            for (int ox = 0; ox < od[2]; ++ox) {
                float* out = row + static_cast<size_t>(ox) * C;
                int c = 0;
                for (; c + 16 <= C; c += 16)
                    depthwisePixel<16>(in, id, weights, bias, op, oy, ox, c, out);
                for (; c + 4 <= C; c += 4)
                    depthwisePixel<4>(in, id, weights, bias, op, oy, ox, c, out);
                for (; c < C; ++c)
                    depthwisePixel<1>(in, id, weights, bias, op, oy, ox, c, out);
            }
            activateAll(row, static_cast<size_t>(od[2]) * C, op.activation);
        }
    });
}

namespace {

// Eight independent partial sums vectorise without reordering any single sum.
float dot(const float* a, const float* b, int n)
{
    float lanes[8] = {};
    int i = 0;
    for (; i + 8 <= n; i += 8)
        for (int l = 0; l < 8; ++l)
            lanes[l] += a[i + l] * b[i + l];
    float sum = 0.f;
    for (; i < n; ++i)
        sum += a[i] * b[i];
    for (float lane : lanes)
        sum += lane;
    return sum;
}

} // namespace

void transposeConv(std::vector<Tensor>& t, const Op& op)
{
    const Tensor& x = t[op.inputs[0]];
    const Tensor& w = t[op.inputs[1]];
    const Tensor& b = t[op.inputs[2]];
    Tensor& y = t[op.outputs[0]];
    const Dims id = dims4(x.shape), od = dims4(y.shape);
    const int C = id[3], O = od[3];
    for (size_t p = 0; p < y.count(); p += O)
        std::copy(b.data.begin(), b.data.begin() + O, y.data.begin() + p);
    for (int iy = 0; iy < id[1]; ++iy)
        for (int ix = 0; ix < id[2]; ++ix) {
            const float* src = x.data.data() + (static_cast<size_t>(iy) * id[2] + ix) * C;
            for (int ky = 0; ky < op.kernelH; ++ky) {
                const int oy = iy * op.strideH - op.padTop + ky;
                if (oy < 0 || oy >= od[1])
                    continue;
                for (int kx = 0; kx < op.kernelW; ++kx) {
                    const int ox = ix * op.strideW - op.padLeft + kx;
                    if (ox < 0 || ox >= od[2])
                        continue;
                    float* dst = y.data.data() + (static_cast<size_t>(oy) * od[2] + ox) * O;
                    for (int o = 0; o < O; ++o) {
                        const float* k = w.data.data()
                            + ((static_cast<size_t>(o) * op.kernelH + ky) * op.kernelW + kx) * C;
                        dst[o] += dot(src, k, C);
                    }
                }
            }
        }
    activateAll(y.data.data(), y.count(), op.activation);
}

void elementwise(std::vector<Tensor>& t, const Op& op)
{
    const Tensor& a = t[op.inputs[0]];
    const Tensor& b = t[op.inputs[1]];
    Tensor& y = t[op.outputs[0]];
    const Dims ad = dims4(a.shape), bd = dims4(b.shape), od = dims4(y.shape);
    // Element strides per dimension, 0 where an operand is broadcast.
    Dims as{}, bs{};
    for (int i = 3, sa = 1, sb = 1; i >= 0; --i) {
        as[i] = ad[i] == 1 ? 0 : sa;
        bs[i] = bd[i] == 1 ? 0 : sb;
        sa *= ad[i];
        sb *= bd[i];
    }
    float* out = y.data.data();
    for (int n = 0; n < od[0]; ++n)
        for (int h = 0; h < od[1]; ++h)
            for (int x = 0; x < od[2]; ++x, out += od[3]) {
                const float* pa = a.data.data() + n * as[0] + h * as[1] + x * as[2];
                const float* pb = b.data.data() + n * bs[0] + h * bs[1] + x * bs[2];
                const int sa = as[3], sb = bs[3];
                switch (op.kind) {
                case OpKind::Add:
                    for (int c = 0; c < od[3]; ++c)
                        out[c] = pa[c * sa] + pb[c * sb];
                    break;
                case OpKind::Mul:
                    for (int c = 0; c < od[3]; ++c)
                        out[c] = pa[c * sa] * pb[c * sb];
                    break;
                default:  // Prelu: b holds the slopes
                    for (int c = 0; c < od[3]; ++c) {
                        const float v = pa[c * sa];
                        out[c] = v >= 0.f ? v : v * pb[c * sb];
                    }
                }
                activateAll(out, od[3], op.activation);
            }
}

void activation(std::vector<Tensor>& t, const Op& op)
{
    const Tensor& x = t[op.inputs[0]];
    Tensor& y = t[op.outputs[0]];
    const float* in = x.data.data();
    float* out = y.data.data();
    const size_t n = y.count();
    switch (op.kind) {
    case OpKind::Relu:
        for (size_t i = 0; i < n; ++i)
            out[i] = std::max(in[i], 0.f);
        break;
    case OpKind::Relu6:
        for (size_t i = 0; i < n; ++i)
            out[i] = std::min(std::max(in[i], 0.f), 6.f);
        break;
    case OpKind::HardSwish:
        for (size_t i = 0; i < n; ++i)
            out[i] = in[i] * std::min(std::max(in[i] + 3.f, 0.f), 6.f) * (1.f / 6.f);
        break;
    case OpKind::Tanh:
        for (size_t i = 0; i < n; ++i)
            out[i] = std::tanh(in[i]);
        break;
    default:  // Logistic
        for (size_t i = 0; i < n; ++i)
            out[i] = 1.f / (1.f + std::exp(-in[i]));
    }
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

void pool(std::vector<Tensor>& t, const Op& op)
{
    const Tensor& x = t[op.inputs[0]];
    Tensor& y = t[op.outputs[0]];
    const Dims id = dims4(x.shape), od = dims4(y.shape);
    const int C = od[3];
    const bool isMax = op.kind == OpKind::MaxPool;
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
                    for (int c = 0; c < C; ++c)
                        out[c] = isMax ? std::max(out[c], src[c]) : out[c] + src[c];
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
    const Tensor& x = t[op.inputs[0]];
    Tensor& y = t[op.outputs[0]];
    const Dims id = dims4(x.shape);
    const int C = id[3];
    const size_t pixels = static_cast<size_t>(id[1]) * id[2];
    std::fill(y.data.begin(), y.data.end(), 0.f);
    const float* src = x.data.data();
    for (size_t p = 0; p < pixels; ++p, src += C)
        for (int c = 0; c < C; ++c)
            y.data[c] += src[c];
    for (int c = 0; c < C; ++c)
        y.data[c] /= static_cast<float>(pixels);
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

struct Tap {
    int lo, hi;
    float f;
};

Tap bilinearTap(int dst, int in, int out, const Op& op)
{
    const float scale = (op.alignCorners && out > 1) ? float(in - 1) / float(out - 1) : float(in) / float(out);
    const float src = op.halfPixelCenters ? (dst + 0.5f) * scale - 0.5f : dst * scale;
    const int lo = std::max(static_cast<int>(std::floor(src)), 0);
    const int hi = std::min(static_cast<int>(std::ceil(src)), in - 1);
    return {std::min(lo, in - 1), hi, src - lo};
}

} // namespace

void resizeBilinear(std::vector<Tensor>& t, const Op& op)
{
    const Tensor& x = t[op.inputs[0]];
    Tensor& y = t[op.outputs[0]];
    const Dims id = dims4(x.shape), od = dims4(y.shape);
    const int C = od[3];
    float* out = y.data.data();
    for (int oy = 0; oy < od[1]; ++oy) {
        const Tap ty = bilinearTap(oy, id[1], od[1], op);
        const float* r0 = x.data.data() + static_cast<size_t>(ty.lo) * id[2] * C;
        const float* r1 = x.data.data() + static_cast<size_t>(ty.hi) * id[2] * C;
        for (int ox = 0; ox < od[2]; ++ox, out += C) {
            const Tap tx = bilinearTap(ox, id[2], od[2], op);
            for (int c = 0; c < C; ++c) {
                const float top = r0[tx.lo * C + c] + (r0[tx.hi * C + c] - r0[tx.lo * C + c]) * tx.f;
                const float bottom = r1[tx.lo * C + c] + (r1[tx.hi * C + c] - r1[tx.lo * C + c]) * tx.f;
                out[c] = top + (bottom - top) * ty.f;
            }
        }
    }
}

} // namespace nn::kernels

#pragma once
// The in-memory form of a model: tensors with their storage, and the operators in execution
// order with everything a kernel needs worked out at load time (padding, packed weights).

#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace nn {

// Leaves the elements of resize() uninitialised. The kernels write every activation and every
// scratch row before reading it, so zero-filling them at load would only make the system hand
// over and clear pages, for models that may never run (the portrait models of an export
// without matting, say) as much as for the rest.
template <typename T> struct UninitialisedAllocator : std::allocator<T> {
    template <typename U> struct rebind {
        using other = UninitialisedAllocator<U>;
    };
    UninitialisedAllocator() = default;
    template <typename U> UninitialisedAllocator(const UninitialisedAllocator<U>&) noexcept {}
    template <typename U> void construct(U* at) noexcept { ::new (static_cast<void*>(at)) U; }
    template <typename U, typename... Args> void construct(U* at, Args&&... args)
    {
        ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
    }
};

using FloatBuffer = std::vector<float, UninitialisedAllocator<float>>;

struct Tensor {
    std::vector<int> shape;
    std::string name;
    FloatBuffer data;           // activations, and float constants (widened from FLOAT16)
    std::vector<int32_t> ints;  // INT32 constants (paddings, sizes, axes)
    bool isConstant = false;
    size_t count() const;
};

enum class OpKind {
    Conv, Depthwise, TransposeConv, Add, Mul, Relu, Relu6, Logistic, Tanh, HardSwish, Prelu,
    Pad, MaxPool, AveragePool, Mean, Reshape, Concat, ResizeBilinear
};

// Applied to a result as it is written; the reader also folds separate activation ops here.
enum class Activation { None, Relu, ReluN1To1, Relu6, Tanh, HardSwish, Logistic };

// The activation an activation op applies; None for every other kind.
Activation activationOf(OpKind kind);

// Where one output row or column of a bilinear resize reads: it blends input rows (columns) lo
// and hi with weight f on hi.
struct LerpTap {
    int lo = 0, hi = 0;
    float f = 0.f;
};

struct Op {
    OpKind kind = OpKind::Relu;
    std::vector<int> inputs;
    std::vector<int> outputs;
    Activation activation = Activation::None;
    // Conv, Depthwise, Mul: a tensor of the output's shape added to the result (an ADD folded
    // into its producer), or -1; before the activation, or (Depthwise only) after it.
    int residual = -1;
    bool residualAfterActivation = false;
    // Conv, Depthwise: the slopes of a PRELU folded in as the activation, one per channel, or -1.
    int slopes = -1;
    // Spatial ops: kernel, stride, dilation and the padding before the first row/column.
    int kernelH = 1, kernelW = 1, strideH = 1, strideW = 1, dilationH = 1, dilationW = 1;
    int padTop = 0, padLeft = 0;
    // Conv: weights as [outBlock][kh][kw][in][kBlock], bias as [outBlock * kBlock], both
    // zero-padded to whole blocks. Convolutions other than 1x1 with stride 1 first gather
    // each output pixel's receptive field into patches, a [pixel][kh * kw * in] matrix of
    // patchElements floats in the graph's scratch; TransposeConv keeps its per-tap
    // contributions there.
    std::vector<float> packedWeights;
    std::vector<float> packedBias;
    size_t patchElements = 0;
    int axis = 0;                                  // Concat
    std::vector<int> padBefore;                    // Pad, 4 dims
    std::vector<LerpTap> rowTaps, columnTaps;      // ResizeBilinear
};

class Graph {
public:
    static constexpr int kBlock = 16;  // output channels per conv micro-kernel pass
    static constexpr int kMaxDepthwiseTaps = 64;  // the depthwise kernel lists its taps on the stack

    std::vector<Tensor> tensors;
    std::vector<Op> ops;
    std::vector<int> inputs;
    std::vector<int> outputs;
    // Shared by the ops one after another: as large as the largest op's patchElements.
    FloatBuffer scratch;

    void run();
};

} // namespace nn

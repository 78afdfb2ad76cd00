#include "nn/Graph.h"

#include "nn/Kernels.h"

namespace nn {

Activation activationOf(OpKind kind)
{
    switch (kind) {
    case OpKind::Relu: return Activation::Relu;
    case OpKind::Relu6: return Activation::Relu6;
    case OpKind::Logistic: return Activation::Logistic;
    case OpKind::Tanh: return Activation::Tanh;
    case OpKind::HardSwish: return Activation::HardSwish;
    default: return Activation::None;
    }
}

size_t Tensor::count() const
{
    size_t n = 1;
    for (int d : shape)
        n *= static_cast<size_t>(d);
    return n;
}

void Graph::run()
{
    const kernels::FlushSubnormals flush;
    for (const Op& op : ops) {
        switch (op.kind) {
        case OpKind::Conv: kernels::conv(tensors, op, scratch.data()); break;
        case OpKind::Depthwise: kernels::depthwise(tensors, op); break;
        case OpKind::TransposeConv: kernels::transposeConv(tensors, op, scratch.data()); break;
        case OpKind::Add:
        case OpKind::Mul:
        case OpKind::Prelu: kernels::elementwise(tensors, op); break;
        case OpKind::Relu:
        case OpKind::Relu6:
        case OpKind::Logistic:
        case OpKind::Tanh:
        case OpKind::HardSwish: kernels::activation(tensors, op); break;
        case OpKind::Pad: kernels::pad(tensors, op); break;
        case OpKind::MaxPool:
        case OpKind::AveragePool: kernels::pool(tensors, op); break;
        case OpKind::Mean: kernels::mean(tensors, op); break;
        case OpKind::Reshape: kernels::reshape(tensors, op); break;
        case OpKind::Concat: kernels::concat(tensors, op); break;
        case OpKind::ResizeBilinear: kernels::resizeBilinear(tensors, op); break;
        }
    }
}

} // namespace nn

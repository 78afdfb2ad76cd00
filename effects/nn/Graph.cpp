#include "nn/Graph.h"

#include "nn/Kernels.h"

namespace nn {

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
        case OpKind::Conv: kernels::conv(tensors, op); break;
        case OpKind::Depthwise: kernels::depthwise(tensors, op); break;
        case OpKind::TransposeConv: kernels::transposeConv(tensors, op); break;
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

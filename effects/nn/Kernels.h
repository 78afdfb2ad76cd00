#pragma once
// CPU kernels for float32 NHWC tensors with batch 1, following TensorFlow Lite's arithmetic.
// Each reads its operands from the graph's tensors and writes the op's first output, whose
// shape the model reader has already checked.

#include "nn/Graph.h"

namespace nn::kernels {

// Treats subnormal floats as zero on this thread while it lives. Activations that decay
// towards zero would otherwise run through the slow subnormal path of the CPU; the values
// involved are far below anything the models' outputs can show.
class FlushSubnormals {
public:
    FlushSubnormals();
    ~FlushSubnormals();
    FlushSubnormals(const FlushSubnormals&) = delete;
    FlushSubnormals& operator=(const FlushSubnormals&) = delete;

private:
    unsigned int saved_;
};

// Conv and TransposeConv use scratch, op.patchElements floats, as their working matrix.
void conv(std::vector<Tensor>& t, const Op& op, float* scratch);
void depthwise(std::vector<Tensor>& t, const Op& op);
void transposeConv(std::vector<Tensor>& t, const Op& op, float* scratch);
void elementwise(std::vector<Tensor>& t, const Op& op);  // Add, Mul, Prelu
void activation(std::vector<Tensor>& t, const Op& op);   // Relu, Relu6, Logistic, Tanh, HardSwish
void pad(std::vector<Tensor>& t, const Op& op);
void pool(std::vector<Tensor>& t, const Op& op);         // MaxPool, AveragePool
void mean(std::vector<Tensor>& t, const Op& op);         // over height and width
void reshape(std::vector<Tensor>& t, const Op& op);
void concat(std::vector<Tensor>& t, const Op& op);
void resizeBilinear(std::vector<Tensor>& t, const Op& op);

} // namespace nn::kernels

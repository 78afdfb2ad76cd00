#include "nn/ModelReader.h"

#include "nn/FlatTable.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace nn {
namespace {

// Schema enums and slot numbers used here; a union takes two slots (type, value).
enum TensorType { kFloat32 = 0, kFloat16 = 1, kInt32 = 2 };
enum Builtin {
    kAdd = 0, kAveragePool = 1, kConcat = 2, kConv = 3, kDepthwise = 4, kDequantize = 6,
    kLogistic = 14, kMaxPool = 17, kMul = 18, kRelu = 19, kRelu6 = 21, kReshape = 22,
    kResizeBilinear = 23, kTanh = 28, kCustom = 32, kPad = 34, kMean = 40, kPrelu = 54,
    kHardSwish = 117
};
// Far above what the models we run need; a file asking for more is refused rather than
// allowed to exhaust memory.
constexpr size_t kMaxElements = size_t(1) << 26;  // one tensor or scratch
constexpr size_t kMaxTotalElements = size_t(1) << 27;  // all activations together

float halfToFloat(uint16_t h)
{
    const uint32_t sign = uint32_t(h & 0x8000) << 16;
    const int exponent = (h >> 10) & 0x1f;
    const uint32_t mantissa = h & 0x3ff;
    float magnitude;
    if (exponent == 0)
        magnitude = std::ldexp(static_cast<float>(mantissa), -24);
    else if (exponent == 31)
        magnitude = mantissa ? std::numeric_limits<float>::quiet_NaN() : std::numeric_limits<float>::infinity();
    else
        magnitude = std::ldexp(static_cast<float>(mantissa | 0x400), exponent - 25);
    uint32_t bits;
    std::memcpy(&bits, &magnitude, 4);
    bits |= sign;
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

Activation activationFrom(int code)
{
    switch (code) {
    case 0: return Activation::None;
    case 1: return Activation::Relu;
    case 2: return Activation::ReluN1To1;
    case 3: return Activation::Relu6;
    case 4: return Activation::Tanh;
    }
    throw FlatError("unsupported fused activation " + std::to_string(code));
}

// TensorFlow Lite's output size and leading padding for one axis; SAME puts the odd extra
// pixel after the image.
void spatialAxis(bool same, int in, int kernel, int stride, int dilation, int& out, int& padBefore)
{
    const int effective = (kernel - 1) * dilation + 1;
    if (same) {
        out = (in + stride - 1) / stride;
        padBefore = std::max(0, (out - 1) * stride + effective - in) / 2;
    } else {
        out = in >= effective ? (in - effective) / stride + 1 : 0;
        padBefore = 0;
    }
}

size_t scratchSize(size_t pixels, size_t depth)
{
    if (depth > kMaxElements || pixels * depth > kMaxElements)
        throw FlatError("layer needs more scratch memory than allowed");
    return pixels * depth;
}

// TensorFlow Lite's source rows (or columns) of a bilinear resize from in to out along one axis.
std::vector<LerpTap> lerpTaps(int in, int out, bool alignCorners, bool halfPixelCenters)
{
    const float scale = (alignCorners && out > 1) ? float(in - 1) / float(out - 1) : float(in) / float(out);
    std::vector<LerpTap> taps(out);
    for (int dst = 0; dst < out; ++dst) {
        const float src = halfPixelCenters ? (dst + 0.5f) * scale - 0.5f : dst * scale;
        const int lo = std::max(static_cast<int>(std::floor(src)), 0);
        const int hi = std::min(static_cast<int>(std::ceil(src)), in - 1);
        taps[dst] = {std::min(lo, in - 1), hi, src - lo};
    }
    return taps;
}

bool isActivated(const Op& op)
{
    return op.activation != Activation::None || op.slopes >= 0;
}

// Whether op can do the ADD that follows it as it stores its result.
bool addsAsItStores(const Op& op, const Op& add)
{
    if ((op.kind != OpKind::Conv && op.kind != OpKind::Depthwise && op.kind != OpKind::Mul) || op.outputs.size() != 1
        || op.residual >= 0)
        return false;
    // A depthwise conv adds row by row, so it can add after its own activation too.
    return !isActivated(op) || (op.kind == OpKind::Depthwise && add.activation == Activation::None);
}

bool isSame(int padding)
{
    if (padding != 0 && padding != 1)
        throw FlatError("unknown padding " + std::to_string(padding));
    return padding == 0;
}

} // namespace

bool ModelReader::read(const std::vector<uint8_t>& bytes, Graph& graph, std::string& error)
{
    try {
        ModelReader reader(graph);
        const FlatTable model = FlatTable::root(bytes.data(), bytes.size(), "TFL3");
        if (model.vectorLength(2) != 1)
            throw FlatError("expected exactly one subgraph");
        const FlatTable subgraph = model.tableAt(2, 0);
        reader.readTensors(model, subgraph);
        reader.readOperators(model, subgraph);
        reader.sizeScratch();
        return true;
    } catch (const std::exception& e) {  // FlatError, and bad_alloc on absurd sizes
        error = e.what();
        graph = Graph();
        return false;
    }
}

ModelReader::ModelReader(Graph& graph) : graph_(graph) {}

void ModelReader::sizeScratch()
{
    size_t largest = 0;
    for (const Op& op : graph_.ops)
        largest = std::max(largest, op.patchElements);
    graph_.scratch.resize(largest);
}

// Weights of a 1x1 convolution over `depth` inputs as [outBlock][depth][kBlock], zero-padded
// to whole blocks, with a zero bias of the same length.
template <typename Weight> void ModelReader::packWeights(Op& op, int outChannels, int depth, Weight weight)
{
    const int blocks = (outChannels + Graph::kBlock - 1) / Graph::kBlock;
    op.packedWeights.assign(static_cast<size_t>(blocks) * depth * Graph::kBlock, 0.f);
    for (int o = 0; o < outChannels; ++o)
        for (int k = 0; k < depth; ++k)
            op.packedWeights[((static_cast<size_t>(o) / Graph::kBlock) * depth + k) * Graph::kBlock + o % Graph::kBlock]
                = weight(o, k);
    op.packedBias.assign(static_cast<size_t>(blocks) * Graph::kBlock, 0.f);
}

Tensor& ModelReader::tensor(int index)
{
    if (index < 0 || static_cast<size_t>(index) >= graph_.tensors.size())
        throw FlatError("tensor index out of range");
    return graph_.tensors[index];
}

const Tensor& ModelReader::constant(int index)
{
    const Tensor& t = tensor(index);
    if (!t.isConstant)
        throw FlatError("operand '" + t.name + "' must be a constant");
    return t;
}

void ModelReader::expectShape(const Tensor& t, const std::vector<int>& shape, const char* what)
{
    if (t.shape != shape)
        throw FlatError(std::string(what) + ": tensor '" + t.name + "' has an unexpected shape");
}

void ModelReader::readTensors(const FlatTable& model, const FlatTable& subgraph)
{
    const size_t count = subgraph.vectorLength(0);
    graph_.tensors.resize(count);
    size_t activations = 0;
    for (size_t i = 0; i < count; ++i) {
        const FlatTable src = subgraph.tableAt(0, i);
        Tensor& t = graph_.tensors[i];
        t.shape = src.scalarVector<int32_t>(0);
        t.name = src.string(3);
        size_t elements = 1;
        for (int d : t.shape) {
            if (d <= 0 || static_cast<size_t>(d) > kMaxElements / elements)
                throw FlatError("tensor '" + t.name + "' has an unsupported shape");
            elements *= d;
        }
        const int type = src.scalar<int8_t>(1, kFloat32);
        const uint32_t bufferIndex = src.scalar<uint32_t>(2, 0);
        size_t length = 0;
        const uint8_t* data = nullptr;
        if (bufferIndex != 0)
            data = model.tableAt(4, bufferIndex).bytes(0, length);
        t.isConstant = data && length > 0;
        const size_t width = type == kFloat16 ? 2 : 4;
        if (type != kFloat32 && type != kFloat16 && type != kInt32)
            throw FlatError("tensor '" + t.name + "' has an unsupported type " + std::to_string(type));
        if (!t.isConstant) {
            if (type != kFloat32)
                throw FlatError("tensor '" + t.name + "': only float32 activations are supported");
            activations += elements;
            if (activations > kMaxTotalElements)
                throw FlatError("model needs more memory than allowed");
            t.data.resize(elements);
            continue;
        }
        if (length != elements * width)
            throw FlatError("tensor '" + t.name + "': buffer size does not match its shape");
        for (size_t e = 0; e < elements; ++e) {
            const uint8_t* at = data + e * width;
            if (type == kFloat16) {
                uint16_t h;
                std::memcpy(&h, at, 2);
                t.data.push_back(halfToFloat(h));
            } else if (type == kFloat32) {
                float f;
                std::memcpy(&f, at, 4);
                t.data.push_back(f);
            } else {
                int32_t v;
                std::memcpy(&v, at, 4);
                t.ints.push_back(v);
            }
        }
    }
    graph_.inputs = subgraph.scalarVector<int32_t>(1);
    graph_.outputs = subgraph.scalarVector<int32_t>(2);
    for (int index : graph_.inputs)
        if (tensor(index).isConstant)
            throw FlatError("model input is a constant");
    for (int index : graph_.outputs)
        if (tensor(index).data.empty())
            throw FlatError("model output is not a float tensor");
}

void ModelReader::readOperators(const FlatTable& model, const FlatTable& subgraph)
{
    const size_t count = subgraph.vectorLength(3);
    // Weights are widened once here, so every DEQUANTIZE is folded before its users are
    // prepared; the runtime never sees them.
    std::vector<FlatTable> compute;
    for (size_t i = 0; i < count; ++i) {
        const FlatTable op = subgraph.tableAt(3, i);
        const FlatTable code = model.tableAt(1, op.scalar<uint32_t>(0, 0));
        const int builtin = std::max<int>(code.scalar<int8_t>(0, 0), code.scalar<int32_t>(3, 0));
        if (builtin == kDequantize)
            foldDequantize(op.scalarVector<int32_t>(1), op.scalarVector<int32_t>(2));
        else
            compute.push_back(op);
    }
    for (const FlatTable& op : compute)
        addOperator(model, op);
    // Activations first, so a residual ADD can follow a depthwise conv's activation; then once
    // more for those (a PReLU) that can only follow a conv, which an ADD may just have become.
    fuseActivations();
    fuseResidualAdds();
    fuseActivations();
}

std::vector<int> ModelReader::readerCounts() const
{
    std::vector<int> readers(graph_.tensors.size(), 0);
    for (const Op& op : graph_.ops) {
        for (int index : op.inputs)
            if (index >= 0)
                ++readers[index];
        if (op.residual >= 0)
            ++readers[op.residual];
        if (op.slopes >= 0)
            ++readers[op.slopes];
    }
    for (int index : graph_.outputs)
        ++readers[index];
    return readers;
}

std::vector<int> ModelReader::producers() const
{
    std::vector<int> producer(graph_.tensors.size(), -1);
    for (size_t k = 0; k < graph_.ops.size(); ++k)
        producer[graph_.ops[k].outputs[0]] = static_cast<int>(k);
    return producer;
}

void ModelReader::removeOps(const std::vector<bool>& removed)
{
    std::vector<Op> kept;
    for (size_t k = 0; k < graph_.ops.size(); ++k)
        if (!removed[k])
            kept.push_back(std::move(graph_.ops[k]));
    graph_.ops = std::move(kept);
}

// An ADD of equal shapes, one of whose operands is a convolution's (or a MUL's) result that only
// it reads, is done by that op as it stores (the op moves to the ADD's place, where the other
// operand is ready): one pass over two tensors less.
void ModelReader::fuseResidualAdds()
{
    const std::vector<int> readers = readerCounts();
    std::vector<int> producer = producers();
    std::vector<bool> removed(graph_.ops.size(), false);
    for (size_t k = 0; k < graph_.ops.size(); ++k) {
        const Op& add = graph_.ops[k];
        if (add.kind != OpKind::Add || add.outputs.size() != 1)
            continue;
        const std::vector<int>& shape = graph_.tensors[add.outputs[0]].shape;
        for (int side = 0; side < 2; ++side) {
            const int source = add.inputs[side], other = add.inputs[1 - side];
            const int p = producer[source];
            if (p < 0 || source == other || readers[source] != 1 || graph_.tensors[source].shape != shape
                || graph_.tensors[other].shape != shape)
                continue;
            Op& conv = graph_.ops[p];
            if (!addsAsItStores(conv, add))
                continue;
            const bool activated = isActivated(conv);
            conv.residual = other;
            conv.residualAfterActivation = activated;
            if (!activated)
                conv.activation = add.activation;
            conv.outputs[0] = add.outputs[0];
            FloatBuffer().swap(graph_.tensors[source].data);
            graph_.ops[k] = std::move(conv);
            removed[p] = true;
            producer[add.outputs[0]] = static_cast<int>(k);
            break;
        }
    }
    removeOps(removed);
}

// A PRELU with one slope per channel of its input's last axis.
bool ModelReader::isChannelPrelu(const Op& op) const
{
    if (op.kind != OpKind::Prelu || op.activation != Activation::None)
        return false;
    const Tensor& x = graph_.tensors[op.inputs[0]];
    const Tensor& slopes = graph_.tensors[op.inputs[1]];
    return slopes.isConstant && !x.shape.empty() && !slopes.shape.empty()
        && slopes.shape.back() == x.shape.back() && slopes.count() == static_cast<size_t>(x.shape.back());
}

// An activation op (or a per-channel PRELU after a convolution) whose input only it reads is
// applied by the producing kernel as it writes, which saves a pass over the tensor.
void ModelReader::fuseActivations()
{
    const std::vector<int> readers = readerCounts();
    std::vector<int> producer = producers();
    std::vector<bool> fused(graph_.ops.size(), false);
    for (size_t k = 0; k < graph_.ops.size(); ++k) {
        const Op& op = graph_.ops[k];
        const Activation activation = activationOf(op.kind);
        const bool prelu = isChannelPrelu(op);
        const int source = op.inputs[0];
        const int p = producer[source];
        if ((activation == Activation::None && !prelu) || p < 0 || readers[source] != 1
            || graph_.tensors[source].shape != graph_.tensors[op.outputs[0]].shape)
            continue;
        Op& target = graph_.ops[p];
        const bool convolution = target.kind == OpKind::Conv || target.kind == OpKind::Depthwise;
        const bool canFuse = prelu ? convolution
                                   : convolution || target.kind == OpKind::TransposeConv || target.kind == OpKind::Add
                || target.kind == OpKind::Mul || target.kind == OpKind::Prelu || target.kind == OpKind::MaxPool
                || target.kind == OpKind::AveragePool;
        if (!canFuse || target.activation != Activation::None || target.slopes >= 0 || target.outputs.size() != 1)
            continue;
        if (prelu)
            target.slopes = op.inputs[1];
        else
            target.activation = activation;
        target.outputs[0] = op.outputs[0];
        producer[op.outputs[0]] = p;
        FloatBuffer().swap(graph_.tensors[source].data);
        fused[k] = true;
    }
    removeOps(fused);
}

void ModelReader::foldDequantize(const std::vector<int>& inputs, const std::vector<int>& outputs)
{
    if (inputs.size() != 1 || outputs.size() != 1)
        throw FlatError("DEQUANTIZE needs one input and one output");
    const Tensor& source = constant(inputs[0]);
    Tensor& target = tensor(outputs[0]);
    if (source.data.size() != target.count())
        throw FlatError("DEQUANTIZE of a non-float constant");
    target.data = source.data;
    target.isConstant = true;
}

void ModelReader::checkOperands(const Op& op, size_t minInputs)
{
    if (op.inputs.size() < minInputs || op.outputs.empty())
        throw FlatError("operator with too few operands");
    for (int index : op.inputs)
        if (index >= 0)
            tensor(index);
    for (int index : op.outputs)
        if (tensor(index).isConstant)
            throw FlatError("operator writes a constant");
}

void ModelReader::addOperator(const FlatTable& model, const FlatTable& src)
{
    const FlatTable code = model.tableAt(1, src.scalar<uint32_t>(0, 0));
    const int builtin = std::max<int>(code.scalar<int8_t>(0, 0), code.scalar<int32_t>(3, 0));
    Op op;
    op.inputs = src.scalarVector<int32_t>(1);
    op.outputs = src.scalarVector<int32_t>(2);
    const bool hasOptions = src.has(4);
    const FlatTable optionsTable = hasOptions ? src.table(4) : src;
    const FlatTable* options = hasOptions ? &optionsTable : nullptr;
    switch (builtin) {
    case kConv: op.kind = OpKind::Conv; prepareConv(op, options); break;
    case kDepthwise: op.kind = OpKind::Depthwise; prepareDepthwise(op, options); break;
    case kAdd:
    case kMul:
    case kPrelu:
        op.kind = builtin == kAdd ? OpKind::Add : builtin == kMul ? OpKind::Mul : OpKind::Prelu;
        if (options && builtin != kPrelu)
            op.activation = activationFrom(options->scalar<int8_t>(0, 0));
        prepareElementwise(op);
        break;
    case kRelu: op.kind = OpKind::Relu; prepareSameCount(op); break;
    case kRelu6: op.kind = OpKind::Relu6; prepareSameCount(op); break;
    case kLogistic: op.kind = OpKind::Logistic; prepareSameCount(op); break;
    case kTanh: op.kind = OpKind::Tanh; prepareSameCount(op); break;
    case kHardSwish: op.kind = OpKind::HardSwish; prepareSameCount(op); break;
    case kReshape: op.kind = OpKind::Reshape; prepareSameCount(op); break;
    case kPad: op.kind = OpKind::Pad; preparePad(op); break;
    case kMaxPool:
    case kAveragePool:
        op.kind = builtin == kMaxPool ? OpKind::MaxPool : OpKind::AveragePool;
        preparePool(op, options);
        break;
    case kMean: op.kind = OpKind::Mean; prepareMean(op); break;
    case kConcat: op.kind = OpKind::Concat; prepareConcat(op, options); break;
    case kResizeBilinear: op.kind = OpKind::ResizeBilinear; prepareResize(op, options); break;
    case kCustom:
        if (code.string(1) != "Convolution2DTransposeBias")
            throw FlatError("unsupported custom operator '" + code.string(1) + "'");
        op.kind = OpKind::TransposeConv;
        prepareTransposeConv(op, src);
        break;
    default:
        throw FlatError("unsupported operator code " + std::to_string(builtin));
    }
    graph_.ops.push_back(std::move(op));
}

void ModelReader::prepareConv(Op& op, const FlatTable* options)
{
    checkOperands(op, 2);
    if (!options)
        throw FlatError("CONV_2D without options");
    const Tensor& x = tensor(op.inputs[0]);
    const Tensor& w = constant(op.inputs[1]);
    const Tensor& y = tensor(op.outputs[0]);
    if (x.shape.size() != 4 || w.shape.size() != 4 || x.shape[0] != 1 || w.shape[3] != x.shape[3])
        throw FlatError("CONV_2D operands do not fit");
    const bool same = isSame(options->scalar<int8_t>(0, 0));
    op.strideW = options->scalar<int32_t>(1, 0);
    op.strideH = options->scalar<int32_t>(2, 0);
    op.activation = activationFrom(options->scalar<int8_t>(3, 0));
    op.dilationW = options->scalar<int32_t>(4, 1);
    op.dilationH = options->scalar<int32_t>(5, 1);
    if (op.strideW < 1 || op.strideH < 1 || op.dilationW < 1 || op.dilationH < 1)
        throw FlatError("CONV_2D with a bad stride or dilation");
    const int O = w.shape[0], C = w.shape[3];
    op.kernelH = w.shape[1];
    op.kernelW = w.shape[2];
    int outH, outW;
    spatialAxis(same, x.shape[1], op.kernelH, op.strideH, op.dilationH, outH, op.padTop);
    spatialAxis(same, x.shape[2], op.kernelW, op.strideW, op.dilationW, outW, op.padLeft);
    expectShape(y, {1, outH, outW, O}, "CONV_2D");

    const int taps = op.kernelH * op.kernelW;
    // OHWI weights are already rows of [tap][in] per output channel.
    packWeights(op, O, taps * C, [&](int o, int k) { return w.data[static_cast<size_t>(o) * taps * C + k]; });
    if (op.inputs.size() > 2 && op.inputs[2] >= 0) {
        const Tensor& b = constant(op.inputs[2]);
        expectShape(b, {O}, "CONV_2D bias");
        std::copy(b.data.begin(), b.data.end(), op.packedBias.begin());
    }
    const bool direct = op.kernelH == 1 && op.kernelW == 1 && op.strideH == 1 && op.strideW == 1;
    if (!direct)
        op.patchElements = scratchSize(static_cast<size_t>(outH) * outW, static_cast<size_t>(taps) * C);
}

void ModelReader::prepareDepthwise(Op& op, const FlatTable* options)
{
    checkOperands(op, 2);
    if (!options)
        throw FlatError("DEPTHWISE_CONV_2D without options");
    const Tensor& x = tensor(op.inputs[0]);
    const Tensor& w = constant(op.inputs[1]);
    const Tensor& y = tensor(op.outputs[0]);
    if (x.shape.size() != 4 || w.shape.size() != 4 || x.shape[0] != 1 || w.shape[0] != 1
        || w.shape[3] != x.shape[3])
        throw FlatError("DEPTHWISE_CONV_2D operands do not fit (only depth multiplier 1 is supported)");
    const bool same = isSame(options->scalar<int8_t>(0, 0));
    op.strideW = options->scalar<int32_t>(1, 0);
    op.strideH = options->scalar<int32_t>(2, 0);
    op.activation = activationFrom(options->scalar<int8_t>(4, 0));
    op.dilationW = options->scalar<int32_t>(5, 1);
    op.dilationH = options->scalar<int32_t>(6, 1);
    if (op.strideW < 1 || op.strideH < 1 || op.dilationW < 1 || op.dilationH < 1)
        throw FlatError("DEPTHWISE_CONV_2D with a bad stride or dilation");
    op.kernelH = w.shape[1];
    op.kernelW = w.shape[2];
    if (op.kernelH * op.kernelW > Graph::kMaxDepthwiseTaps)
        throw FlatError("DEPTHWISE_CONV_2D kernel larger than supported");
    int outH, outW;
    spatialAxis(same, x.shape[1], op.kernelH, op.strideH, op.dilationH, outH, op.padTop);
    spatialAxis(same, x.shape[2], op.kernelW, op.strideW, op.dilationW, outW, op.padLeft);
    expectShape(y, {1, outH, outW, x.shape[3]}, "DEPTHWISE_CONV_2D");
    if (op.inputs.size() > 2 && op.inputs[2] >= 0)
        expectShape(constant(op.inputs[2]), {x.shape[3]}, "DEPTHWISE_CONV_2D bias");
}

void ModelReader::prepareTransposeConv(Op& op, const FlatTable& raw)
{
    checkOperands(op, 3);
    size_t length = 0;
    const uint8_t* bytes = raw.bytes(5, length);
    // MediaPipe stores a plain struct {padding, stride_w, stride_h}, padding 1 = SAME, 2 = VALID.
    if (!bytes || length != 12)
        throw FlatError("Convolution2DTransposeBias without its 12 option bytes");
    int32_t params[3];
    std::memcpy(params, bytes, 12);
    if ((params[0] != 1 && params[0] != 2) || params[1] < 1 || params[2] < 1)
        throw FlatError("Convolution2DTransposeBias with bad options");
    const Tensor& x = tensor(op.inputs[0]);
    const Tensor& w = constant(op.inputs[1]);
    const Tensor& b = constant(op.inputs[2]);
    if (x.shape.size() != 4 || w.shape.size() != 4 || x.shape[0] != 1 || w.shape[3] != x.shape[3])
        throw FlatError("Convolution2DTransposeBias operands do not fit");
    expectShape(b, {w.shape[0]}, "Convolution2DTransposeBias bias");
    op.strideW = params[1];
    op.strideH = params[2];
    op.kernelH = w.shape[1];
    op.kernelW = w.shape[2];
    const auto axis = [&](int in, int k, int s, int& padBefore) {
        const int pad = params[0] == 1 ? std::max(0, k - (in - 1) % s - 1) : 0;
        padBefore = pad / 2;
        return s * (in - 1) + k - pad;
    };
    const int outH = axis(x.shape[1], op.kernelH, op.strideH, op.padTop);
    const int outW = axis(x.shape[2], op.kernelW, op.strideW, op.padLeft);
    expectShape(tensor(op.outputs[0]), {1, outH, outW, w.shape[0]}, "Convolution2DTransposeBias");
    // Output channel (tap, o) of the 1x1 convolution the kernel runs first.
    const int O = w.shape[0], C = x.shape[3], taps = op.kernelH * op.kernelW;
    packWeights(op, taps * O, C, [&](int channel, int c) {
        return w.data[(static_cast<size_t>(channel % O) * taps + channel / O) * C + c];
    });
    op.patchElements = scratchSize(static_cast<size_t>(x.shape[1]) * x.shape[2], static_cast<size_t>(taps) * O);
}

void ModelReader::preparePool(Op& op, const FlatTable* options)
{
    checkOperands(op, 1);
    if (!options)
        throw FlatError("pooling without options");
    const Tensor& x = tensor(op.inputs[0]);
    if (x.shape.size() != 4 || x.shape[0] != 1)
        throw FlatError("pooling input must be NHWC");
    const bool same = isSame(options->scalar<int8_t>(0, 0));
    op.strideW = options->scalar<int32_t>(1, 0);
    op.strideH = options->scalar<int32_t>(2, 0);
    op.kernelW = options->scalar<int32_t>(3, 0);
    op.kernelH = options->scalar<int32_t>(4, 0);
    op.activation = activationFrom(options->scalar<int8_t>(5, 0));
    if (op.strideW < 1 || op.strideH < 1 || op.kernelW < 1 || op.kernelH < 1)
        throw FlatError("pooling with a bad window");
    int outH, outW;
    spatialAxis(same, x.shape[1], op.kernelH, op.strideH, 1, outH, op.padTop);
    spatialAxis(same, x.shape[2], op.kernelW, op.strideW, 1, outW, op.padLeft);
    expectShape(tensor(op.outputs[0]), {1, outH, outW, x.shape[3]}, "pooling");
}

void ModelReader::prepareElementwise(Op& op)
{
    checkOperands(op, 2);
    const Tensor& a = tensor(op.inputs[0]);
    const Tensor& b = tensor(op.inputs[1]);
    const Tensor& y = tensor(op.outputs[0]);
    if (a.data.empty() || b.data.empty() || a.shape.size() > 4 || b.shape.size() > 4 || y.shape.size() > 4)
        throw FlatError("element-wise operands must be float tensors of rank 4 or less");
    const size_t rank = std::max(a.shape.size(), b.shape.size());
    if (y.shape.size() != rank)
        throw FlatError("element-wise output has the wrong rank");
    for (size_t i = 0; i < rank; ++i) {
        const auto dim = [&](const Tensor& t) {
            const size_t from = rank - t.shape.size();
            return i < from ? 1 : t.shape[i - from];
        };
        const int da = dim(a), db = dim(b), dy = y.shape[i];
        if ((da != dy && da != 1) || (db != dy && db != 1) || dy != std::max(da, db))
            throw FlatError("element-wise shapes do not broadcast");
    }
}

void ModelReader::prepareSameCount(Op& op)
{
    checkOperands(op, 1);
    const Tensor& x = tensor(op.inputs[0]);
    if (x.data.empty() || x.count() != tensor(op.outputs[0]).count())
        throw FlatError("operator changes the element count");
}

void ModelReader::preparePad(Op& op)
{
    checkOperands(op, 2);
    const Tensor& x = tensor(op.inputs[0]);
    const Tensor& paddings = constant(op.inputs[1]);
    if (x.shape.size() != 4 || paddings.ints.size() != 8)
        throw FlatError("PAD supports rank-4 tensors with constant paddings");
    std::vector<int> shape(4);
    for (int i = 0; i < 4; ++i) {
        const int before = paddings.ints[2 * i], after = paddings.ints[2 * i + 1];
        if (before < 0 || after < 0)
            throw FlatError("PAD with negative padding");
        op.padBefore.push_back(before);
        shape[i] = x.shape[i] + before + after;
    }
    expectShape(tensor(op.outputs[0]), shape, "PAD");
}

void ModelReader::prepareMean(Op& op)
{
    checkOperands(op, 2);
    const Tensor& x = tensor(op.inputs[0]);
    std::vector<int32_t> axes = constant(op.inputs[1]).ints;
    std::sort(axes.begin(), axes.end());
    if (x.shape.size() != 4 || x.shape[0] != 1 || axes != std::vector<int32_t>{1, 2}
        || tensor(op.outputs[0]).count() != static_cast<size_t>(x.shape[3]))
        throw FlatError("MEAN is supported over height and width only");
}

void ModelReader::prepareConcat(Op& op, const FlatTable* options)
{
    checkOperands(op, 1);
    const Tensor& y = tensor(op.outputs[0]);
    const int rank = static_cast<int>(y.shape.size());
    op.axis = options ? options->scalar<int32_t>(0, 0) : 0;
    if (op.axis < 0)
        op.axis += rank;
    if (op.axis < 0 || op.axis >= rank)
        throw FlatError("CONCATENATION axis out of range");
    if (options)
        op.activation = activationFrom(options->scalar<int8_t>(1, 0));
    int total = 0;
    for (int index : op.inputs) {
        const Tensor& x = tensor(index);
        if (x.data.empty() || static_cast<int>(x.shape.size()) != rank)
            throw FlatError("CONCATENATION inputs must be float tensors of the output's rank");
        for (int i = 0; i < rank; ++i)
            if (i != op.axis && x.shape[i] != y.shape[i])
                throw FlatError("CONCATENATION inputs do not fit");
        total += x.shape[op.axis];
    }
    if (total != y.shape[op.axis])
        throw FlatError("CONCATENATION output size does not match");
    if (op.activation != Activation::None)
        throw FlatError("CONCATENATION with a fused activation is not supported");
}

void ModelReader::prepareResize(Op& op, const FlatTable* options)
{
    checkOperands(op, 2);
    const Tensor& x = tensor(op.inputs[0]);
    const Tensor& size = constant(op.inputs[1]);
    if (x.shape.size() != 4 || x.shape[0] != 1 || size.ints.size() != 2 || size.ints[0] < 1 || size.ints[1] < 1)
        throw FlatError("RESIZE_BILINEAR operands do not fit");
    const bool alignCorners = options && options->scalar<uint8_t>(2, 0) != 0;
    const bool halfPixelCenters = options && options->scalar<uint8_t>(3, 0) != 0;
    expectShape(tensor(op.outputs[0]), {1, size.ints[0], size.ints[1], x.shape[3]}, "RESIZE_BILINEAR");
    op.rowTaps = lerpTaps(x.shape[1], size.ints[0], alignCorners, halfPixelCenters);
    op.columnTaps = lerpTaps(x.shape[2], size.ints[1], alignCorners, halfPixelCenters);
}

} // namespace nn

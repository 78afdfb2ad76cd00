#pragma once
// Turns the bytes of a .tflite file into a Graph: reads the flatbuffer, widens FLOAT16
// constants, folds DEQUANTIZE ops away, checks every operator's shapes and packs the
// convolution weights. Anything it cannot run exactly is refused with a reason.

#include "nn/Graph.h"

#include <cstdint>
#include <string>
#include <vector>

namespace nn {

class FlatTable;

class ModelReader {
public:
    // False, with a reason in error, when the bytes are not a model this runner can execute.
    static bool read(const std::vector<uint8_t>& bytes, Graph& graph, std::string& error);

private:
    explicit ModelReader(Graph& graph);
    void readTensors(const FlatTable& model, const FlatTable& subgraph);
    void readOperators(const FlatTable& model, const FlatTable& subgraph);
    void addOperator(const FlatTable& model, const FlatTable& op);
    void fuseResidualAdds();
    void fuseActivations();
    bool isChannelPrelu(const Op& op) const;
    std::vector<int> readerCounts() const;  // per tensor: ops reading it, and graph outputs
    std::vector<int> producers() const;     // per tensor: the op writing it, or -1
    void removeOps(const std::vector<bool>& removed);
    void foldDequantize(const std::vector<int>& inputs, const std::vector<int>& outputs);
    void sizeScratch();

    template <typename Weight> void packWeights(Op& op, int outChannels, int depth, Weight weight);
    void prepareConv(Op& op, const FlatTable* options);
    void prepareDepthwise(Op& op, const FlatTable* options);
    void prepareTransposeConv(Op& op, const FlatTable& raw);
    void preparePool(Op& op, const FlatTable* options);
    void prepareElementwise(Op& op);
    void prepareSameCount(Op& op);
    void preparePad(Op& op);
    void prepareMean(Op& op);
    void prepareConcat(Op& op, const FlatTable* options);
    void prepareResize(Op& op, const FlatTable* options);

    Tensor& tensor(int index);
    const Tensor& constant(int index);
    void expectShape(const Tensor& t, const std::vector<int>& shape, const char* what);
    void checkOperands(const Op& op, size_t minInputs);

    Graph& graph_;
};

} // namespace nn

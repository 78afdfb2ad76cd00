#include "nn/TfliteModel.h"

#include "nn/Graph.h"
#include "nn/ModelReader.h"

#include <fstream>
#include <iterator>

namespace nn {

std::unique_ptr<TfliteModel> TfliteModel::load(const std::string& path, std::string& error)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot open " + path;
        return nullptr;
    }
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    auto model = loadFromMemory(bytes, error);
    if (!model)
        error = path + ": " + error;
    return model;
}

std::unique_ptr<TfliteModel> TfliteModel::loadFromMemory(const std::vector<unsigned char>& bytes, std::string& error)
{
    auto graph = std::make_unique<Graph>();
    if (!ModelReader::read(bytes, *graph, error))
        return nullptr;
    return std::unique_ptr<TfliteModel>(new TfliteModel(std::move(graph)));
}

TfliteModel::TfliteModel(std::unique_ptr<Graph> graph) : graph_(std::move(graph)) {}
TfliteModel::~TfliteModel() = default;

int TfliteModel::inputCount() const { return static_cast<int>(graph_->inputs.size()); }
int TfliteModel::outputCount() const { return static_cast<int>(graph_->outputs.size()); }

const std::vector<int>& TfliteModel::inputShape(int i) const { return graph_->tensors[graph_->inputs[i]].shape; }
const std::vector<int>& TfliteModel::outputShape(int i) const { return graph_->tensors[graph_->outputs[i]].shape; }
size_t TfliteModel::inputSize(int i) const { return graph_->tensors[graph_->inputs[i]].count(); }
size_t TfliteModel::outputSize(int i) const { return graph_->tensors[graph_->outputs[i]].count(); }

namespace {
int indexByName(const Graph& graph, const std::vector<int>& list, const std::string& name)
{
    for (size_t i = 0; i < list.size(); ++i)
        if (graph.tensors[list[i]].name == name)
            return static_cast<int>(i);
    return -1;
}
} // namespace

int TfliteModel::outputIndex(const std::string& tensorName) const
{
    return indexByName(*graph_, graph_->outputs, tensorName);
}

int TfliteModel::inputIndex(const std::string& tensorName) const
{
    return indexByName(*graph_, graph_->inputs, tensorName);
}

float* TfliteModel::input(int i) { return graph_->tensors[graph_->inputs[i]].data.data(); }
const float* TfliteModel::output(int i) const { return graph_->tensors[graph_->outputs[i]].data.data(); }

void TfliteModel::run() { graph_->run(); }

} // namespace nn

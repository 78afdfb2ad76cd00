#pragma once
// A float32 TensorFlow Lite model (FLOAT16 weights behind DEQUANTIZE ops are widened once at
// load time) run on the CPU by our own kernels. One object per file: load once, run many
// times; run() allocates nothing.
//
// Threading: one object is used by one thread at a time. Different objects are independent;
// run() itself spreads its work over OpenCV's thread pool.

#include <memory>
#include <string>
#include <vector>

namespace nn {

class Graph;

class TfliteModel {
public:
    // Null, with a reason in error, on a missing, truncated or malformed file, or one that
    // uses an operator or tensor type this runner does not implement.
    static std::unique_ptr<TfliteModel> load(const std::string& path, std::string& error);
    // The same from bytes already in memory (the bytes are copied where needed).
    static std::unique_ptr<TfliteModel> loadFromMemory(const std::vector<unsigned char>& bytes,
                                                       std::string& error);
    ~TfliteModel();

    int inputCount() const;
    int outputCount() const;
    const std::vector<int>& inputShape(int i) const;  // NHWC as in the file
    const std::vector<int>& outputShape(int i) const;
    int outputIndex(const std::string& tensorName) const;  // -1 when absent
    int inputIndex(const std::string& tensorName) const;   // -1 when absent
    size_t inputSize(int i) const;   // element count
    size_t outputSize(int i) const;  // element count

    float* input(int i);              // write the input here (float32, NHWC)
    const float* output(int i) const; // valid after run()
    void run();                       // no allocation per run

private:
    explicit TfliteModel(std::unique_ptr<Graph> graph);
    std::unique_ptr<Graph> graph_;
};

} // namespace nn

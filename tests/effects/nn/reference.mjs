// Runs one .tflite model under the reference runtime (@litertjs/core, WebAssembly CPU build)
// so the tests can compare our runner against it.
//   node reference.mjs PACKAGE_DIR MODEL INPUT.f32 OUT_PREFIX
// INPUT.f32 holds the first input tensor as raw float32; output i is written to
// OUT_PREFIX<i>.f32 and the output tensor names, in that order, to OUT_PREFIX.names.
import fs from 'fs';
import vm from 'vm';
import {createRequire} from 'module';

const [pkg, modelPath, inputPath, outPrefix] = process.argv.slice(2);
const wasmDir = pkg + '/wasm/';
// The package loads its WebAssembly glue as a browser script; give it what it looks for.
globalThis.self = globalThis;
globalThis.require = createRequire(import.meta.url);
globalThis.__dirname = wasmDir;
globalThis.__filename = wasmDir + 'loader.js';
globalThis.importScripts = (url) => {
    const file = url.toString().replace(/^file:\/\//, '');
    vm.runInThisContext(fs.readFileSync(file, 'utf8'), {filename: file});
};
console.error = console.warn = () => {};  // the missing WebGPU is expected here

const {loadLiteRt, loadAndCompile, Tensor} = await import(pkg + '/dist/index.js');
await loadLiteRt(wasmDir);
const model = await loadAndCompile(new Uint8Array(fs.readFileSync(modelPath)), {accelerator: 'wasm'});
const details = model.getInputDetails()[0];
const raw = fs.readFileSync(inputPath);
const input = new Float32Array(raw.buffer, raw.byteOffset, raw.byteLength / 4);
const outputs = await model.run([new Tensor(input.slice(), details.shape)]);
outputs.forEach((tensor, i) => {
    const data = tensor.toTypedArray();
    fs.writeFileSync(outPrefix + i + '.f32', Buffer.from(data.buffer, data.byteOffset, data.byteLength));
});
fs.writeFileSync(outPrefix + '.names', model.getOutputDetails().map((d) => d.name).join('\n') + '\n');
process.exit(0);

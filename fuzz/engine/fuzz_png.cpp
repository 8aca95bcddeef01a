// PNG files through the image decoder.
#include "fuzz/engine/image_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A file that starts as a BMP goes the BMP reader's way, fuzzed on its own.
    if (fuzzsupport::looksLikeBmp(data, size)) return -1;
    fuzzsupport::decodeImage(data, size);
    return 0;
}

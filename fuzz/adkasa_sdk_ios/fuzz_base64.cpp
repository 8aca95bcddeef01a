// Fuzz entry: base64 decoding, and encoding what was decoded.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "adkasa_sdk_ios/ADKSBase64Util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    size_t decodedLength = 0;
    void* decoded = ADKSBase64DecodeBytes(data, size, &decodedLength);
    if (!decoded) return 0;
    if (decodedLength > (size + 3) / 4 * 3) __builtin_trap();
    for (bool lines : {false, true}) {
        size_t encodedLength = 0;
        char* encoded = ADKSBase64EncodeBytes(decoded, decodedLength, lines, &encodedLength);
        if (!encoded) break;
        if (std::strlen(encoded) != encodedLength) __builtin_trap();
        size_t again = 0;
        void* back = ADKSBase64DecodeBytes(encoded, encodedLength, &again);
        if (!back || again != decodedLength || std::memcmp(back, decoded, again) != 0) __builtin_trap();
        std::free(back);
        std::free(encoded);
    }
    std::free(decoded);
    std::string text(reinterpret_cast<const char*>(data), size);
    (void)ADKSBase64Util::stringFromBase64String(text);
    return 0;
}

// Base64 (standard alphabet, "=" padding) for the ad client: decoding skips
// every byte outside the alphabet; encoding can break lines with CR LF
// every 64 characters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// Both return a malloc'd buffer that the caller frees (null when it cannot
// be allocated). A length of SIZE_MAX means `input` is NUL-terminated.
void* ADKSBase64DecodeBytes(const void* input, size_t length, size_t* outputLength);
char* ADKSBase64EncodeBytes(const void* input, size_t length, bool separateLines, size_t* outputLength);

class ADKSBase64Util {
public:
    // A string with bytes beyond ASCII decodes to empty data.
    static std::string dataFromBase64String(const std::string& text);
    // Decoded bytes as text; null unless they are valid UTF-8 (the one
    // encoding the ad client uses).
    static std::optional<std::string> stringFromBase64String(const std::string& text);
    static std::string base64DataFromData(const std::string& data);
    static std::string base64StringFromData(const std::string& data);
    static std::string base64DataFromString(const std::string& utf8);
    static std::string base64StringFromString(const std::string& utf8);
    // The text as UTF-16 big-endian without a byte-order mark, encoded;
    // empty when `utf8` is not valid UTF-8.
    static std::string base64StringFromStringForUTF7(const std::string& utf8);
};

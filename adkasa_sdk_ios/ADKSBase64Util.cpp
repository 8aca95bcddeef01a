#include "adkasa_sdk_ios/ADKSBase64Util.h"

#include <glib.h>

#include <cstdlib>
#include <cstring>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr uint8_t kSkip = 0xFF;

struct DecodeTable {
    uint8_t value[256];
    constexpr DecodeTable() : value() {
        for (auto& v : value) v = kSkip;
        for (uint8_t i = 0; i < 64; ++i) value[static_cast<uint8_t>(kAlphabet[i])] = i;
    }
};
constexpr DecodeTable kDecode;

}  // namespace

void* ADKSBase64DecodeBytes(const void* input, size_t length, size_t* outputLength) {
    const auto* in = static_cast<const uint8_t*>(input);
    if (length == SIZE_MAX) length = in ? std::strlen(reinterpret_cast<const char*>(in)) : 0;
    if (length > SIZE_MAX / 3 - 4) return nullptr;
    size_t capacity = (length + 3) / 4 * 3;
    auto* out = static_cast<uint8_t*>(std::malloc(capacity ? capacity : 1));
    if (!out) return nullptr;
    size_t i = 0, o = 0;
    while (i < length) {
        uint8_t group[4];
        size_t k = 0;
        while (i < length && k < 4) {
            uint8_t v = kDecode.value[in[i++]];
            if (v != kSkip) group[k++] = v;
        }
        if (k >= 2) out[o++] = static_cast<uint8_t>((group[0] << 2) | (group[1] >> 4));
        if (k >= 3) out[o++] = static_cast<uint8_t>((group[1] << 4) | (group[2] >> 2));
        if (k >= 4) out[o++] = static_cast<uint8_t>((group[2] << 6) | group[3]);
    }
    if (outputLength) *outputLength = o;
    return out;
}

char* ADKSBase64EncodeBytes(const void* input, size_t length, bool separateLines, size_t* outputLength) {
    const auto* in = static_cast<const uint8_t*>(input);
    if (length > SIZE_MAX / 2 - 16) return nullptr;
    size_t chars = (length + 2) / 3 * 4;
    size_t size = chars + (separateLines ? chars / 64 * 2 : 0) + 1;
    auto* out = static_cast<char*>(std::malloc(size));
    if (!out) return nullptr;
    size_t o = 0;
    for (size_t i = 0; i < length; i += 3) {
        if (separateLines && i > 0 && i % 48 == 0) {
            out[o++] = '\r';
            out[o++] = '\n';
        }
        uint32_t n = static_cast<uint32_t>(in[i]) << 16;
        size_t tail = length - i;
        if (tail > 1) n |= static_cast<uint32_t>(in[i + 1]) << 8;
        if (tail > 2) n |= in[i + 2];
        out[o++] = kAlphabet[(n >> 18) & 63];
        out[o++] = kAlphabet[(n >> 12) & 63];
        out[o++] = tail > 1 ? kAlphabet[(n >> 6) & 63] : '=';
        out[o++] = tail > 2 ? kAlphabet[n & 63] : '=';
    }
    out[o] = '\0';
    if (outputLength) *outputLength = o;
    return out;
}

namespace {

std::string decode(const std::string& text) {
    size_t n = 0;
    void* bytes = ADKSBase64DecodeBytes(text.data(), text.size(), &n);
    if (!bytes) return {};
    std::string out(static_cast<const char*>(bytes), n);
    std::free(bytes);
    return out;
}

std::string encode(const std::string& data) {
    size_t n = 0;
    char* chars = ADKSBase64EncodeBytes(data.data(), data.size(), true, &n);
    if (!chars) return {};
    std::string out(chars, n);
    std::free(chars);
    return out;
}

bool isAscii(const std::string& text) {
    for (unsigned char c : text) {
        if (c >= 0x80) return false;
    }
    return true;
}

}  // namespace

std::string ADKSBase64Util::dataFromBase64String(const std::string& text) {
    if (!isAscii(text)) return {};
    return decode(text);
}

std::optional<std::string> ADKSBase64Util::stringFromBase64String(const std::string& text) {
    std::string bytes = dataFromBase64String(text);
    if (!g_utf8_validate(bytes.data(), static_cast<gssize>(bytes.size()), nullptr)) return std::nullopt;
    return bytes;
}

std::string ADKSBase64Util::base64DataFromData(const std::string& data) { return encode(data); }
std::string ADKSBase64Util::base64StringFromData(const std::string& data) { return encode(data); }
std::string ADKSBase64Util::base64DataFromString(const std::string& utf8) { return encode(utf8); }
std::string ADKSBase64Util::base64StringFromString(const std::string& utf8) { return encode(utf8); }

std::string ADKSBase64Util::base64StringFromStringForUTF7(const std::string& utf8) {
    gsize written = 0;
    gchar* be = g_convert(utf8.data(), static_cast<gssize>(utf8.size()), "UTF-16BE", "UTF-8", nullptr, &written, nullptr);
    if (!be) return {};
    std::string bytes(be, written);
    g_free(be);
    return encode(bytes);
}

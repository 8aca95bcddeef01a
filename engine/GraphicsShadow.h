// The platform-neutral command recorder behind KelpaEngine::Graphics. A
// platform class derives from it and supplies clear, execute and swapBuffers.
#pragma once

#include <cstdint>

#include "engine/CommandBuffer.h"
#include "engine/Graphics.h"

namespace KelpaEngine {

class GraphicsShadow : public Graphics {
public:
    // Layers at or above this index are refused (nothing is recorded).
    static constexpr int32_t kMaxLayers = 1 << 16;

    explicit GraphicsShadow(Application* app);
    ~GraphicsShadow() override;
    GraphicsShadow(const GraphicsShadow&) = delete;
    GraphicsShadow& operator=(const GraphicsShadow&) = delete;

    using Graphics::drawImage;
    using Graphics::drawImageRect;
    using Graphics::drawImageScaled;
    using Graphics::drawImageSized;
    using Graphics::drawMasked;
    using Graphics::drawMaskedRect;
    using Graphics::drawSprite;
    using Graphics::drawSpriteAt;
    using Graphics::drawSpriteScaled;

    Application* getApplication() override;
    int beginFrame() override;
    int endFrame() override;
    int readPixels(void* buffer, int x, int y, int w, int h) override;
    int setClearColor(float r, float g, float b, float a) override;
    int setColor(float r, float g, float b, float a) override;
    int drawImage(int x, int y, Image* image) override;
    int drawImageSized(int x, int y, int w, int h, Image* image) override;
    int drawImageRect(int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh,
                      Image* image) override;
    int drawMasked(int x, int y, int w, int h, Image* image, Image* mask) override;
    int drawMaskedRect(int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh, Image* image,
                       Image* mask) override;
    int drawImageScaled(int x, int y, Image* image) override;
    int drawLine(int x1, int y1, int x2, int y2) override;
    int drawShape(float x0, float y0, float x1, float y1, float x2, float y2, float x3, float y3,
                  float x4, float y4, float extra) override;
    int drawRect(int x, int y, int w, int h) override;
    int drawSprite(Sprite2D* sprite) override;
    int drawSpriteAt(int dx, int dy, Sprite2D* sprite) override;
    int drawSpriteScaled(int dx, int dy, Sprite2D* sprite) override;
    int setClip(int x, int y, int w, int h) override;
    int setOrigin(float x, float y, float z) override;
    int setAlpha(float a) override;
    int drawRotatedShape(float x0, float y0, float x1, float y1, float x2, float y2, float x3,
                         float y3, float x4, float y4, float degrees) override;
    int fillRect(int x, int y, int w, int h) override;
    int fillTriangle(float x0, float y0, float x1, float y1, float x2, float y2) override;
    int resetCommands() override;
    int setLayer(int layer) override;
    int setPair(int a, int b) override;
    float setRotation(float halfTurns) override;
    void setFilter(uint8_t linear) override;
    int skipNextFlush() override;
    int present() override;
    int getVirtualWidth() override;
    int getVirtualHeight() override;
    int setRotationUnit(float a, float b, float c, float d) override;
    int setReserved4(float a, float b, float c, float d) override;
    int setReserved5(float a, float b, float c, float d) override;

    // For the executor and tests.
    const float* clearColor() const { return clearColor_; }
    float rotation() const { return rotation_; }
    int32_t currentLayer() const { return currentLayer_; }
    int32_t layerCount() const { return layerCount_; }
    CommandBuffer* layerAt(int32_t layer) const {
        return (layer >= 0 && layer < layerCount_) ? &layers_[layer] : nullptr;
    }
    bool skipFlagSet() const { return skip_ != 0; }

protected:
    // Appends a command of the given opcode to the current layer and returns
    // its zeroed payload, or null when the layer is invalid or the buffer
    // cannot grow (nothing is then recorded).
    void* appendCommand(uint32_t opcode, int32_t payloadSize);
    // The layer's buffer, growing the table as needed; null when it cannot.
    CommandBuffer* layerBuffer(int32_t layer);
    // Storage for buffers and the layer table; tests override it to fail.
    virtual void* allocateStorage(uint64_t bytes);

    // Releases the references of every command in one buffer.
    static void releaseReferences(CommandBuffer& buffer);

    Application* app_;

private:
    int recordImage(int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh, Image* image);
    int recordSprite(int dx, int dy, bool scaled, Sprite2D* sprite);
    int recordFloat4(uint32_t opcode, float a, float b, float c, float d);
    int recordRect(uint32_t opcode, int x, int y, int w, int h);
    int recordShape(uint32_t opcode, const float (&v)[11]);

    float clearColor_[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    float rotation_ = 0.0f;
    int32_t currentLayer_ = 0;
    CommandBuffer* layers_ = nullptr;
    int32_t layerCount_ = 0;
    uint8_t skip_ = 0;
};

}  // namespace KelpaEngine

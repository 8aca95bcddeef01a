// A screen of the game, run frame by frame by runScenes.
#pragma once

#include <cstdint>

#include "engine/Heap.h"

namespace KelpaEngine {

class Application;
class Graphics;

class Scene {
public:
    Scene() = default;
    virtual ~Scene() = default;
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;

    // Called once, before the scene's first frame.
    virtual int32_t init(Application* app) = 0;
    // Once per frame (also while paused): the scene to run next, this scene
    // (see self()) to stay, null to stop the runner.
    virtual RefPtr<Scene> update(Application* app) = 0;
    // Records the frame; true when it is to be presented.
    virtual bool draw(Application* app, Graphics* graphics) = 0;
    // Asks for the next frame to be drawn.
    virtual void invalidate() { dirty_ = 1; }

    bool isDirty() const { return dirty_ != 0; }
    void clearDirty() { dirty_ = 0; }

protected:
    // A new reference to this scene, for update's "stay" answer.
    RefPtr<Scene> self() {
        RefPtr<Scene> r;
        r.assign(this);
        return r;
    }

private:
    uint8_t dirty_ = 1;
};

}  // namespace KelpaEngine

// The platform objects the application makes on first use. Each is made by
// the file that implements it; the application only calls these.
#pragma once

#include "engine/Heap.h"

namespace KelpaEngine {
class Application;
class Graphics;
class Audio;
class Pointing;

namespace iOS {

// Makes the GL graphics object and runs its createResources (context,
// framebuffer, shader programs); null when that fails.
RefPtr<Graphics> createGraphicsImp(Application* app);
// Pause and resume of the GL resources (releaseContext / restoreContext).
void releaseGraphicsContext(Graphics* graphics);
void restoreGraphicsContext(Graphics* graphics);

// Makes an audio object and runs its init.
RefPtr<Audio> createAudioImp();
void audioPauseAll(Audio* audio);
void audioResumeAll(Audio* audio);

RefPtr<Pointing> createPointingImp();

}  // namespace iOS
}  // namespace KelpaEngine

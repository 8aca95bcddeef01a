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
// framebuffer, shader programs). Null only when the object cannot be made:
// a set-up that fails leaves an object that draws nothing and tries again
// on the next restore.
RefPtr<Graphics> createGraphicsImp(Application* app);
// Pause and resume of the GL resources (releaseContext / restoreContext).
void releaseGraphicsContext(Graphics* graphics);
void restoreGraphicsContext(Graphics* graphics);

// Makes an audio object and runs its init.
RefPtr<Audio> createAudioImp();
// The application's own audio object. In the game it makes no sound (it
// holds the mute switches and is paused with the application), so its
// context, which in OpenAL Soft is 8 MB of voices, is made with its first
// sound rather than by init.
RefPtr<Audio> createApplicationAudioImp();
void audioPauseAll(Audio* audio);
void audioResumeAll(Audio* audio);

RefPtr<Pointing> createPointingImp();

}  // namespace iOS
}  // namespace KelpaEngine

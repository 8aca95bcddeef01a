// One playable sound, made by an Audio object.
#pragma once

#include "engine/Heap.h"

namespace KelpaEngine {

class Sound {
public:
    virtual ~Sound() = default;

    // Plays from the start with a kind (1 music, 2 effect) and a loop
    // count (negative loops forever). A muted kind does not play. Returns 0.
    virtual int play(int kind, int loop) = 0;
    // Set by play and by a resume that starts the sound, cleared by stop; a
    // sound that ended by itself still reads as playing.
    virtual bool isPlaying() = 0;
    virtual void pause() = 0;
    // Continues a paused sound (a stopped one starts again from its start),
    // unless it was never played or the kind of the latest play is muted.
    virtual void resume() = 0;
    virtual void stop() = 0;
    // Pauses for the system (the application going to the background);
    // only play clears it.
    virtual void systemPause() = 0;
    // True for sounds made from raw PCM bytes, false for WAV sounds.
    virtual bool isMemory() = 0;
};

}  // namespace KelpaEngine

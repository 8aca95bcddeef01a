// Touch input: a table of touch records that the game reads once per frame,
// and a queue of input events, both in the scene's coordinates.
#pragma once

#include <cstdint>

namespace KelpaEngine {

// Event types.
constexpr int32_t kTouchDown = 1;
constexpr int32_t kTouchUp = 2;
constexpr int32_t kTouchMoved = 3;

// Host phases, as the platform reports them.
constexpr int32_t kPhaseBegan = 0;
constexpr int32_t kPhaseMoved = 1;
constexpr int32_t kPhaseEnded = 2;

// Record flags: bit 0 a new down, bit 1 held down, bit 2 up, bit 3 moved.
constexpr uint8_t kTouchFlagNewDown = 0x01;
constexpr uint8_t kTouchFlagHeld = 0x02;
constexpr uint8_t kTouchFlagUp = 0x04;
constexpr uint8_t kTouchFlagMoved = 0x08;
constexpr uint8_t kTouchFlagsDown = 3;
constexpr uint8_t kTouchFlagsMoved = 10;
constexpr uint8_t kTouchFlagsUp = 4;

// Records in the table; at most kTouchRecordsCounted of them per frame.
constexpr int32_t kTouchRecordCapacity = 128;
constexpr int32_t kTouchRecordsCounted = 127;

struct TouchEvent {
    int32_t id;  // the number of touches in the platform event
    int32_t type;
    int32_t x, y;
};

struct TouchRecord {
    uint32_t valid;  // 1 once written
    int32_t startX, startY;  // the latest touch-down written here
    int32_t x, y;
    uint8_t flags;
    uint8_t reserved[3];
};

class Pointing {
public:
    virtual ~Pointing();

    // Copies records 0 .. n - 1 into out (never more than the table holds),
    // clears the new-down bit of each copied record, and empties the table
    // for the next frame. Pass getCount() as n.
    virtual bool getTouches(TouchRecord* out, int32_t n) = 0;
    virtual int32_t getCount() = 0;

    // One touch handed over by the host (position in the scene's
    // coordinates, touches in the platform event, host phase).
    virtual void intake(int32_t x, int32_t y, int32_t count, int32_t phase) = 0;
    // Drop every event from now on (set at a scene switch).
    virtual void lock() = 0;
    // Unlock; with clear, also forget the down marks and pending events.
    virtual void reset(bool clear) = 0;
    // The events written since the last swap become the readable ones.
    virtual void swapQueues() = 0;
};

}  // namespace KelpaEngine

#include "engine/ios/PointingImp.h"

#include <cstring>

#include "engine/ios/Factories.h"

namespace KelpaEngine {
namespace iOS {

RefPtr<Pointing> createPointingImp() { return PointingImp::create(); }

RefPtr<Pointing> PointingImp::create() { return makeRef<PointingImp>(); }

PointingImp::~PointingImp() {
    engineFree(write_.events);
    engineFree(read_.events);
}

void* PointingImp::allocateEvents(uint64_t bytes) { return engineAlloc(bytes); }

bool PointingImp::getTouches(TouchRecord* out, int32_t n) {
    // Never read or write past the table, whatever the caller asks for.
    if (out == nullptr || n < 0) n = 0;
    if (n > kTouchRecordCapacity) n = kTouchRecordCapacity;
    for (int32_t i = 0; i < n; ++i) {
        out[i] = records_[i];
        records_[i].flags &= uint8_t(~kTouchFlagNewDown);
    }
    recordCount_ = 0;
    return true;
}

void PointingImp::intake(int32_t x, int32_t y, int32_t count, int32_t phase) {
    int32_t type;
    uint8_t flags;
    switch (phase) {
        case kPhaseBegan: type = kTouchDown; flags = kTouchFlagsDown; break;
        case kPhaseMoved: type = kTouchMoved; flags = kTouchFlagsMoved; break;
        case kPhaseEnded: type = kTouchUp; flags = kTouchFlagsUp; break;
        default: return;  // not a phase the host produces: no event, no record
    }
    // A repeated began or ended is ignored; every move counts.
    if (phase != lastPhase_ || phase == kPhaseMoved) {
        queueEvent(TouchEvent{count, type, x, y}, count, phase);

        int32_t i = recordCount_;
        if (recordCount_ < kTouchRecordsCounted) ++recordCount_;
        TouchRecord& r = records_[i];
        r.valid = 1;
        r.x = x;
        r.y = y;
        if (phase == kPhaseBegan) {
            r.startX = x;
            r.startY = y;
        }
        r.flags = flags;
    }
    lastPhase_ = phase;
}

void PointingImp::queueEvent(const TouchEvent& event, int32_t count, int32_t phase) {
    if (filter_ && filter_(&event, filterContext_, count, phase) != 0) return;
    if (locked_) return;
    // Only ids with a down mark may move or go up; ids beyond the marks never do.
    if (event.id < 0 || event.id >= kDownMarks) return;
    if (event.type == kTouchDown) {
        downMarks_[event.id] = 1;
    } else if (!downMarks_[event.id]) {
        return;
    }
    if (write_.count >= write_.capacity) {
        int64_t grown = int64_t(write_.capacity) * 2 + 32;
        if (grown > INT32_MAX / int64_t(sizeof(TouchEvent))) return;
        auto* events = static_cast<TouchEvent*>(allocateEvents(uint64_t(grown) * sizeof(TouchEvent)));
        if (!events) return;
        if (write_.count > 0) std::memcpy(events, write_.events, size_t(write_.count) * sizeof(TouchEvent));
        engineFree(write_.events);
        write_.events = events;
        write_.capacity = int32_t(grown);
    }
    write_.events[write_.count++] = event;
}

void PointingImp::reset(bool clear) {
    if (clear) {
        std::memset(downMarks_, 0, sizeof downMarks_);
        write_.count = 0;
    }
    locked_ = 0;
}

void PointingImp::swapQueues() {
    Queue old = read_;
    read_ = write_;
    write_.count = 0;
    write_.capacity = old.capacity;
    write_.events = old.events;
}

}  // namespace iOS
}  // namespace KelpaEngine

// The touch input of the application: the host hook feeds it one touch per
// frame; the game reads the records once per frame.
#pragma once

#include <cstdint>

#include "engine/Heap.h"
#include "engine/Pointing.h"

namespace KelpaEngine {
namespace iOS {

class PointingImp : public Pointing {
public:
    // A non-zero result consumes the event before the lock and queue see it.
    using EventFilter = int32_t (*)(const TouchEvent* event, void* context, int32_t count,
                                    int32_t phase);

    PointingImp() = default;
    ~PointingImp() override;
    PointingImp(const PointingImp&) = delete;
    PointingImp& operator=(const PointingImp&) = delete;

    static RefPtr<Pointing> create();

    bool getTouches(TouchRecord* out, int32_t n) override;
    int32_t getCount() override { return recordCount_; }
    void intake(int32_t x, int32_t y, int32_t count, int32_t phase) override;
    void lock() override { locked_ = 1; }
    void reset(bool clear) override;
    void swapQueues() override;

    void setEventFilter(EventFilter filter, void* context) {
        filter_ = filter;
        filterContext_ = context;
    }

    // The readable queue (after the last swap) and the write queue.
    int32_t readCount() const { return read_.count; }
    const TouchEvent* readEvents() const { return read_.events; }
    int32_t writeCount() const { return write_.count; }
    const TouchEvent* writeEvents() const { return write_.events; }
    bool isLocked() const { return locked_ != 0; }
    bool hasDownMark(int32_t id) const { return id >= 0 && id < kDownMarks && downMarks_[id] != 0; }
    const TouchRecord& recordAt(int32_t i) const { return records_[i]; }

    static constexpr int32_t kDownMarks = 32;

protected:
    // Storage for the write queue; tests override it to fail.
    virtual void* allocateEvents(uint64_t bytes);

private:
    struct Queue {
        int32_t count = 0;
        int32_t capacity = 0;
        TouchEvent* events = nullptr;
    };

    void queueEvent(const TouchEvent& event, int32_t count, int32_t phase);

    uint32_t locked_ = 1;
    Queue write_;
    uint8_t downMarks_[kDownMarks] = {};
    Queue read_;
    EventFilter filter_ = nullptr;
    void* filterContext_ = nullptr;
    int32_t recordCount_ = 0;
    TouchRecord records_[kTouchRecordCapacity] = {};
    int32_t lastPhase_ = kPhaseEnded;
};

}  // namespace iOS
}  // namespace KelpaEngine

// Save files in the Documents folder, over a stdio stream.
#pragma once

#include <cstdint>
#include <cstdio>

#include "engine/Heap.h"
#include "engine/SaveData.h"

namespace KelpaEngine {
class Application;
}

namespace KelpaEngine::iOS {

class SaveDataImp : public SaveData {
public:
    // Opens fileName in the Documents folder for update, positioned at 0.
    // Only a file that does not exist yet is created (empty, mode 0600); any
    // other failure (not a regular file, no permission, name longer than 254
    // characters, path too long, no Documents folder set) gives null and
    // leaves whatever is there untouched.
    static RefPtr<SaveData> open(Application* app, const char* fileName);
    static RefPtr<SaveData> open(const RefPtr<Application>& app, const char* fileName) {
        return open(app.get(), fileName);
    }

    ~SaveDataImp() override;
    int32_t seek(int32_t offset, uint32_t whence) override;
    int32_t read(void* buffer, int32_t n) override;
    int32_t write(const void* buffer, int32_t n) override;

private:
    SaveDataImp(FILE* file, Application* app) : file_(file), app_(app) {}
    // stdio needs a positioning call between a read and a write on one stream.
    enum class LastOp { None, Read, Write };
    void switchTo(LastOp op);

    FILE* file_;
    Application* app_;
    LastOp last_ = LastOp::None;
};

}  // namespace KelpaEngine::iOS

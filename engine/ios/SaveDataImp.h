// Save files in the Documents folder. The object holds the file's content
// in memory; a flush writes the whole new content to a temporary file in
// the same folder, syncs it, renames it over the save file and syncs the
// folder, so a crash at any point leaves the old or the new content whole.
// The temporary file is locked from before any other process can see it
// (made unnamed where the file system can, else locked and checked right
// after it is made) until the rename. A writer killed before the rename
// leaves at most an unlocked temporary file behind; the next successful
// flush of the same file, in any process, removes it.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

#include "engine/Heap.h"
#include "engine/SaveData.h"

namespace KelpaEngine {
class Application;
}

namespace KelpaEngine::iOS {

class SaveDataImp : public SaveData {
public:
    // The largest save file handled; a bigger one is refused (and left
    // alone), and writes stop there.
    static constexpr int64_t kMaxBytes = int64_t(1) << 20;

    // Opens fileName in the Documents folder for update, positioned at 0.
    // Only a file that does not exist yet is created (empty, mode 0600); a
    // dangling link as the name gets the file where it leads, or, when it
    // cannot be made there, is replaced by the file at the first flush. Any
    // other failure (not a regular file, no read and write permission, more
    // than kMaxBytes, name longer than 254 characters, path too long, no
    // Documents folder set) gives null and leaves whatever is there
    // untouched.
    static RefPtr<SaveData> open(Application* app, const char* fileName);
    static RefPtr<SaveData> open(const RefPtr<Application>& app, const char* fileName) {
        return open(app.get(), fileName);
    }
    // The same for a file of a fixed layout of `prefix` bytes (at most
    // kMaxBytes): only its first `prefix` bytes are held, however long it
    // is, and a flush replaces it whole with what is held. On failure the
    // open calls leave errno telling why.
    static RefPtr<SaveData> open(Application* app, const char* fileName, int64_t prefix);

    // Whether a save could write a file, and if not, why: the errno the
    // file itself or the folder it lives in gives (0 when it would do).
    struct WriteCheck {
        int fileError = 0;
        int folderError = 0;
    };
    // Opens an existing fileName only to read its first `prefix` bytes: it
    // is never created and needs no write permission, so a file the user
    // made read-only still loads. Null with errno set on failure (ENOENT
    // when there is no such file). *check (when given) says whether a save
    // could write it; with no file, whether its folder can be written. The
    // object's flush fails (EBADF) once anything is written to it.
    static RefPtr<SaveData> openToRead(Application* app, const char* fileName, int64_t prefix, WriteCheck* check);

    // Keeps the file fileName beside it before it is saved over, under
    // copyName or, when that is taken, the first of copyName-2 to
    // copyName-kMaxCopies not taken: no kept copy is ever replaced. 0 on
    // success (*keptAs then names the copy) or when there is no such file
    // (*keptAs empty), else -1 with errno set (EEXIST: every name taken).
    static constexpr int kMaxCopies = 1000;
    static int32_t keepCopy(Application* app, const char* fileName, const char* copyName,
                            std::string* keptAs = nullptr);

    ~SaveDataImp() override;
    int32_t seek(int32_t offset, uint32_t whence) override;
    int32_t read(void* buffer, int32_t n) override;
    int32_t write(const void* buffer, int32_t n) override;
    int32_t flush() override;

    // The steps of a flush, for tests that stop a writer between them.
    enum class FlushStep { Created, Locked, Written, Synced, Named };
    // Called at each step when set (never in the game).
    static inline void (*flushStepHook)(FlushStep) = nullptr;
    // Makes a flush take the way of a file system without O_TMPFILE.
    static inline bool forceNamedTemporary = false;

private:
    static RefPtr<SaveData> openHeld(Application* app, const char* fileName, int64_t limit, bool cut);
    std::string tempPrefix() const;
    bool replaceFile(int dir) const;
    void removeLeftovers(int dir) const;

    SaveDataImp(std::string folder, std::string name, std::vector<uint8_t> bytes, mode_t mode, Application* app,
                bool readOnly = false)
        : folder_(std::move(folder)), name_(std::move(name)), bytes_(std::move(bytes)), mode_(mode), app_(app),
          readOnly_(readOnly) {}

    std::string folder_;  // the folder the file really lives in (links resolved)
    std::string name_;    // its name there
    std::vector<uint8_t> bytes_;
    mode_t mode_;         // permission bits the rewritten file keeps
    [[maybe_unused]] Application* app_;
    int64_t position_ = 0;
    bool dirty_ = false;
    bool readOnly_;       // opened only to read: never flushed
};

}  // namespace KelpaEngine::iOS

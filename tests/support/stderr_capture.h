// Collects what the process writes to stderr while a capture is alive.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace testsupport {

class StderrCapture {
public:
    StderrCapture() {
        std::fflush(stderr);
        file_ = std::tmpfile();
        saved_ = dup(2);
        if (file_ && saved_ >= 0) dup2(fileno(file_), 2);
    }
    ~StderrCapture() { restore(); }
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    // Everything written since the capture began, as lines; stderr goes
    // back to where it went before.
    std::vector<std::string> lines() {
        restore();
        std::vector<std::string> out;
        std::istringstream in(text_);
        for (std::string line; std::getline(in, line);) out.push_back(line);
        return out;
    }

private:
    void restore() {
        if (saved_ < 0) return;
        std::fflush(stderr);
        dup2(saved_, 2);
        close(saved_);
        saved_ = -1;
        if (!file_) return;
        std::rewind(file_);
        char buf[4096];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, file_)) > 0;) text_.append(buf, n);
        std::fclose(file_);
        file_ = nullptr;
    }

    std::FILE* file_ = nullptr;
    int saved_ = -1;
    std::string text_;
};

// The lines that report the asset of that name as broken.
inline std::vector<std::string> brokenAssetLines(const std::vector<std::string>& lines, const std::string& name) {
    std::vector<std::string> out;
    const std::string key = "broken asset \"" + name + "\"";
    for (const std::string& l : lines) {
        if (l.find(key) != std::string::npos) out.push_back(l);
    }
    return out;
}

}  // namespace testsupport

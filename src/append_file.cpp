#include "append_file.h"

#include "host.h"

namespace {

// Size and last byte are read through a separate binary stream, so that no
// text-mode translation hides what the file really ends with.
void inspect_existing_content(const char* path, AppendFile& file) {
    file.originalSize = -1;
    file.lastLineUnterminated = false;
    std::FILE* in = std::fopen(path, "rb");
    if (in == nullptr) return;
    if (std::fseek(in, 0, SEEK_END) == 0) file.originalSize = stream_position(in);
    if (file.originalSize > 0 && std::fseek(in, -1, SEEK_END) == 0) {
        const int last = std::fgetc(in);
        file.lastLineUnterminated = last != EOF && last != '\n';
    }
    std::fclose(in);
}

}  // namespace

bool open_append_file(const char* path, AppendFile& file) {
    file.stream = std::fopen(path, "a");
    if (file.stream == nullptr) return false;
    inspect_existing_content(path, file);
    return true;
}

bool append_text(AppendFile& file, const char* text) {
    if (file.lastLineUnterminated) {
        if (std::fputs("\n", file.stream) < 0) return false;
        file.lastLineUnterminated = false;
    }
    return std::fputs(text, file.stream) >= 0;
}

bool close_append_file(AppendFile& file, const char* path, bool writesSucceeded) {
    const bool flushed = std::fflush(file.stream) == 0 && std::ferror(file.stream) == 0;
    const bool closed = std::fclose(file.stream) == 0;
    file.stream = nullptr;
    if (writesSucceeded && flushed && closed) return true;
    // Closing first: a close that retried the failed write must not add bytes
    // after the cut.
    if (file.originalSize >= 0) truncate_file(path, file.originalSize);
    return false;
}

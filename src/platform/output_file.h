#pragma once
// A file opened for writing, for the recorder and the still-image writers: opened without
// sharing, truncating an existing file or else creating a new one; 64-bit positions; every write
// reports whether all of its bytes reached the file. An existing file can also be opened as it
// is, for reading and writing (the recording repair).
#include <cstddef>
#include <cstdint>

namespace lumora::platform {

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Opens path (ANSI / UTF-8 bytes) for writing: an existing file is truncated to length 0;
    // when that fails, a new file is created (never overwriting one that appeared meanwhile).
    // Closes a file already open first. False when neither works.
    bool Open(const char* path);
    // Opens an existing file for reading and writing without changing it, position 0, not shared.
    // Closes a file already open first. False when there is no such file or it cannot be opened.
    bool OpenExisting(const char* path);
    bool IsOpen() const { return handle_ != kClosed; }
    // Reads size bytes at the current position; false unless all of them were read.
    bool Read(void* data, size_t size);
    // The file's length in bytes.
    bool Length(uint64_t* size);
    // Writes size bytes at the current position. False when the file is closed or not every byte
    // was written (disk full, file too large, device error); the position is then undefined.
    bool Write(const void* data, size_t size);
    // Moves the position to offset bytes from the start of the file.
    bool Seek(uint64_t offset);
    // Sets the file's length to size bytes (shortening or extending it); the position moves to
    // the new end.
    bool Truncate(uint64_t size);
    // Closes the file; false when the system reported an error while closing (data not stored).
    // Safe when already closed.
    bool Close();

    // Deletes a file; false when it could not be deleted.
    static bool Remove(const char* path);
    // Gives a file a new name; false when it could not, and always when the new name is taken
    // (no file is ever replaced).
    static bool RenameNew(const char* from, const char* to);

private:
    static constexpr intptr_t kClosed = -1;
    intptr_t handle_ = kClosed;
};

}  // namespace lumora::platform

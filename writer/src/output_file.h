// The archive while it is being written: a new file of its own, with a
// unique name in the destination's folder, created exclusively so that
// nothing already there (a file, or a link to one anywhere) is opened or
// harmed. It replaces the destination only once every byte was written and
// flushed; otherwise it is removed.
#ifndef ORVOBF_WRITER_OUTPUT_FILE_H
#define ORVOBF_WRITER_OUTPUT_FILE_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace orvobf::writer {

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();  // removes the temporary file unless committed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool Create(const std::string& destination, std::string* error);
    std::FILE* stream() const { return stream_; }
    const std::string& temporaryPath() const { return temp_; }

    // Flushes, cuts the file to `length` bytes, closes it and renames it
    // over the destination.
    bool Commit(uint64_t length, std::string* error);
    // Closes and removes the temporary file (also done on destruction).
    void Discard();

private:
    std::string destination_;
    std::string temp_;
    std::FILE* stream_ = nullptr;
    std::vector<char> buffer_;  // the stream's, until it is closed
};

// "cannot write PATH: <the system's reason>" for the error in errno.
std::string WriteFailure(const std::string& path, int savedErrno);

}  // namespace orvobf::writer

#endif

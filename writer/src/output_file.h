// Files the writer makes in the destination's folder, each new, with a
// unique name, created exclusively so that nothing already there (a file,
// or a link to one anywhere) is opened or harmed: the archive while it is
// being written, which replaces the destination only once every byte was
// written and flushed (otherwise it is removed), and spill files, which
// hold images packed ahead of their turn that are too large for memory.
#ifndef ORVOBF_WRITER_OUTPUT_FILE_H
#define ORVOBF_WRITER_OUTPUT_FILE_H

#include <cstdint>
#include <cstdio>
#include <memory>
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

struct StreamCloser {
    void operator()(std::FILE* stream) const { std::fclose(stream); }
};
using SpillFile = std::unique_ptr<std::FILE, StreamCloser>;

// A new file beside `destination`, open for writing and reading back. It
// loses its name as soon as it is made (or, where the system cannot do
// that, is removed by the system when closed), so it is gone once closed
// or once the process ends, however it ends. Null on failure, with *error
// naming the destination.
SpillFile CreateSpillFile(const std::string& destination, std::string* error);

// "cannot write PATH: <the system's reason>" for the error in errno.
std::string WriteFailure(const std::string& path, int savedErrno);

}  // namespace orvobf::writer

#endif

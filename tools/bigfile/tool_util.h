// Helpers shared by the tool's commands.
#ifndef BIGFILE_TOOL_UTIL_H
#define BIGFILE_TOOL_UTIL_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include <orvobf/ORVOBF.H>

namespace orvobf::tool {

// The exit codes of every command.
inline constexpr int kExitSuccess = 0;
// Some entries (files, names, records) failed, or the compared trees differ.
inline constexpr int kExitSomeFailed = 1;
// A wrong use, or trouble that stops the command or leaves its answer
// unknown: the archive, a folder or an output cannot be opened, read or
// written.
inline constexpr int kExitTrouble = 2;

// Initialises `bf` and opens `path`; on failure prints
// "bigfile CMD: PATH: <ErrorText>" and returns false (the caller exits
// with kExitTrouble).
bool OpenArchive(BigFile& bf, const char* command, const char* path);

// What the system says against reading the disk file `path`: "Is a
// directory" for a directory (opening one for reading succeeds on some
// systems and fails only at the first read), else why opening it fails
// ("No such file or directory", "Permission denied"), or "" when it opens.
std::string SystemReason(const char* path);

// `what`, followed by " (reason)" when there is a reason.
std::string WithReason(const std::string& what, const std::string& reason);

// The library's text for the error `bf` holds, exactly as the library gives
// it, followed in parentheses by the system's reason when the failure
// concerns the disk file `diskPath` and the system names one, or by a plain
// word for a code whose library text is only "Undefined error.".
std::string ErrorText(BigFileCore& bf, const char* diskPath = nullptr);

// `lead` followed by `text`, broken into lines of at most `width` bytes
// between words; a bracketed group ("[-C DIR]") is never broken, and every
// line after the first is indented by `indent` spaces. No final newline.
std::string WrapWords(const std::string& lead, std::string_view text, size_t indent, size_t width = 79);

// The help texts as the manual page's source (`bigfile help --all`):
// usage lines are not broken (the page's formatter does that) and each
// command's usage is written as the first line below its heading.
bool ManualText();
void SetManualText();

// The width usage lines are broken at: 79, or no limit for the manual.
size_t UsageWidth();

// Prints a command's usage line to `out` ("Usage: bigfile NAME SYNOPSIS"),
// a long synopsis broken under its first word. On standard output (the
// --help text) a blank line sets it apart from the description.
void PrintCommandUsage(const char* name, const char* synopsis, std::FILE* out);

// Parses the options of a command that takes none but --help, and checks
// that `minOperands` to `maxOperands` operands follow. Returns -1 when the
// command goes on with argv[optind], else its exit code: 0 after --help
// (the usage line and `help` on standard output), 2 after a wrong use (the
// usage line on standard error).
int ParseHelpOnly(int argc, char** argv, const char* name, const char* synopsis, const char* help,
                  int minOperands, int maxOperands);

// A file-to-file command's failure (pack, unpack): "bigfile COMMAND: PATH:
// WHAT" on standard error; `in` and `out` are closed when open and the
// output removed, so that no partial file passes for the result. Returns
// `code`.
int FailFileToFile(const char* command, const char* path, const std::string& what, std::FILE* in, std::FILE* out,
                   const char* outPath, int code = kExitTrouble);
// Closes both files; the exit code, kExitTrouble (the output removed) when
// closing the output fails.
int FinishFileToFile(const char* command, std::FILE* in, std::FILE* out, const char* outPath);

std::string HumanSize(uint64_t bytes);

}  // namespace orvobf::tool

#endif

// What both converters share around the image work: the option line (with
// "-@" response files), the message (-Q) and error (-E) files, host paths,
// whole-file reading and output files that appear under their name only when
// complete.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace conv {

// Exit codes of the converters.
enum ExitCode { kExitOk = 0, kExitFailed = 1, kExitUsage = 2 };

// A failure that ends the run with one line of text.
struct ConvertError : std::runtime_error {
  int exitCode;
  explicit ConvertError(const std::string& message, int code = kExitFailed)
      : std::runtime_error(message), exitCode(code) {}
};

// The options a program knows: the letter after '-' and whether a value
// follows (as the next word, "-r 1", or joined, "-r1"; a value ending in a
// comma, or followed by a word that begins with one, takes that word too:
// "-M 1000, 700" and "-M 1000 ,700" are "-M 1000,700"). An optional value is
// taken only when the next word begins with a digit, so "-M" followed by the
// file name is the option without a value.
struct OptionSpec {
  char letter;
  bool takesValue;
  bool valueOptional = false;
};

struct ParsedOptions {
  std::map<char, std::vector<std::string>> values;  // every use, in order
  std::vector<char> flags;                          // letters in the order given
  std::vector<std::string> operands;                // words that are not options
  std::string error;                                // first problem found, else empty

  bool Has(char letter) const { return values.count(letter) != 0; }
  // The last value given for the letter, or empty.
  std::string Last(char letter) const;
};

// Splits a line into words: blanks separate, double quotes group.
std::vector<std::string> SplitWords(std::string_view line);

// Parses the words of a command line; "-@ file" is replaced by the words of
// that (Windows-named) file. Problems are collected in `error`, not thrown, so
// that the -E file named on the same line can still receive them.
ParsedOptions ParseOptions(const std::vector<std::string>& args,
                           const std::vector<OptionSpec>& specs);

// The host path of a Windows-style path named on the option line.
std::string HostPath(const std::string& windowsPath);

// A whole input file in memory: mapped where the host allows (no copy, no
// fresh pages to clear), read otherwise.
class FileBytes {
 public:
  FileBytes() = default;
  FileBytes(FileBytes&& other) noexcept { *this = std::move(other); }
  FileBytes& operator=(FileBytes&& other) noexcept;
  ~FileBytes();
  std::span<const uint8_t> bytes() const {
    return map_ ? std::span<const uint8_t>(static_cast<const uint8_t*>(map_), mapSize_)
                : std::span<const uint8_t>(copy_);
  }
  // Tells the host that the bytes before `offset` are done with: a mapped
  // file's pages there leave memory (read again from the file should they be
  // touched once more); a read copy stays as it is.
  void Release(size_t offset) const;

 private:
  friend FileBytes ReadWholeFile(const std::string&, const std::string&);
  std::vector<uint8_t> copy_;
  void* map_ = nullptr;
  size_t mapSize_ = 0;
};

// Whole file; `shown` is the name used in messages.
FileBytes ReadWholeFile(const std::string& hostPath, const std::string& shown);

// Parses a non-negative decimal number in [low, high]; blanks around it are
// allowed. `what` names the value in the message.
uint32_t ParseNumber(const std::string& text, uint32_t low, uint32_t high, const std::string& what);
// "W,H" or "FROM,TO".
std::pair<uint32_t, uint32_t> ParsePair(const std::string& text, uint32_t low, uint32_t high,
                                        const std::string& what);

// A file written under a temporary name in the target's folder and renamed to
// the target only by Commit(); until then an existing file of that name is
// untouched, and a run that fails leaves nothing behind.
class OutputFile {
 public:
  OutputFile(std::string hostPath, std::string shown);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  const std::string& TempPath() const { return temp_; }
  const std::string& Shown() const { return shown_; }
  // Stream for writers that write bytes themselves.
  std::FILE* Stream();
  void Write(const void* data, size_t bytes);
  // Writes over bytes written before (a header completed at the end).
  void Overwrite(uint64_t offset, const void* data, size_t bytes);
  void Commit();

 private:
  std::string target_, temp_, shown_;
  std::FILE* file_ = nullptr;
  bool committed_ = false;
};

// The -Q and -E files: created (empty) at the start of every run.
class Messages {
 public:
  Messages(std::string program, const std::string& messagePath, const std::string& errorPath);
  ~Messages();
  Messages(const Messages&) = delete;
  Messages& operator=(const Messages&) = delete;

  void Info(const std::string& line);   // -Q file, else standard output
  void Error(const std::string& line);  // -E file and standard error

 private:
  std::string program_;
  std::FILE* q_ = nullptr;
  std::FILE* e_ = nullptr;
};

// Frame of a converter's main: parse the options, open the message files,
// run the body and turn a ConvertError into its line and exit code. Without
// any argument the usage text goes to standard error.
int RunConverter(const std::string& program, const char* usage, int argc, char** argv,
                 const std::vector<OptionSpec>& specs,
                 const std::function<void(const ParsedOptions&, Messages&)>& body);

}  // namespace conv

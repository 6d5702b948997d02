#include "tools/converters/cmdline.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <new>
#include <optional>

#include "juxutil/hostpath.h"

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace conv {
namespace {

// Nested response files end here; a file that names itself would otherwise loop.
constexpr int kMaxResponseDepth = 8;
// Response files read in one run, however they name each other: files that
// name others several times would otherwise be read exponentially often.
constexpr int kMaxResponseFiles = 64;

// What the expansion of the response files has seen so far.
struct Expansion {
  std::vector<std::string> open;  // the files being read, outermost first
  int filesRead = 0;
  std::string error;  // first problem found
  void Fail(const std::string& message) {
    if (error.empty()) error = message;
  }
};

// The same file however it is named.
std::string FileIdentity(const std::string& hostPath) {
  std::error_code ec;
  fs::path canonical = fs::weakly_canonical(hostPath, ec);
  return ec ? hostPath : canonical.string();
}

std::string Trim(std::string_view s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string_view::npos) return {};
  size_t e = s.find_last_not_of(" \t\r\n");
  return std::string(s.substr(b, e - b + 1));
}

void ExpandWords(const std::vector<std::string>& words, std::vector<std::string>& out,
                 Expansion& expansion) {
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& w = words[i];
    if (w.rfind("-@", 0) != 0) {
      out.push_back(w);
      continue;
    }
    std::string name = w.size() > 2 ? w.substr(2) : (i + 1 < words.size() ? words[++i] : "");
    if (name.empty()) {
      expansion.Fail("option -@ needs a response file");
      continue;
    }
    if (!expansion.error.empty()) continue;  // one problem is reported, the rest not read
    if (static_cast<int>(expansion.open.size()) >= kMaxResponseDepth) {
      expansion.Fail("response files nested too deep at " + name);
      continue;
    }
    if (expansion.filesRead >= kMaxResponseFiles) {
      expansion.Fail("more than " + std::to_string(kMaxResponseFiles) +
                     " response files named, at " + name);
      continue;
    }
    try {
      const std::string identity = FileIdentity(HostPath(name));
      if (std::find(expansion.open.begin(), expansion.open.end(), identity) !=
          expansion.open.end()) {
        expansion.Fail("response file " + name + " names itself (directly or through another)");
        continue;
      }
      ++expansion.filesRead;
      FileBytes file = ReadWholeFile(HostPath(name), name);
      std::span<const uint8_t> text = file.bytes();
      std::vector<std::string> inner =
          SplitWords(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));
      file = FileBytes();
      expansion.open.push_back(identity);
      ExpandWords(inner, out, expansion);
      expansion.open.pop_back();
    } catch (const ConvertError& e) {
      expansion.Fail(std::string("response file: ") + e.what());
    } catch (const std::bad_alloc&) {
      expansion.Fail("response file " + name + ": not enough memory to read it");
    }
  }
}

// Removes the temporary files "~NAME.PID.tmp" that a converter killed
// before it could finish or clean up left in the folder: those whose
// process is gone. Files of running converters are left alone.
void RemoveStaleTemporaries(const fs::path& folder) {
#ifndef _WIN32
  std::error_code ec;
  for (fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, ec), end;
       !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() < 7 || name[0] != '~' || !name.ends_with(".tmp")) continue;
    const std::string stem = name.substr(0, name.size() - 4);
    const size_t dot = stem.rfind('.');
    if (dot == std::string::npos || dot + 1 == stem.size() || dot + 10 < stem.size() ||
        stem.find_first_not_of("0123456789", dot + 1) != std::string::npos)
      continue;
    const long pid = std::stol(stem.substr(dot + 1));
    if (pid <= 0 || pid == getpid() || kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH)
      continue;
    std::error_code ignored;
    if (it->is_regular_file(ignored)) fs::remove(it->path(), ignored);
  }
#else
  (void)folder;
#endif
}

}  // namespace

std::string ParsedOptions::Last(char letter) const {
  auto it = values.find(letter);
  return it == values.end() || it->second.empty() ? std::string() : it->second.back();
}

std::vector<std::string> SplitWords(std::string_view line) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false, quoted = false;
  for (char c : line) {
    if (c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if (!quoted && (c == ' ' || c == '\t' || c == '\r' || c == '\n')) {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

ParsedOptions ParseOptions(const std::vector<std::string>& args,
                           const std::vector<OptionSpec>& specs) {
  ParsedOptions parsed;
  std::vector<std::string> words;
  Expansion expansion;
  ExpandWords(args, words, expansion);
  parsed.error = expansion.error;
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& w = words[i];
    if (w.size() < 2 || w[0] != '-') {
      parsed.operands.push_back(w);
      continue;
    }
    const OptionSpec* spec = nullptr;
    for (const OptionSpec& s : specs)
      if (s.letter == w[1]) spec = &s;
    if (!spec) {
      if (parsed.error.empty()) parsed.error = "unknown option " + w;
      continue;
    }
    std::string value;
    auto nextIsValue = [&] {
      if (i + 1 >= words.size()) return false;
      const char c = words[i + 1][0];
      return !spec->valueOptional || (c >= '0' && c <= '9');
    };
    if (spec->takesValue) {
      if (w.size() > 2) {
        value = w.substr(2);
      } else if (nextIsValue()) {
        value = words[++i];
      } else if (!spec->valueOptional) {
        if (parsed.error.empty()) parsed.error = std::string("option -") + w[1] + " needs a value";
        continue;
      }
    } else if (w.size() > 2) {
      if (parsed.error.empty()) parsed.error = "unknown option " + w;
      continue;
    }
    // "1000, 700" and "1000 ,700" (a configured size with a blank beside the
    // comma) are one value.
    while (!value.empty() && i + 1 < words.size() &&
           (value.back() == ',' || words[i + 1][0] == ','))
      value += words[++i];
    parsed.values[spec->letter].push_back(value);
    parsed.flags.push_back(spec->letter);
  }
  return parsed;
}

std::string HostPath(const std::string& windowsPath) {
  if (Trim(windowsPath).empty()) throw ConvertError("empty file name", kExitUsage);
  std::string host = hostpath::ToHost(windowsPath);
  if (host.empty()) throw ConvertError(windowsPath + ": no such drive on this station");
  return host;
}

FileBytes& FileBytes::operator=(FileBytes&& other) noexcept {
  std::swap(copy_, other.copy_);
  std::swap(map_, other.map_);
  std::swap(mapSize_, other.mapSize_);
  return *this;
}

void FileBytes::Release(size_t offset) const {
#ifndef _WIN32
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  const size_t bytes = std::min(offset, mapSize_) / page * page;
  if (map_ && bytes > 0) madvise(map_, bytes, MADV_DONTNEED);
#else
  (void)offset;
#endif
}

FileBytes::~FileBytes() {
#ifndef _WIN32
  if (map_) munmap(map_, mapSize_);
#endif
}

FileBytes ReadWholeFile(const std::string& hostPath, const std::string& shown) {
  std::error_code ec;
  if (fs::is_directory(hostPath, ec)) throw ConvertError(shown + ": is a folder, not a file");
  FileBytes result;
#ifndef _WIN32
  if (int fd = open(hostPath.c_str(), O_RDONLY); fd >= 0) {
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
      void* p = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
      if (p != MAP_FAILED) {
        result.map_ = p;
        result.mapSize_ = static_cast<size_t>(st.st_size);
        close(fd);
        return result;
      }
    }
    close(fd);
  }
#endif
  std::FILE* f = std::fopen(hostPath.c_str(), "rb");
  if (!f) throw ConvertError(shown + ": cannot open: " + std::strerror(errno));
  std::vector<uint8_t>& data = result.copy_;
  const uintmax_t expected = fs::file_size(hostPath, ec);
  data.resize(ec ? 0 : static_cast<size_t>(expected));
  size_t got = std::fread(data.data(), 1, data.size(), f);
  data.resize(got);
  uint8_t chunk[1 << 16];  // the file may have grown since
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) data.insert(data.end(), chunk, chunk + n);
  bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) throw ConvertError(shown + ": read error");
  return result;
}

uint32_t ParseNumber(const std::string& text, uint32_t low, uint32_t high,
                     const std::string& what) {
  std::string t = Trim(text);
  bool digits =
      !t.empty() && t.size() <= 10 && t.find_first_not_of("0123456789") == std::string::npos;
  uint64_t v = digits ? std::stoull(t) : 0;
  if (!digits || v < low || v > high)
    throw ConvertError(what + " \"" + text + "\" is not a number from " + std::to_string(low) +
                           " to " + std::to_string(high),
                       kExitUsage);
  return static_cast<uint32_t>(v);
}

std::pair<uint32_t, uint32_t> ParsePair(const std::string& text, uint32_t low, uint32_t high,
                                        const std::string& what) {
  size_t comma = text.find(',');
  if (comma == std::string::npos)
    throw ConvertError(what + " \"" + text + "\" must be two numbers separated by a comma",
                       kExitUsage);
  return {ParseNumber(text.substr(0, comma), low, high, what),
          ParseNumber(text.substr(comma + 1), low, high, what)};
}

OutputFile::OutputFile(std::string hostPath, std::string shown)
    : target_(std::move(hostPath)), shown_(std::move(shown)) {
  fs::path p(target_);
  std::error_code ec;
  if (fs::is_directory(p, ec)) throw ConvertError(shown_ + ": is a folder, not a file");
  fs::path folder = p.parent_path();
  if (!folder.empty() && !fs::is_directory(folder, ec))
    throw ConvertError(shown_ + ": the folder does not exist");
  std::string name(1, '~');
  name.append(p.filename().string()).append(".").append(std::to_string(getpid())).append(".tmp");
  temp_ = (folder / name).string();
  RemoveStaleTemporaries(folder);
}

OutputFile::~OutputFile() {
  if (file_) std::fclose(file_);
  if (!committed_) std::remove(temp_.c_str());
}

std::FILE* OutputFile::Stream() {
  if (!file_) {
    file_ = std::fopen(temp_.c_str(), "wb");
    if (!file_) throw ConvertError(shown_ + ": cannot write: " + std::strerror(errno));
  }
  return file_;
}

void OutputFile::Write(const void* data, size_t bytes) {
  if (bytes && std::fwrite(data, 1, bytes, Stream()) != bytes)
    throw ConvertError(shown_ + ": write error: " + std::strerror(errno));
}

void OutputFile::Overwrite(uint64_t offset, const void* data, size_t bytes) {
  std::FILE* f = Stream();
  if (std::fseek(f, static_cast<long>(offset), SEEK_SET) != 0 ||
      std::fwrite(data, 1, bytes, f) != bytes || std::fseek(f, 0, SEEK_END) != 0)
    throw ConvertError(shown_ + ": write error: " + std::strerror(errno));
}

void OutputFile::Commit() {
  if (file_) {
    int rc = std::fclose(file_);
    file_ = nullptr;
    if (rc != 0) throw ConvertError(shown_ + ": write error: " + std::strerror(errno));
  }
  std::error_code ec;
  fs::rename(temp_, target_, ec);
  if (ec) throw ConvertError(shown_ + ": cannot replace the file: " + ec.message());
  committed_ = true;
}

Messages::Messages(std::string program, const std::string& messagePath,
                   const std::string& errorPath)
    : program_(std::move(program)) {
  if (!messagePath.empty() && !(q_ = std::fopen(messagePath.c_str(), "w")))
    std::fprintf(stderr, "%s: cannot create message file %s\n", program_.c_str(),
                 messagePath.c_str());
  if (!errorPath.empty() && !(e_ = std::fopen(errorPath.c_str(), "w")))
    std::fprintf(stderr, "%s: cannot create error file %s\n", program_.c_str(), errorPath.c_str());
}

Messages::~Messages() {
  if (q_) std::fclose(q_);
  if (e_) std::fclose(e_);
}

void Messages::Info(const std::string& line) {
  std::FILE* f = q_ ? q_ : stdout;
  std::fprintf(f, "%s\n", line.c_str());
  std::fflush(f);
}

void Messages::Error(const std::string& line) {
  if (e_) {
    std::fprintf(e_, "%s: %s\n", program_.c_str(), line.c_str());
    std::fflush(e_);
  }
  std::fprintf(stderr, "%s: %s\n", program_.c_str(), line.c_str());
}

int RunConverter(const std::string& program, const char* usage, int argc, char** argv,
                 const std::vector<OptionSpec>& specs,
                 const std::function<void(const ParsedOptions&, Messages&)>& body) {
  if (argc < 2) {
    std::fprintf(stderr, "%s", usage);
    return kExitUsage;
  }
  // Every failure ends in one line and its exit code, also one that comes
  // before the message files are open (it goes to standard error alone).
  std::optional<Messages> messages;
  bool converting = false;
  auto fail = [&](const char* line, int code) {
    if (messages)
      messages->Error(line);
    else
      std::fprintf(stderr, "%s: %s\n", program.c_str(), line);
    return code;
  };
  try {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const ParsedOptions options = ParseOptions(args, specs);
    auto hostOrEmpty = [&](char letter) {
      std::string name = options.Last(letter);
      if (name.empty()) return std::string();
      return hostpath::ToHost(name);
    };
    messages.emplace(program, hostOrEmpty('Q'), hostOrEmpty('E'));
    if (!options.error.empty()) return fail(options.error.c_str(), kExitUsage);
    converting = true;
    body(options, *messages);
    return kExitOk;
  } catch (const ConvertError& e) {
    return fail(e.what(), e.exitCode);
  } catch (const std::bad_alloc&) {
    return fail(converting ? "not enough memory for this image"
                           : "not enough memory to read the option line",
                converting ? kExitFailed : kExitUsage);
  } catch (const std::exception& e) {
    return fail(e.what(), kExitFailed);
  } catch (...) {
    return fail("stopped by an unexpected failure", kExitFailed);
  }
}

}  // namespace conv

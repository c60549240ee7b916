#include "bench/process_probe.h"

#include <cstdio>
#include <fstream>
#include <string>

#if defined(__unix__) || defined(__APPLE__)
#include <sys/resource.h>
#include <sys/wait.h>
#endif

namespace passerelle::bench {

std::optional<std::uint64_t> PeakResidentBytes() {
#if defined(__linux__)
  rusage usage{};
  if (getrusage(RUSAGE_SELF, &usage) != 0)
    return std::nullopt;
  return static_cast<std::uint64_t>(usage.ru_maxrss) * 1024;  // kibibytes here
#elif defined(__APPLE__)
  rusage usage{};
  if (getrusage(RUSAGE_SELF, &usage) != 0)
    return std::nullopt;
  return static_cast<std::uint64_t>(usage.ru_maxrss);  // bytes there
#else
  return std::nullopt;
#endif
}

std::optional<std::uint64_t> MinorPageFaults() {
#if defined(__unix__) || defined(__APPLE__)
  rusage usage{};
  if (getrusage(RUSAGE_SELF, &usage) != 0)
    return std::nullopt;
  return static_cast<std::uint64_t>(usage.ru_minflt);
#else
  return std::nullopt;
#endif
}

std::optional<std::uint64_t> CompactionStalls() {
#if defined(__linux__)
  std::ifstream counters("/proc/vmstat");
  std::string name;
  std::uint64_t value = 0;
  while (counters >> name >> value) {
    if (name == "compact_stall")
      return value;
  }
#endif
  return std::nullopt;
}

std::optional<std::string> RunAndCapture(const std::string& commandLine) {
#if defined(_WIN32)
  std::FILE* pipe = _popen(commandLine.c_str(), "r");
#else
  std::FILE* pipe = popen(commandLine.c_str(), "r");
#endif
  if (pipe == nullptr)
    return std::nullopt;
  std::string output;
  char chunk[4096];
  for (;;) {
    const std::size_t got = std::fread(chunk, 1, sizeof chunk, pipe);
    output.append(chunk, got);
    if (got < sizeof chunk)
      break;
  }
#if defined(_WIN32)
  const int status = _pclose(pipe);
  if (status != 0)
    return std::nullopt;
#else
  const int status = pclose(pipe);
  if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return std::nullopt;
#endif
  return output;
}

std::string ShellQuoted(std::string_view argument) {
#if defined(_WIN32)
  std::string quoted = "\"";
  for (char c : argument) {
    if (c == '"')
      quoted.push_back('\\');
    quoted.push_back(c);
  }
  quoted.push_back('"');
  return quoted;
#else
  std::string quoted = "'";
  for (char c : argument) {
    if (c == '\'')
      quoted.append("'\\''");
    else
      quoted.push_back(c);
  }
  quoted.push_back('\'');
  return quoted;
#endif
}

std::string_view DiscardStandardError() {
#if defined(_WIN32)
  return "2>NUL";
#else
  return "2>/dev/null";
#endif
}

}  // namespace passerelle::bench

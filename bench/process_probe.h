#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace passerelle::bench {

// What the benchmark asks of the operating system, kept in one file so that
// the rest builds anywhere.

// The process's peak resident memory so far, in bytes; nothing where the
// platform does not tell.
std::optional<std::uint64_t> PeakResidentBytes();

// The page faults the process has taken so far that needed no reading from
// disk: each one is a page of fresh memory touched for the first time (4 KB,
// or 2 MB where large pages were granted). Nothing where the platform does
// not tell.
std::optional<std::uint64_t> MinorPageFaults();

// How many times, system-wide, a program has waited for the system to
// gather free large pages by moving others (compaction). Nothing where the
// system does not tell.
std::optional<std::uint64_t> CompactionStalls();

// Runs a command line through the shell and returns what it wrote on its
// standard output, or nothing when it could not be run or exited non-zero.
// Its standard error goes where ours goes.
std::optional<std::string> RunAndCapture(const std::string& commandLine);

// One argument quoted for the shell that RunAndCapture uses.
std::string ShellQuoted(std::string_view argument);

// The file name of a command that discards its standard error.
std::string_view DiscardStandardError();

}  // namespace passerelle::bench

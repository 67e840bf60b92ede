#pragma once

// What a run of qelscale ends with. Scripts tell the cases apart by these
// numbers, so they never change meaning.
namespace ExitCode {

constexpr int kSuccess = 0;
// The scale or its module refused, did not answer, or a file could not be
// read or written.
constexpr int kFailed = 1;
// The command line was not understood; the usage text follows the error.
constexpr int kUsage = 2;
// The connection could not be opened.
constexpr int kNoConnection = 3;

}  // namespace ExitCode

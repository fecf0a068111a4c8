#pragma once
// A write that would take a file past the process's file size limit (RLIMIT_FSIZE, the shell's
// `ulimit -f`) raises SIGXFSZ, which by default ends the process on the spot: no message, no
// clean-up, whatever file it was writing left as it stood. A program that ignores the signal
// sees such a write fail with EFBIG instead and handles it as any other write error.
namespace os {

// Called first thing in main: from then on a write past the limit fails with EFBIG. The
// ignored signal is passed on to the programs this one starts.
void IgnoreFileSizeSignal();

}  // namespace os

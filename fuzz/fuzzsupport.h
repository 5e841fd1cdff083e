#pragma once
// Thread: the fuzzer's one thread.
// Owns: the scratch folder of the run (removed at exit).
// Errors: a scratch folder that cannot be made stops the run (abort), since every later
//         input would then test the file system instead of the library.

#include <QString>

#include <cstddef>
#include <cstdint>

// What the fuzz targets share: a quiet library (tens of thousands of inputs per second
// would otherwise spend their time printing diagnostics) and a scratch folder for inputs
// that have to be files.
namespace FuzzSupport {

// Drops Qt log messages and the file layer's stderr lines. Sanitizer and libFuzzer reports
// do not go through either and still appear.
void silenceLibraryOutput();

// A private scratch folder for this process.
QString scratchFolder();

// Writes the bytes to `path`, replacing the file; false when the file system refuses.
bool writeFile(const QString& path, const uint8_t* data, size_t size);

// Ends the run as a finding: prints the message to the fuzzer's stderr, then aborts.
[[noreturn]] void fail(const QString& message);

} // namespace FuzzSupport

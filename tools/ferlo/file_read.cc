#include "tools/ferlo/file_read.h"

#include "platform/posix/posix_files.h"

namespace ferlo::cli {

FileReadResult readRegularFile(const std::string& path) {
  // The same read the extension's stand-in does, so that what the program
  // reports about a file is what the extension would see.
  FileReadResult result;
  result.bytes = ferlo::readRegularFile(path, &result.error);
  return result;
}

}  // namespace ferlo::cli
